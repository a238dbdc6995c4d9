#include "output/SaveAsWizard.h"

#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <exception>
#include <filesystem>

#include "output/DownloadBitmapProgress.h"
#include "output/PhotoSetupFrame.h"
#include "output/SaveAsDialog.h"
#include "platform/PromptSupport.h"
#include "platform/WaitScreen.h"

namespace quorvil {

namespace {

constexpr int kClientSize = 290;
constexpr int kPanelHeight = 43;

// The dialog asked about the name as the user picked it; a name that the extension rule
// lengthened is asked about here, so that no file is replaced unasked.
bool MayWrite(const std::string& chosen, const std::string& fileName) {
  std::error_code error;
  if (fileName == chosen || !std::filesystem::exists(fileName, error)) return true;
  const std::string leaf = std::filesystem::path(fileName).filename().string();
  return AskYesNo(TPromptKind::pkConfirmation, "",
                  leaf + " already exists.\nDo you want to replace it?");
}

}  // namespace

TfrmSaveAsWizard::TfrmSaveAsWizard(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("frmSaveAsWizard");
  setWindowTitle("Save As...");
  setFixedSize(kClientSize, kClientSize);
  framePhotoSetup = new TframePhotoSetup(this);
  framePhotoSetup->setGeometry(0, 0, kClientSize, kClientSize - kPanelHeight);
  Panel1 = new QFrame(this);
  Panel1->setObjectName("Panel1");
  Panel1->setGeometry(0, kClientSize - kPanelHeight, kClientSize, kPanelHeight);
  Bevel1 = new QFrame(Panel1);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(0, 0, kClientSize, 3);
  Button2 = new QPushButton("Next >", Panel1);
  Button2->setObjectName("Button2");
  Button2->setGeometry(kClientSize - 2 * 75 - 14, 10, 75, 25);
  Button2->setDefault(true);
  Button1 = new QPushButton("Cancel", Panel1);
  Button1->setObjectName("Button1");
  Button1->setGeometry(kClientSize - 75 - 8, 10, 75, 25);
  connect(Button2, &QPushButton::clicked, this, &TfrmSaveAsWizard::Button2Click);
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TfrmSaveAsWizard::Button2Click() {
  // A click handler: every error ends here, shown, with the wizard left open.
  try {
    if (!framePhotoSetup->ValidatePhotoSetup()) return;
    std::string fileName;
    TSaveAsFileType fileType = TSaveAsFileType::sfJPEG;
    if (!ExecuteSaveAsDialog(fileName, fileType)) return;
    const std::string chosen = fileName;
    AppendSaveAsExtension(fileName, fileType);
    if (!MayWrite(chosen, fileName)) return;
    if (SavePhoto(*framePhotoSetup->OutputArea(), fileName, fileType)) {
      ShowMessageBox(TPromptKind::pkInformation, "", "Photo successfully saved.");
      accept();
    }
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  }
}

bool SavePhoto(const AreaBoundingBox& area, const std::string& fileName, TSaveAsFileType fileType) {
  const TOutputPicture output = PrepareOutputPicture(area);
  const TScopedWaitScreen wait(kSavingImageText);
  WriteSaveAsFiles(output.Picture, area, fileName, fileType);
  return output.Completed;
}

bool RunSaveAsWizard(const TSelectionRec& selection, TZoomLevel zoomLevel) {
  TfrmSaveAsWizard wizard;
  try {
    wizard.framePhotoSetup->SetupPhoto(selection, zoomLevel);
  } catch (const std::exception& error) {
    // A declined retry is silent; the wizard does not open either way.
    ShowGeneralError(error);
    return false;
  }
  return wizard.exec() == QDialog::Accepted;
}

}  // namespace quorvil
