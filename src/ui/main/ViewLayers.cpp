#include "ui/main/ViewLayers.h"

#include <algorithm>
#include <cstdlib>

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
  // A map at the view's size is its own stretch: no picture is kept for that.
  ResizeKeeping(TopoViewBitmap, halfTopo ? width : 0, halfTopo ? height : 0);
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

TViewLayers::TShift TViewLayers::ShiftLayers(int dx, int dy, bool halfTopo, bool paperMap) {
  TShift shift;
  const int w = Width(), h = Height();
  const int tw = TopoBitmap.Width(), th = TopoBitmap.Height();
  ShiftMosaics(dx, dy, halfTopo);
  const int tx = halfTopo ? dx / 2 : dx, ty = halfTopo ? dy / 2 : dy;
  // The stretch moves with the map only where it is the same for every pixel: one to
  // one, exactly twice the size, or the smooth doubling (its edge pixels aside).
  const bool same = OneToOne();
  const bool doubled = 2 * tw == w && 2 * th == h;
  const bool smooth = SmoothStretch();
  if (w <= 0 || h <= 0 || std::abs(dx) >= w || std::abs(dy) >= h || std::abs(tx) >= tw ||
      std::abs(ty) >= th || !(same || doubled || smooth)) {
    shift.Whole = true;
    return shift;
  }
  const int vx = same ? tx : 2 * tx, vy = same ? ty : 2 * ty;
  ShiftBitmap(BrightPhotoBitmap, dx, dy, kColorBlack);
  if (!same) ShiftBitmap(TopoViewBitmap, vx, vy, kColorBlack);
  if (!paperMap || (vx == dx && vy == dy)) {
    ShiftBitmap(CompositeBitmap, dx, dy, kColorBlack);
  } else {
    shift.WholeComposite = true;
  }
  const auto add = [&](const TPixelArea& area) {
    if (area.Width > 0 && area.Height > 0) shift.Redo.push_back(area);
  };
  // The bands that came into the photograph, and the view pixels that the map's new
  // bands reach.
  add(dy > 0 ? TPixelArea{0, 0, w, dy} : TPixelArea{0, h + dy, w, -dy});
  add(dx > 0 ? TPixelArea{0, 0, dx, h} : TPixelArea{w + dx, 0, -dx, h});
  add(TopoViewAreaOf(ty > 0 ? TPixelArea{0, 0, tw, ty} : TPixelArea{0, th + ty, tw, -ty}));
  add(TopoViewAreaOf(tx > 0 ? TPixelArea{0, 0, tx, th} : TPixelArea{tw + tx, 0, -tx, th}));
  if (smooth) {
    // The smooth stretch repeats the map's edge pixels along the view's first and last
    // two rows and columns: there a moved pixel is not what a fresh stretch gives.
    add({0, 0, w, std::min(h, 2)});
    add({0, std::max(h - 2, 0), w, std::min(h, 2)});
    add({0, 0, std::min(w, 2), h});
    add({std::max(w - 2, 0), 0, std::min(w, 2), h});
  }
  return shift;
}

void TViewLayers::PrepareLayers(std::uint8_t brightnessLevel, const TPixelArea& area) {
  AdjustBrightnessArea(BrightPhotoBitmap, PhotoBitmap, brightnessLevel, area);
  if (OneToOne()) return;  // the map is its own stretch
  if (SmoothStretch()) {
    StretchDoubleSmoothArea(TopoViewBitmap, TopoBitmap, area);
  } else {
    StretchBitmapArea(TopoViewBitmap, TopoBitmap, area);
  }
}

void TViewLayers::ComposeOverlay(bool paperMap, std::uint8_t opacity, const TPixelArea& area) {
  if (!paperMap) {
    CopyBitmapRect(CompositeBitmap, area.X, area.Y, BrightPhotoBitmap, area.X, area.Y, area.Width,
                   area.Height);
    return;
  }
  BlendBitmapsArea(CompositeBitmap, BrightPhotoBitmap, TopoView(), opacity, area);
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
