#pragma once

// The track bar of the slider frames: a slider that also reports the press and release
// of the mouse button, the release of a key and each turn of the wheel on it (the zoom
// slider loads on each of these, so that no position is left without its load).

#include <QSlider>

namespace quorvil {

class TexTrackBar : public QSlider {
  Q_OBJECT

 public:
  explicit TexTrackBar(QWidget* parent = nullptr);

 signals:
  void MouseDown();
  void MouseUp();
  void KeyUp();
  // After a turn of the wheel has been handled (whether or not the position changed).
  void WheelTurned();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
};

}  // namespace quorvil
