#include "ui/main/MainImage.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "imagery/ImageSupport.h"

namespace quorvil {

TMainImage::TMainImage(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted from the picture, so nothing needs erasing first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // A click on the map gives it the keys, so that the arrows pan.
  setFocusPolicy(Qt::ClickFocus);
}

TBitmap24& TMainImage::Picture() {
  if (direct_ != nullptr) picture_ = *std::exchange(direct_, nullptr);
  return picture_;
}

namespace {

// The window's own 32-bit raster that the painter draws into, when the picture's rows can
// be written there directly: unscaled, opaque pixels of 32 bits, and not shared.
QImage* DirectTarget(QPainter& painter) {
  QPaintEngine* engine = painter.paintEngine();
  QPaintDevice* device = engine != nullptr ? engine->paintDevice() : nullptr;
  if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  const QImage::Format format = image->format();
  const bool opaque32 = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                        format == QImage::Format_ARGB32_Premultiplied;
  if (!opaque32 || !image->isDetached() || image->devicePixelRatio() != 1.0 ||
      painter.deviceTransform().type() > QTransform::TxTranslate) {
    return nullptr;
  }
  return image;
}

}  // namespace

void TMainImage::paintEvent(QPaintEvent* event) {
  ++paints_;
  QPainter painter(this);
  const QRegion dirty = event->region();
  const TBitmap24& picture = Shown();
  const QRect bounds(0, 0, picture.Width(), picture.Height());
  // Only the rectangles asked for: their bounding box may be most of the view.
  if (QImage* target = DirectTarget(painter)) {
    // Straight into the window's raster, which saves a copy of every painted pixel.
    const QPoint at(static_cast<int>(painter.deviceTransform().dx()),
                    static_cast<int>(painter.deviceTransform().dy()));
    const QRect reach = target->rect().translated(-at);
    for (const QRect& part : dirty) {
      const QRect shown = part & bounds & reach;
      for (int y = shown.top(); y <= shown.bottom(); ++y) {
        auto* to =
            reinterpret_cast<std::uint32_t*>(target->scanLine(y + at.y())) + shown.left() + at.x();
        PixelsToXrgb32(to, picture.Pixel(shown.left(), y), shown.width());
      }
    }
  } else {
    // The painter's own path from 24-bit pixels goes a pixel at a time; rows turned into
    // 32-bit pixels here are copied to the window whole.
    if (frame_.width() < picture.Width() || frame_.height() < picture.Height()) {
      frame_ = QImage(picture.Width(), picture.Height(), QImage::Format_RGB32);
    }
    for (const QRect& part : dirty) {
      const QRect shown = part & bounds;
      if (shown.isEmpty()) continue;
      for (int y = shown.top(); y <= shown.bottom(); ++y) {
        PixelsToXrgb32(reinterpret_cast<std::uint32_t*>(frame_.scanLine(y)) + shown.left(),
                       picture.Pixel(shown.left(), y), shown.width());
      }
      painter.drawImage(shown.topLeft(), frame_, shown);
    }
  }
  // What the picture does not cover (before the first layout) is black, as the panel.
  const QRegion rest = dirty - QRegion(bounds);
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
  // A hidden ruler hidden again changes no pixel: a repaint of the whole view saved.
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
