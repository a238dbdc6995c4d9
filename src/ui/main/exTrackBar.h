#pragma once

// The track bar of the slider frames: a slider that also reports the press and release
// of the mouse button and the release of a key on it (the zoom slider loads on release).

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

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
};

}  // namespace quorvil
