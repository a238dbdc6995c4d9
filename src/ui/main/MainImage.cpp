#include "ui/main/MainImage.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

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
  const QRect dirty = event->rect();
  if (!picture_.Empty()) {
    const QImage image(picture_.Data(), picture_.Width(), picture_.Height(),
                       static_cast<qsizetype>(picture_.Stride()), QImage::Format_BGR888);
    const QRect shown = dirty & image.rect();
    if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), image, shown);
  }
  // What the picture does not cover (before the first layout) is black, as the panel.
  const QRegion rest = QRegion(dirty) - QRegion(0, 0, picture_.Width(), picture_.Height());
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
