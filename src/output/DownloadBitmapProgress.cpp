#include "output/DownloadBitmapProgress.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <exception>

#include "imagery/MosaicSupport.h"
#include "output/OutputPicture.h"
#include "platform/ProgramError.h"
#include "platform/PromptSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {

TfrmDownloadBitmapProgress::TfrmDownloadBitmapProgress(TBitmap24& picture,
                                                       const AreaBoundingBox& area, QWidget* parent,
                                                       std::vector<std::int64_t> only,
                                                       TMosaicReport* report)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      picture_(picture),
      area_(area),
      only_(std::move(only)),
      report_(report) {
  setObjectName("frmDownloadBitmapProgress");
  setWindowTitle("Download Progress");
  setModal(true);
  setFixedSize(304, 113);
  Label1 = new QLabel("Downloading Image", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(16, 12, 272, 17);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setGeometry(16, 36, 272, 20);
  Button1 = new QPushButton("Cancel", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(115, 72, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &TfrmDownloadBitmapProgress::Button1Click);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TfrmDownloadBitmapProgress::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (startPending_) {
    startPending_ = false;
    // Posted, so that the download begins only once the window is on screen.
    QMetaObject::invokeMethod(this, &TfrmDownloadBitmapProgress::StartDownload,
                              Qt::QueuedConnection);
  }
}

void TfrmDownloadBitmapProgress::StartDownload() {
  // Let the window paint before the first tile.
  QCoreApplication::processEvents();
  if (cancelRequested_) {
    // Cancelled before the first tile: nothing to wait for.
    finished_ = true;
    done(QDialog::Rejected);
    return;
  }
  finished_ = false;
  running_ = true;
  bool completed = false;
  try {
    completed = DrawTilesToBitmap(
        picture_, area_, only_,
        [this](bool& cancel, int percent) { DownloadProgress(cancel, percent); }, report_);
  } catch (const std::exception& error) {
    running_ = false;
    finished_ = true;
    // An abort that the user asked for ends the run like a cancel at a tile.
    if (cancelRequested_ && dynamic_cast<const ESilentAbort*>(&error) != nullptr) {
      done(QDialog::Rejected);
    } else {
      // The window stays open where it stopped; Cancel or the close button ends it.
      ShowGeneralError(error);
    }
    return;
  }
  running_ = false;
  finished_ = true;
  done(completed ? QDialog::Accepted : QDialog::Rejected);
}

void TfrmDownloadBitmapProgress::DownloadProgress(bool& cancel, int percent) {
  cancel = cancelRequested_;
  ProgressBar1->setValue(percent);
  // Paints the bar and serves Cancel; a Cancel pressed now is seen after the next tile.
  QCoreApplication::processEvents();
}

void TfrmDownloadBitmapProgress::RequestCancel() {
  cancelRequested_ = true;
  // A tile on its way would otherwise hold the window until it arrives; the aborted
  // download ends the drawing quietly.
  if (running_) AbortServiceTransfers();
}

void TfrmDownloadBitmapProgress::Button1Click() {
  RequestCancel();
  if (!running_) done(QDialog::Rejected);
}

// The close button and Alt+F4 arrive here through QDialog::closeEvent, which keeps the
// window open while it stays visible.
void TfrmDownloadBitmapProgress::reject() {
  RequestCancel();
  if (finished_) QDialog::reject();
}

bool DownloadBitmapWithProgress(TBitmap24& picture, const AreaBoundingBox& area,
                                const std::vector<std::int64_t>& only, TMosaicReport* report) {
  TfrmDownloadBitmapProgress window(picture, area, nullptr, only, report);
  return window.exec() == QDialog::Accepted;
}

TOutputPicture PrepareOutputPicture(const AreaBoundingBox& area) {
  TOutputPicture output{NewOutputPicture(area)};
  TMosaicReport report;
  output.Completed = DownloadBitmapWithProgress(output.Picture, area, {}, &report);
  const std::int64_t total = AreaTileCount(area);
  while (output.Completed && (!report.Missing.empty() || !report.Failed.empty())) {
    std::string failure;
    if (report.Failure) {
      try {
        std::rethrow_exception(report.Failure);
      } catch (const std::exception& error) {
        failure = error.what();
      }
    }
    const std::string text =
        MissingTilesText(static_cast<std::int64_t>(report.Missing.size()),
                         static_cast<std::int64_t>(report.Failed.size()), total, failure);
    if (report.Failed.empty()) {
      ShowMessageBox(TPromptKind::pkInformation, "", text);
      break;
    }
    const TPromptAnswer answer =
        CurrentPrompter().Ask({TPromptKind::pkWarning, "", text, TPromptButtons::pbYesNo});
    if (answer == TPromptAnswer::paNo) break;  // on with the picture as it is
    if (answer != TPromptAnswer::paYes) {
      output.Completed = false;  // closed without an answer: not a success
      break;
    }
    // Only the failed tiles again; a tile that fails once more stays white meanwhile.
    std::vector<std::int64_t> again = std::move(report.Failed);
    report.Failed.clear();
    report.Failure = nullptr;
    output.Completed = DownloadBitmapWithProgress(output.Picture, area, again, &report);
  }
  return output;
}

}  // namespace quorvil
