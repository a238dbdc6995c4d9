#pragma once

// The download progress window that Save As, Print and Copy share: a small modal window
// that fills the output picture tile by tile, with a progress bar and a Cancel button.
//
// The download starts once the window is on screen. While it runs, Cancel and requests
// to close the window raise the cancel flag and abort the transfers on their way (the
// window refuses to close); the drawing stops at the next tile and the window closes with
// the result false. Without a report, a tile that
// fails is shown as an error once the others are drawn and leaves the window open, until
// Cancel or the close button; with one, missing and failed tiles go into the report.

#include <QDialog>
#include <cstdint>
#include <vector>

#include "imagery/Bitmap24.h"
#include "imagery/MosaicSupport.h"
#include "service/TerraServiceSoapSupport.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvil {

class TfrmDownloadBitmapProgress : public QDialog {
  Q_OBJECT

 public:
  // The picture and the area are the caller's and must outlive the window.
  // Draws the tiles of `only`, or all of them when it is empty.
  TfrmDownloadBitmapProgress(TBitmap24& picture, const AreaBoundingBox& area,
                             QWidget* parent = nullptr, std::vector<std::int64_t> only = {},
                             TMosaicReport* report = nullptr);

  bool StartPending() const { return startPending_; }
  bool Running() const { return running_; }
  bool Finished() const { return finished_; }
  bool CancelRequested() const { return cancelRequested_; }

  // Escape, the close button and Alt+F4: the window closes only once finished.
  void reject() override;

  QLabel* Label1;
  QProgressBar* ProgressBar1;
  QPushButton* Button1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StartDownload();
  void DownloadProgress(bool& cancel, int percent);
  void Button1Click();
  void RequestCancel();

  TBitmap24& picture_;
  const AreaBoundingBox& area_;
  const std::vector<std::int64_t> only_;
  TMosaicReport* report_;
  bool startPending_ = true;
  bool running_ = false;
  bool finished_ = false;
  bool cancelRequested_ = false;
};

// Shows the progress window modally while every tile of the area is drawn into the
// picture. True when all tiles were drawn; false when the user cancelled or closed the
// window (also after a tile failed).
bool DownloadBitmapWithProgress(TBitmap24& picture, const AreaBoundingBox& area,
                                const std::vector<std::int64_t>& only = {},
                                TMosaicReport* report = nullptr);

// The output picture and whether all of its tiles were drawn. A picture that is not
// complete holds the tiles drawn so far and is white elsewhere; it is still meant to be
// saved, printed or copied.
struct TOutputPicture {
  TBitmap24 Picture;
  bool Completed = false;
};

// Creates the white picture of the area's size (an error before any download when it is
// too large for the memory) and fills it in the progress window. When tiles had no
// imagery or failed, says how many of how many; failed tiles are downloaded again for as
// long as the user asks to, and the picture counts as complete only when none failed or
// the user chose to go on without them.
TOutputPicture PrepareOutputPicture(const AreaBoundingBox& area);

}  // namespace quorvil
