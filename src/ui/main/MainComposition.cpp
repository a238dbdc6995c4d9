// The working pictures and what the screen shows: brightness, the stretched topographic
// map blended over the photograph, the selection outline, and the reactions of the
// brightness and overlay sliders and the "Load Paper Map" box.

#include <QCheckBox>
#include <QFrame>
#include <cstring>
#include <utility>

#include "ui/main/Main.h"
#include "ui/main/MainImage.h"
#include "ui/main/SliderFrame.h"

namespace quorvil {

namespace {

const TColor kSelectionColours[] = {RgbColor(0, 255, 255), RgbColor(255, 255, 255),
                                    RgbColor(0, 255, 255), RgbColor(0, 0, 0)};
const TColor kZoomBoxColours[] = {RgbColor(255, 0, 255), RgbColor(255, 255, 255),
                                  RgbColor(255, 0, 255), RgbColor(0, 0, 0)};
constexpr int kOutlineStep = 2;

// The overlay strength that ticking the paper map starts with.
constexpr int kPaperMapOverlay = 65;

}  // namespace

const TBitmap24& TfrmMain::ScreenBitmap() const { return imgMain->Shown(); }

void TfrmMain::ResizeBitmaps() {
  // Inside the panel's one-pixel bevel.
  imgMain->setGeometry(1, 1, std::max(0, pnlMapClient->width() - 2),
                       std::max(0, pnlMapClient->height() - 2));
  layers_.Resize(imgMain->width(), imgMain->height(), HalfTopo());
  layersStale_ = true;
}

void TfrmMain::ClearMosaics() {
  layers_.ClearMosaics();
  photoComplete_ = topoComplete_ = false;
  layersStale_ = true;
}

void TfrmMain::ShiftMosaics(int dx, int dy) {
  photoComplete_ = topoComplete_ = false;
  if (layers_.SmoothTopo != preferences_.SmoothPaperMap) layersStale_ = true;
  if (layersStale_) {
    layers_.ShiftMosaics(dx, dy, HalfTopo());
    return;
  }
  // What the window shows can be moved along with the pictures, and only what came in
  // painted, when it is the composite unmoved and nothing is drawn over it.
  const TBitmap24& screen = imgMain->Shown();
  const TBitmap24& composite = layers_.CompositeBitmap;
  const bool screenMoves =
      !selection_.HasSelection && !rulerShown_ && !compositeOutlined_ &&
      screen.Width() == imgMain->width() && screen.Height() == imgMain->height() &&
      screen.Width() == composite.Width() && screen.Height() == composite.Height() &&
      (imgMain->ShowsDirect(&composite) ||
       std::memcmp(screen.Data(), composite.Data(), static_cast<std::size_t>(screen.ByteCount())) ==
           0);
  // The derived pictures move with the mosaics; only what came into the view, and what
  // the move cannot carry exactly, is worked out again.
  const TViewLayers::TShift shift =
      layers_.ShiftLayers(dx, dy, HalfTopo(), chkLoadPaperMap->isChecked());
  if (shift.Whole) {
    layersStale_ = true;
    return;
  }
  if (shift.WholeComposite || compositeOutlined_) {
    for (const TPixelArea& area : shift.Redo) PrepareLayers(area);
    ComposeOverlay(layers_.Whole());
  } else {
    for (const TPixelArea& area : shift.Redo) {
      changed_ += QRect(area.X, area.Y, area.Width, area.Height);
    }
  }
  if (screenMoves && !shift.WholeComposite) {
    // The screen was the composite: it is again, moved.
    imgMain->ShowDirect(&composite);
    imgMain->scroll(dx, dy);
  } else {
    PaintView(0, 0, false);
  }
}

void TfrmMain::PrepareLayers(const TPixelArea& area) {
  layers_.SmoothTopo = preferences_.SmoothPaperMap;
  layers_.PrepareLayers(BrightnessLevel(sliderBrightness->Position()), area);
}

void TfrmMain::ComposeOverlay(const TPixelArea& area) {
  const TPixelArea whole = layers_.Whole();
  if (area.X <= 0 && area.Y <= 0 && area.X + area.Width >= whole.Width &&
      area.Y + area.Height >= whole.Height) {
    compositeOutlined_ = false;
  }
  layers_.ComposeOverlay(chkLoadPaperMap->isChecked(), OverlayOpacity(sliderMapOverlay->Position()),
                         area);
}

void TfrmMain::Recompose(const TPixelArea& area) {
  // After a clear, a move or a resize the derived pictures are worked out whole once;
  // from then on each tile only redoes its own pixels. So also after the smooth paper
  // map preference changed.
  if (layers_.SmoothTopo != preferences_.SmoothPaperMap) layersStale_ = true;
  const TPixelArea part = layersStale_ ? layers_.Whole() : area;
  if (layersStale_) changed_ = QRegion();
  cleared_ -= QRect(part.X, part.Y, part.Width, part.Height);
  layersStale_ = false;
  PrepareLayers(part);
  ComposeOverlay(part);
  PaintViewArea(part);
}

void TfrmMain::ShowChanges(const QRegion& part) {
  const QRegion now = changed_ & part;
  changed_ -= part;
  if (layers_.SmoothTopo != preferences_.SmoothPaperMap) layersStale_ = true;
  if (layersStale_) {
    Recompose(layers_.Whole());
    return;
  }
  for (const QRect& r : now) Recompose({r.x(), r.y(), r.width(), r.height()});
}

void TfrmMain::ShowFrame(bool complete) {
  frameTimer_.stop();
  lastFrame_ = std::chrono::steady_clock::now();
  if (complete) changed_ += std::exchange(cleared_, QRegion());
  ShowChanges(QRect(0, 0, layers_.Width(), layers_.Height()));
}

void TfrmMain::ShowCleared() {
  const TPixelArea whole = layers_.Whole();
  if (whole.Width <= 0 || whole.Height <= 0) {
    Recompose(whole);
    return;
  }
  // Black mosaics without gaps compose to one colour: worked out for one pixel, it stands
  // for the whole composite, and the layers are worked out where the tiles land.
  layersStale_ = false;
  PrepareLayers({0, 0, 1, 1});
  ComposeOverlay({0, 0, 1, 1});
  const std::uint8_t* pixel = layers_.CompositeBitmap.Pixel(0, 0);
  const TColor colour = RgbColor(pixel[2], pixel[1], pixel[0]);
  FillBitmap(layers_.CompositeBitmap, colour);
  cleared_ = QRegion(0, 0, whole.Width, whole.Height);
  changed_ = QRegion();
  compositeOutlined_ = false;
  PaintView(0, 0, false);
}

void TfrmMain::PaintView(int x, int y, bool duringPan) {
  const TBitmap24& composite = layers_.CompositeBitmap;
  // Unmoved, and with no outline to draw over it, the composite is shown as it is.
  if (x == 0 && y == 0 && (duringPan || !selection_.HasSelection) &&
      composite.Width() == imgMain->width() && composite.Height() == imgMain->height()) {
    imgMain->ShowDirect(&composite);
    imgMain->update();
    return;
  }
  TBitmap24& screen = imgMain->Picture();
  if (screen.Width() != imgMain->width() || screen.Height() != imgMain->height() || x != 0 ||
      y != 0) {
    screen.SetSize(imgMain->width(), imgMain->height());
    FillBitmap(screen, kColorBlack);
  }
  CopyBitmapRect(screen, x, y, composite, 0, 0, composite.Width(), composite.Height());
  if (!duringPan) DrawViewSelection(x, y, screen);
  imgMain->update();
}

void TfrmMain::PaintViewArea(const TPixelArea& area) {
  if (imgMain->ShowsDirect(&layers_.CompositeBitmap) && !selection_.HasSelection) {
    imgMain->update(area.X, area.Y, area.Width, area.Height);
    return;
  }
  TBitmap24& screen = imgMain->Picture();
  if (screen.Width() != imgMain->width() || screen.Height() != imgMain->height()) {
    PaintView(0, 0, false);
    return;
  }
  CopyBitmapRect(screen, area.X, area.Y, layers_.CompositeBitmap, area.X, area.Y, area.Width,
                 area.Height);
  // The outline is drawn whole: outside the area its pixels are what they were.
  DrawViewSelection(0, 0, screen);
  imgMain->update(area.X, area.Y, area.Width, area.Height);
}

void TfrmMain::DrawViewSelection(int x, int y, TBitmap24& target) {
  if (!selection_.HasSelection) return;
  // An east or south edge just past the last pixel (the whole view selected) shows on
  // that last pixel, so that all four edges stay in sight.
  const int w = imgMain->width(), h = imgMain->height();
  const int east = LongitudeToPixel(selection_.East), south = LatitudeToPixel(selection_.South);
  const TRect outline{x + LongitudeToPixel(selection_.West), y + LatitudeToPixel(selection_.North),
                      x + (east == w ? w - 1 : east), y + (south == h ? h - 1 : south)};
  DrawDashedRect(target, outline, kOutlineStep, kSelectionColours);
}

void TfrmMain::DrawSelectionOutline(int left, int top, int right, int bottom, bool intoComposite) {
  TBitmap24& target = intoComposite ? layers_.CompositeBitmap : imgMain->Picture();
  if (intoComposite) compositeOutlined_ = true;
  DrawDashedRect(target, TRect{left, top, right, bottom}, kOutlineStep, kSelectionColours);
}

void TfrmMain::DrawZoomBoxOutline(int left, int top, int right, int bottom) {
  DrawDashedRect(imgMain->Picture(), TRect{left, top, right, bottom}, kOutlineStep,
                 kZoomBoxColours);
}

void TfrmMain::ShowSplash() {
  imgMain->setGeometry(0, 0, pnlMapClient->width(), pnlMapClient->height());
  imgMain->ShowDirect(nullptr);
  TBitmap24& screen = imgMain->Picture();
  screen.SetSize(imgMain->width(), imgMain->height());
  FillBitmap(screen, kColorBlack);
  CopyBitmapRect(screen, (screen.Width() - splashBitmap_.Width()) / 2,
                 (screen.Height() - splashBitmap_.Height()) / 2, splashBitmap_, 0, 0,
                 splashBitmap_.Width(), splashBitmap_.Height());
  imgMain->update();
}

void TfrmMain::sliderBrightnessChange() {
  layersStale_ = false;
  changed_ = cleared_ = QRegion();
  PrepareLayers(layers_.Whole());
  ComposeOverlay(layers_.Whole());
  PaintView(0, 0, false);
}

void TfrmMain::sliderMapOverlayChange() {
  if (layersStale_ || !changed_.isEmpty() || !cleared_.isEmpty()) {
    layersStale_ = false;
    changed_ = cleared_ = QRegion();
    PrepareLayers(layers_.Whole());
  }
  ComposeOverlay(layers_.Whole());
  PaintView(0, 0, false);
}

void TfrmMain::chkLoadPaperMapClick() {
  if (chkLoadPaperMap->isChecked()) {
    RunBusy([this] {
      sliderMapOverlay->SetPosition(kPaperMapOverlay);
      FetchImagery();
    });
  } else {
    sliderMapOverlay->SetPosition(0);
    UpdateControls();
  }
}

}  // namespace quorvil
