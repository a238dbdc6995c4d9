#include "ui/main/exTrackBar.h"

#include <QKeyEvent>
#include <QWheelEvent>

namespace quorvil {

TexTrackBar::TexTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TexTrackBar::mousePressEvent(QMouseEvent* event) {
  QSlider::mousePressEvent(event);
  emit MouseDown();
}

void TexTrackBar::mouseReleaseEvent(QMouseEvent* event) {
  QSlider::mouseReleaseEvent(event);
  emit MouseUp();
}

void TexTrackBar::keyReleaseEvent(QKeyEvent* event) {
  QSlider::keyReleaseEvent(event);
  // Auto-repeat sends releases while the key is still held down.
  if (!event->isAutoRepeat()) emit KeyUp();
}

void TexTrackBar::wheelEvent(QWheelEvent* event) {
  QSlider::wheelEvent(event);
  emit WheelTurned();
}

}  // namespace quorvil
