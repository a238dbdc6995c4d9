#pragma once

// The photo-setup page, the first page of the Save As and Print wizards: the zoom level
// of the output, the picture's size in pixels and the estimated download. Every change
// of the zoom choice asks the service once for the selection's area at that level.

#include <QWidget>
#include <memory>

#include "imagery/ZoomLevels.h"
#include "platform/AppTypes.h"
#include "service/TerraServiceSoapSupport.h"

class QComboBox;
class QFrame;
class QLabel;

namespace quorvil {

class TframePhotoSetup : public QWidget {
  Q_OBJECT

 public:
  explicit TframePhotoSetup(QWidget* parent = nullptr);
  ~TframePhotoSetup() override;

  // Stores the selection, fills the zoom list, selects the level and asks for the output
  // area. A failed request (the user declined to retry: ESilentAbort) is passed on, so
  // that the wizard does not open.
  void SetupPhoto(const TSelectionRec& selection, TZoomLevel zoomLevel);

  // Asks for the output area at the chosen level and shows its size. On failure the page
  // holds no area and the labels keep their texts; the error is passed on.
  void UpdatePhotoInfo();

  // True when the page holds an output area to go on with. A page left without one (a
  // declined retry on a zoom change) asks again first.
  bool ValidatePhotoSetup();

  TZoomLevel ZoomLevel() const;
  // The current output area; nullptr while none is held.
  const AreaBoundingBox* OutputArea() const { return area_.get(); }
  // True while a request for the area is on its way; the zoom list is disabled then.
  bool Busy() const { return busy_; }

  QLabel* Label4;
  QFrame* Panel2;
  QLabel* Label1;
  QComboBox* cbZoom;
  QLabel* Label5;
  QLabel* lblDimentions;
  QLabel* Label2;
  QLabel* lblDownloadSize;

 private:
  void cbZoomChange();

  TSelectionRec selection_;
  std::unique_ptr<AreaBoundingBox> area_;
  bool busy_ = false;
};

}  // namespace quorvil
