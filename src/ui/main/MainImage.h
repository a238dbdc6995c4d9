#pragma once

// The view control of the main window: an opaque widget that shows its picture (the
// screen picture) unscaled at its top-left corner and reports the mouse in its pixels.

#include <QImage>
#include <QWidget>

#include "imagery/Bitmap24.h"

namespace quorvil {

class TMainImage : public QWidget {
  Q_OBJECT

 public:
  explicit TMainImage(QWidget* parent = nullptr);

  // The picture to draw on: what is shown is copied into it first when another picture
  // was shown directly.
  TBitmap24& Picture();
  // What the view shows: its own picture, or the one shown directly.
  const TBitmap24& Shown() const { return direct_ != nullptr ? *direct_ : picture_; }
  // Shows `picture` as it is, without a copy, until the next Picture(); nullptr shows the
  // own picture again. The caller keeps `picture` alive while it is shown.
  void ShowDirect(const TBitmap24* picture) { direct_ = picture; }
  bool ShowsDirect(const TBitmap24* picture) const { return direct_ == picture; }

  // The ruler drawn over the picture: a line with its text by the end; none when hidden.
  void SetRuler(bool shown, QPoint from = {}, QPoint to = {}, const QString& text = {});

  // Paint events served so far.
  int PaintCount() const { return paints_; }

 signals:
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  void MouseWheel(int angleDelta, int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  TBitmap24 picture_;
  const TBitmap24* direct_ = nullptr;
  QImage frame_;  // the painted part of the picture as 32-bit pixels, which paint fast
  bool rulerShown_ = false;
  QPoint rulerFrom_, rulerTo_;
  QString rulerText_;
  int paints_ = 0;
};

}  // namespace quorvil
