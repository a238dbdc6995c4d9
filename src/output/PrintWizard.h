#pragma once

// The Print wizard: the photo-setup page, then the page-setup page, whose "Next >"
// prints one page and asks whether it came out right. The wizard stays open through
// cancelled downloads, failed jobs and pages that did not print well, so that the user
// can change the settings and print again; it closes with OK only after a "Yes".

#include <QDialog>

#include "imagery/ZoomLevels.h"
#include "platform/AppTypes.h"

class QAction;
class QFrame;
class QPushButton;

namespace quorvil {

class TframePageSetup;
class TframePhotoSetup;

inline constexpr const char* kPrintOutcomeQuestion =
    "Data successfully sent to the printer.\r\rDid the image print ok?";

class TfrmPrintWizard : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmPrintWizard(QWidget* parent = nullptr);

  // Sets both pages up and selects page 0: the photo page asks for the output area, the
  // page-setup page reads the printer. Passes their errors on, so that the wizard does
  // not open.
  void SetupWizard(const TSelectionRec& selection, TZoomLevel zoomLevel);
  void ShowPage();
  void actNextExecute();
  void actBackExecute();

  int CurrentPage() const { return page_; }

  TframePhotoSetup* framePhotoSetup;
  TframePageSetup* framePageSetup;
  QFrame* pnlBottom;
  QFrame* Bevel1;
  QAction* actBack;
  QAction* actNext;
  QPushButton* Button3;
  QPushButton* Button2;
  QPushButton* Button1;

 private:
  // Prints from page 1; true when the user says the page printed well.
  bool PrintFromPageSetup();

  TSelectionRec selection_;
  TZoomLevel zoomLevel_ = kMinZoomLevel;
  int page_ = 0;
  bool busy_ = false;
};

// Opens the wizard on the selection at the zoom level the view shows. True when it
// closed after a page that printed well. An error while the wizard is made is shown
// (a declined retry quietly) and the wizard does not open.
bool RunPrintWizard(const TSelectionRec& selection, TZoomLevel zoomLevel);

}  // namespace quorvil
