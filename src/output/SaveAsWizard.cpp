#include "output/SaveAsWizard.h"

#include <QCheckBox>
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
#include "platform/SaveFileDialog.h"
#include "platform/WaitScreen.h"
#include "settings/PreferencesSupport.h"

namespace quorvil {

namespace {

constexpr int kClientSize = 290;
constexpr int kPanelHeight = 43;

// The dialog does not know the final name nor the files written beside it: one question
// names every file that saving would replace.
bool MayWrite(const std::string& fileName, TSaveAsFileType fileType, bool worldFiles) {
  std::vector<std::string> names{fileName};
  if (worldFiles) {
    for (std::string& side : SaveAsSideFiles(fileName, fileType)) names.push_back(std::move(side));
  }
  std::vector<std::string> existing;
  for (std::string& name : names) {
    std::error_code error;
    if (std::filesystem::exists(name, error)) existing.push_back(std::move(name));
  }
  return AskToReplaceFiles(existing);
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
  chkWorldFile = new QCheckBox(kSaveWorldFileText, this);
  chkWorldFile->setObjectName("chkWorldFile");
  chkWorldFile->setToolTip(
      "A world file and a .prj file beside the picture let map programs "
      "place it on the ground.");
  chkWorldFile->setChecked(ReadSaveWorldFile());
  chkWorldFile->adjustSize();
  chkWorldFile->move(12, kClientSize - kPanelHeight - chkWorldFile->height() - 12);
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
    AppendSaveAsExtension(fileName, fileType);
    const bool worldFiles = chkWorldFile->isChecked();
    WriteSaveWorldFile(worldFiles);
    if (!MayWrite(fileName, fileType, worldFiles)) return;
    const TSaveOutcome outcome =
        SavePhoto(*framePhotoSetup->OutputArea(), fileName, fileType, worldFiles);
    if (!outcome.Completed) return;
    ShowMessageBox(TPromptKind::pkInformation, "", "Photo successfully saved.");
    if (!outcome.Warning.empty()) ShowMessageBox(TPromptKind::pkWarning, "", outcome.Warning);
    accept();
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  }
}

TSaveOutcome SavePhoto(const AreaBoundingBox& area, const std::string& fileName,
                       TSaveAsFileType fileType, bool worldFiles) {
  const TOutputPicture output = PrepareOutputPicture(area);
  TSaveOutcome outcome;
  {
    const TScopedWaitScreen wait(kSavingImageText);
    outcome.Warning = WriteSaveAsFiles(output.Picture, area, fileName, fileType, worldFiles);
  }
  outcome.Completed = output.Completed;
  return outcome;
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
