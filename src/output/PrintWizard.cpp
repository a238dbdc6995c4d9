#include "output/PrintWizard.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <exception>
#include <limits>

#include "imagery/MosaicSupport.h"
#include "output/PageSetupFrame.h"
#include "output/PhotoSetupFrame.h"
#include "output/PrintSupport.h"
#include "output/PrinterSupport.h"
#include "platform/PromptSupport.h"

namespace quorvil {

namespace {

constexpr int kDesignedWidth = 292;
constexpr int kClientHeight = 376;
constexpr int kPanelHeight = 43;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

// The preview only needs the proportions; a side beyond int is far off its paper anyway.
int PreviewSide(std::int64_t pixels) {
  return static_cast<int>(std::min<std::int64_t>(pixels, std::numeric_limits<int>::max()));
}

// An action handler: every error ends here, shown, with the wizard left open.
template <class THandler>
void ShowingErrors(THandler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  }
}

}  // namespace

TfrmPrintWizard::TfrmPrintWizard(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("frmPrintWizard");
  setWindowTitle("Print...");
  const int pageHeight = kClientHeight - kPanelHeight;
  framePhotoSetup = new TframePhotoSetup(this);
  framePageSetup = new TframePageSetup(this);
  // Wider only where the page setup's values would run into its button.
  const int clientWidth = std::max(kDesignedWidth, framePageSetup->NeededWidth());
  setFixedSize(clientWidth, kClientHeight);
  framePhotoSetup->setGeometry(0, 0, clientWidth, pageHeight);
  framePageSetup->setGeometry(0, 0, clientWidth, pageHeight);

  pnlBottom = new QFrame(this);
  pnlBottom->setObjectName("pnlBottom");
  pnlBottom->setGeometry(0, pageHeight, clientWidth, kPanelHeight);
  Bevel1 = new QFrame(pnlBottom);
  Bevel1->setObjectName("Bevel1");
  Bevel1->setFrameShape(QFrame::HLine);
  Bevel1->setFrameShadow(QFrame::Sunken);
  Bevel1->setGeometry(0, 0, clientWidth, 3);

  actBack = new QAction("< Back", this);
  actBack->setObjectName("actBack");
  actNext = new QAction("Next >", this);
  actNext->setObjectName("actNext");
  Button3 = new QPushButton(actBack->text(), pnlBottom);
  Button3->setObjectName("Button3");
  Button3->setGeometry(clientWidth - 3 * kButtonWidth - 14, 10, kButtonWidth, kButtonHeight);
  Button2 = new QPushButton(actNext->text(), pnlBottom);
  Button2->setObjectName("Button2");
  Button2->setGeometry(clientWidth - 2 * kButtonWidth - 14, 10, kButtonWidth, kButtonHeight);
  Button2->setDefault(true);
  Button1 = new QPushButton("Cancel", pnlBottom);
  Button1->setObjectName("Button1");
  Button1->setGeometry(clientWidth - kButtonWidth - 8, 10, kButtonWidth, kButtonHeight);

  connect(Button3, &QPushButton::clicked, actBack, &QAction::trigger);
  connect(Button2, &QPushButton::clicked, actNext, &QAction::trigger);
  connect(actBack, &QAction::triggered, this,
          [this] { ShowingErrors([this] { actBackExecute(); }); });
  connect(actNext, &QAction::triggered, this,
          [this] { ShowingErrors([this] { actNextExecute(); }); });
  connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void TfrmPrintWizard::SetupWizard(const TSelectionRec& selection, TZoomLevel zoomLevel) {
  selection_ = selection;
  zoomLevel_ = zoomLevel;
  framePhotoSetup->SetupPhoto(selection, zoomLevel);
  framePageSetup->InitPageSetup();
  page_ = 0;
  ShowPage();
}

void TfrmPrintWizard::ShowPage() {
  framePhotoSetup->setVisible(page_ == 0);
  framePageSetup->setVisible(page_ == 1);
  Button3->setVisible(page_ == 1);
  framePageSetup->UpdateScaleControls();
}

void TfrmPrintWizard::actNextExecute() {
  // A zoom change still asking the service, or a page on its way, has the wizard.
  if (busy_ || framePhotoSetup->Busy()) return;
  if (page_ == 0) {
    if (!framePhotoSetup->ValidatePhotoSetup()) return;
    const AreaBoundingBox* area = framePhotoSetup->OutputArea();
    if (area == nullptr) return;
    page_ = 1;
    framePageSetup->SetPhotoSize(PreviewSide(AreaPixelWidth(*area)),
                                 PreviewSide(AreaPixelHeight(*area)));
    ShowPage();
    return;
  }
  if (PrintFromPageSetup()) accept();
}

bool TfrmPrintWizard::PrintFromPageSetup() {
  if (!framePageSetup->ValidateScale()) return false;
  const AreaBoundingBox* area = framePhotoSetup->OutputArea();
  if (area == nullptr) return false;
  // Asked before the download, which a declined file would waste.
  if (!ChoosePrintFile(area->NearestPlace)) return false;
  busy_ = true;
  struct TEndBusy {
    bool& busy;
    ~TEndBusy() { busy = false; }
  } endBusy{busy_};
  if (!PrintPhoto(*area, framePageSetup->ReadPrintOptions())) return false;
  return AskYesNo(TPromptKind::pkConfirmation, "", kPrintOutcomeQuestion);
}

void TfrmPrintWizard::actBackExecute() {
  if (busy_) return;
  page_ = 0;
  ShowPage();
}

bool RunPrintWizard(const TSelectionRec& selection, TZoomLevel zoomLevel) {
  TfrmPrintWizard wizard;
  try {
    wizard.SetupWizard(selection, zoomLevel);
  } catch (const std::exception& error) {
    // A declined retry is silent; the wizard does not open either way.
    ShowGeneralError(error);
    return false;
  }
  return wizard.exec() == QDialog::Accepted;
}

}  // namespace quorvil
