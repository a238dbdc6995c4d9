#pragma once

#include "imagery/Bitmap24.h"

namespace quorvil {

// Keeps the pixels under a rubber-band outline, so that the outline can be drawn
// straight onto the screen picture and taken away again without redrawing the view.
// Only the four border lines of the rectangle are kept: the outlines draw nothing else.
class TSelectBoxBitmap {
 public:
  TSelectBoxBitmap();

  // BoxWidth := w; TopStrip and BottomStrip grow to w + 100 when narrower than w.
  void SetBoxWidth(int w);
  // BoxHeight := h; LeftStrip and RightStrip grow to h - 2 + 100 when lower than h.
  void SetBoxHeight(int h);

  // Keeps the border of the rectangle left..right x top..bottom (inclusive pixel
  // coordinates of the picture): the top and bottom rows whole, the left and right
  // columns without their end pixels. Pixels off the picture are left out. A rectangle
  // with right < left or bottom < top leaves the box empty.
  void SaveBorder(const TBitmap24& picture, int left, int top, int right, int bottom);
  // Writes the kept border back with its top-left corner at (left, top): top row, bottom
  // row, left column, right column. Does nothing when the box is empty; the box stays
  // as it is.
  void RestoreBorder(TBitmap24& picture, int left, int top) const;

  // Empties the box; the strips keep their size.
  void Clear();
  bool IsEmpty() const { return boxWidth_ == 0 || boxHeight_ == 0; }

  int BoxWidth() const { return boxWidth_; }
  int BoxHeight() const { return boxHeight_; }
  const TBitmap24& TopStrip() const { return topStrip_; }
  const TBitmap24& LeftStrip() const { return leftStrip_; }
  const TBitmap24& RightStrip() const { return rightStrip_; }
  const TBitmap24& BottomStrip() const { return bottomStrip_; }

 private:
  // Spare room, so that a growing band does not resize the strips on every pointer move.
  static constexpr int kSpare = 100;

  TBitmap24 topStrip_;
  TBitmap24 leftStrip_;
  TBitmap24 rightStrip_;
  TBitmap24 bottomStrip_;
  int boxWidth_ = 0;
  int boxHeight_ = 0;
};

}  // namespace quorvil
