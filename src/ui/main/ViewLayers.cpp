#include "ui/main/ViewLayers.h"

#include <algorithm>

namespace quorvil {

namespace {

// A picture resized with its content kept at the top-left corner, black where it grew.
void ResizeKeeping(TBitmap24& picture, int width, int height) {
  if (picture.Width() == width && picture.Height() == height) return;
  TBitmap24 resized(width, height);
  FillBitmap(resized, kColorBlack);
  CopyBitmapRect(resized, 0, 0, picture, 0, 0, picture.Width(), picture.Height());
  picture = std::move(resized);
}

// The first destination pixel whose source pixel (i * source div destination) is at or
// after `from`.
std::int64_t FirstStretchedFrom(std::int64_t from, std::int64_t source, std::int64_t destination) {
  return (from * destination + source - 1) / source;
}

}  // namespace

std::uint8_t BrightnessLevel(int position) { return static_cast<std::uint8_t>(17 * position); }

std::uint8_t OverlayOpacity(int position) {
  return static_cast<std::uint8_t>(position >= 127 ? 255 : 2 * position);
}

void TViewLayers::Resize(int width, int height, bool halfTopo) {
  ResizeKeeping(PhotoBitmap, width, height);
  ResizeKeeping(BrightPhotoBitmap, width, height);
  ResizeKeeping(TopoViewBitmap, width, height);
  ResizeKeeping(CompositeBitmap, width, height);
  ResizeKeeping(TopoBitmap, halfTopo ? width / 2 : width, halfTopo ? height / 2 : height);
}

void TViewLayers::ClearMosaics() {
  FillBitmap(PhotoBitmap, kColorBlack);
  FillBitmap(TopoBitmap, kColorBlack);
  TopoGaps.clear();
}

void TViewLayers::ShiftMosaics(int dx, int dy, bool halfTopo) {
  ShiftBitmap(PhotoBitmap, dx, dy, kColorBlack);
  const int tx = halfTopo ? dx / 2 : dx, ty = halfTopo ? dy / 2 : dy;
  ShiftBitmap(TopoBitmap, tx, ty, kColorBlack);
  for (TPixelArea& gap : TopoGaps) {
    gap.X += tx;
    gap.Y += ty;
  }
  std::erase_if(TopoGaps, [&](const TPixelArea& gap) {
    return gap.X >= TopoBitmap.Width() || gap.Y >= TopoBitmap.Height() || gap.X + gap.Width <= 0 ||
           gap.Y + gap.Height <= 0;
  });
}

void TViewLayers::PrepareLayers(std::uint8_t brightnessLevel, const TPixelArea& area) {
  CopyBitmapRect(BrightPhotoBitmap, area.X, area.Y, PhotoBitmap, area.X, area.Y, area.Width,
                 area.Height);
  AdjustBrightnessArea(BrightPhotoBitmap, brightnessLevel, area);
  if (SmoothStretch()) {
    StretchDoubleSmoothArea(TopoViewBitmap, TopoBitmap, area);
  } else {
    StretchBitmapArea(TopoViewBitmap, TopoBitmap, area);
  }
}

void TViewLayers::ComposeOverlay(bool paperMap, std::uint8_t opacity, const TPixelArea& area) {
  CopyBitmapRect(CompositeBitmap, area.X, area.Y, BrightPhotoBitmap, area.X, area.Y, area.Width,
                 area.Height);
  if (!paperMap) return;
  BlendBitmapsArea(CompositeBitmap, TopoViewBitmap, opacity, area);
  for (const TPixelArea& gap : TopoGaps) {
    const TPixelArea view = TopoViewAreaOf(gap);
    const int left = std::max(view.X, area.X), top = std::max(view.Y, area.Y);
    const int right = std::min(view.X + view.Width, area.X + area.Width);
    const int bottom = std::min(view.Y + view.Height, area.Y + area.Height);
    if (right > left && bottom > top) {
      CopyBitmapRect(CompositeBitmap, left, top, BrightPhotoBitmap, left, top, right - left,
                     bottom - top);
    }
  }
}

TPixelArea TViewLayers::TopoViewAreaOf(const TPixelArea& topoArea) const {
  const std::int64_t sw = TopoBitmap.Width(), sh = TopoBitmap.Height();
  if (sw <= 0 || sh <= 0 || topoArea.Width <= 0 || topoArea.Height <= 0) return {};
  const std::int64_t dw = Width(), dh = Height();
  if (SmoothStretch()) {
    const int x = std::max(topoArea.X, 0), y = std::max(topoArea.Y, 0);
    return SmoothStretchReach(
        {x, y, topoArea.X + topoArea.Width - x, topoArea.Y + topoArea.Height - y}, Width(),
        Height());
  }
  const std::int64_t left = FirstStretchedFrom(std::max(topoArea.X, 0), sw, dw);
  const std::int64_t top = FirstStretchedFrom(std::max(topoArea.Y, 0), sh, dh);
  const std::int64_t right = FirstStretchedFrom(
      std::min<std::int64_t>(std::int64_t{topoArea.X} + topoArea.Width, sw), sw, dw);
  const std::int64_t bottom = FirstStretchedFrom(
      std::min<std::int64_t>(std::int64_t{topoArea.Y} + topoArea.Height, sh), sh, dh);
  if (right <= left || bottom <= top) return {};
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
          static_cast<int>(bottom - top)};
}

TPixelArea UniteAreas(const TPixelArea& a, const TPixelArea& b) {
  if (a.Width <= 0 || a.Height <= 0) return b;
  if (b.Width <= 0 || b.Height <= 0) return a;
  const int left = std::min(a.X, b.X), top = std::min(a.Y, b.Y);
  const int right = std::max(a.X + a.Width, b.X + b.Width);
  const int bottom = std::max(a.Y + a.Height, b.Y + b.Height);
  return {left, top, right - left, bottom - top};
}

}  // namespace quorvil
