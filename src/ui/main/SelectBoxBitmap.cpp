#include "ui/main/SelectBoxBitmap.h"

#include <cstdint>

#include "imagery/ImageSupport.h"

namespace quorvil {

namespace {

// Copies `count` pixels of column sourceX from row sourceY down into column destX from
// row destY down, leaving out what lies outside either picture.
void CopyColumn(TBitmap24& destination, int destX, int destY, const TBitmap24& source, int sourceX,
                int sourceY, int count) {
  if (destX < 0 || destX >= destination.Width() || sourceX < 0 || sourceX >= source.Width()) {
    return;
  }
  for (int j = 0; j < count; ++j) {
    const std::int64_t dy = static_cast<std::int64_t>(destY) + j;
    const std::int64_t sy = static_cast<std::int64_t>(sourceY) + j;
    if (dy < 0 || sy < 0) continue;
    if (dy >= destination.Height() || sy >= source.Height()) break;
    std::uint8_t* to = destination.Pixel(destX, static_cast<int>(dy));
    const std::uint8_t* from = source.Pixel(sourceX, static_cast<int>(sy));
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
  }
}

}  // namespace

TSelectBoxBitmap::TSelectBoxBitmap()
    : topStrip_(0, 1), leftStrip_(1, 0), rightStrip_(1, 0), bottomStrip_(0, 1) {}

void TSelectBoxBitmap::SetBoxWidth(int w) {
  boxWidth_ = w;
  if (w > topStrip_.Width()) {
    topStrip_.SetSize(w + kSpare, 1);
    bottomStrip_.SetSize(w + kSpare, 1);
  }
}

void TSelectBoxBitmap::SetBoxHeight(int h) {
  boxHeight_ = h;
  if (h > leftStrip_.Height()) {
    leftStrip_.SetSize(1, h - 2 + kSpare);
    rightStrip_.SetSize(1, h - 2 + kSpare);
  }
}

void TSelectBoxBitmap::SaveBorder(const TBitmap24& picture, int left, int top, int right,
                                  int bottom) {
  if (right < left || bottom < top) {
    Clear();
    return;
  }
  SetBoxWidth(right - left + 1);
  SetBoxHeight(bottom - top + 1);
  CopyBitmapRect(topStrip_, 0, 0, picture, left, top, boxWidth_, 1);
  CopyBitmapRect(bottomStrip_, 0, 0, picture, left, bottom, boxWidth_, 1);
  CopyColumn(leftStrip_, 0, 0, picture, left, top + 1, boxHeight_ - 2);
  CopyColumn(rightStrip_, 0, 0, picture, right, top + 1, boxHeight_ - 2);
}

void TSelectBoxBitmap::RestoreBorder(TBitmap24& picture, int left, int top) const {
  if (IsEmpty()) return;
  const int right = left + boxWidth_ - 1;
  const int bottom = top + boxHeight_ - 1;
  CopyBitmapRect(picture, left, top, topStrip_, 0, 0, boxWidth_, 1);
  CopyBitmapRect(picture, left, bottom, bottomStrip_, 0, 0, boxWidth_, 1);
  CopyColumn(picture, left, top + 1, leftStrip_, 0, 0, boxHeight_ - 2);
  CopyColumn(picture, right, top + 1, rightStrip_, 0, 0, boxHeight_ - 2);
}

void TSelectBoxBitmap::Clear() {
  SetBoxHeight(0);
  SetBoxWidth(0);
}

}  // namespace quorvil
