#include "ui/main/MainImage.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstdint>

#include "imagery/ImageSupport.h"

namespace quorvil {

TMainImage::TMainImage(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted from the picture, so nothing needs erasing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // A click on the map gives it the keys, so that the arrows pan.
  setFocusPolicy(Qt::ClickFocus);
}

void TMainImage::paintEvent(QPaintEvent* event) {
  ++paints_;
  QPainter painter(this);
  const QRegion& dirty = event->region();
  // The rectangles themselves, not their bounding box: the bands a pan uncovers meet in
  // a corner, and their box is the whole view.
  const QRegion inside = dirty.intersected(QRect(0, 0, picture_.Width(), picture_.Height()));
  for (const QRect& shown : inside) {
    // The painter's own path from 24-bit pixels goes a pixel at a time; the rows turned
    // into 32-bit pixels here are copied to the window whole.
    if (frame_.width() < picture_.Width() || frame_.height() < picture_.Height()) {
      frame_ = QImage(picture_.Width(), picture_.Height(), QImage::Format_RGB32);
    }
    for (int y = shown.top(); y <= shown.bottom(); ++y) {
      PixelsToXrgb32(reinterpret_cast<std::uint32_t*>(frame_.scanLine(y)) + shown.left(),
                     picture_.Pixel(shown.left(), y), shown.width());
    }
    painter.drawImage(shown.topLeft(), frame_, shown);
  }
  // What the picture does not cover (before the first layout) is black, as the panel.
  const QRegion rest = dirty - QRegion(0, 0, picture_.Width(), picture_.Height());
  for (const QRect& part : rest) painter.fillRect(part, Qt::black);
  if (!rulerShown_) return;
  // Yellow on a dark edge reads on photographs and paper maps alike.
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 4));
  painter.drawLine(rulerFrom_, rulerTo_);
  painter.setPen(QPen(Qt::yellow, 2));
  painter.drawLine(rulerFrom_, rulerTo_);
  QRect box = painter.fontMetrics()
                  .boundingRect(rulerText_)
                  .adjusted(-4, -2, 4, 2)
                  .translated(rulerTo_ + QPoint(12, -8));
  // Kept inside the view, also for a line that ends at its edge.
  box.moveRight(std::min(box.right(), width() - 1));
  box.moveTop(std::max(box.top(), 0));
  painter.fillRect(box, QColor(0, 0, 0, 180));
  painter.setPen(Qt::yellow);
  painter.drawText(box, Qt::AlignCenter, rulerText_);
}

void TMainImage::SetRuler(bool shown, QPoint from, QPoint to, const QString& text) {
  // Every busy period hides the ruler; one already hidden leaves the view as painted.
  if (!shown && !rulerShown_) return;
  rulerShown_ = shown;
  rulerFrom_ = from;
  rulerTo_ = to;
  rulerText_ = text;
  update();
}

void TMainImage::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TMainImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit MouseMove(event->buttons(), event->modifiers(), at.x(), at.y());
}

void TMainImage::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  emit MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

}  // namespace quorvil

namespace quorvil {

void TMainImage::wheelEvent(QWheelEvent* event) {
  const QPoint at = event->position().toPoint();
  emit MouseWheel(event->angleDelta().y(), at.x(), at.y());
  event->accept();
}

}  // namespace quorvil
