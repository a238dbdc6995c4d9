#pragma once

// The Save As wizard: the photo-setup page, then "Next >" asks for a file, assembles the
// picture in the download progress window and writes it. The wizard stays open through
// cancelled dialogs, cancelled downloads and failed writes, so that the user can change
// the zoom level and try again; it closes with OK only after a completed save.

#include <QDialog>
#include <string>

#include "imagery/ZoomLevels.h"
#include "output/SaveAsSupport.h"
#include "platform/AppTypes.h"

class QCheckBox;
class QFrame;
class QPushButton;

namespace quorvil {

class TframePhotoSetup;

class TfrmSaveAsWizard : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmSaveAsWizard(QWidget* parent = nullptr);

  TframePhotoSetup* framePhotoSetup;
  // Whether the world file and ".prj" file go beside the picture; remembered in the
  // settings.
  QCheckBox* chkWorldFile;
  QFrame* Panel1;
  QFrame* Bevel1;
  QPushButton* Button2;
  QPushButton* Button1;

 private:
  void Button2Click();
};

// The wait screen's text while the picture is written.
inline constexpr const char* kSavingImageText = "Saving Image.\r\rPlease Wait...";

inline constexpr const char* kSaveWorldFileText = "Save the world file and .prj too";

// What saving a picture came to: whether all tiles were drawn, and a warning about the
// side files (empty when there is none).
struct TSaveOutcome {
  bool Completed = false;
  std::string Warning;
};

// Assembles the picture of the area in the progress window and writes it, with its world
// file and ".prj" file when `worldFiles`, also when the download did not complete (the
// missing tiles are white).
TSaveOutcome SavePhoto(const AreaBoundingBox& area, const std::string& fileName,
                       TSaveAsFileType fileType, bool worldFiles = true);

// Opens the wizard on the selection at the zoom level the view shows. True after a
// completed save. When the output area cannot be had, the wizard does not open.
bool RunSaveAsWizard(const TSelectionRec& selection, TZoomLevel zoomLevel);

}  // namespace quorvil
