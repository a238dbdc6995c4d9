// The mouse tools on the view control: Pan drags the picture, Zoom Box zooms in on a box,
// Select draws the selection, Measure draws a ruler; the right button swaps Pan and Zoom
// Box for one drag, and a right click that does not move opens the view's context menu.
// Also the wheel (one zoom level a step about the pointer) and the arrow keys (a quarter
// view a press).

#include <QKeyEvent>
#include <QMenu>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

#include "imagery/ZoomLevels.h"
#include "ui/main/Main.h"
#include "ui/main/MainImage.h"
#include "ui/main/SliderFrame.h"

namespace quorvil {

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

// The tool of a press: the right button swaps Pan and Zoom Box, and pans with Measure (a
// right click there opens the context menu rather than a ruler); with Select it selects
// too; any other button acts as the chosen tool.
TMouseTool ToolOfPress(TMouseTool selected, Qt::MouseButton button) {
  if (button == Qt::RightButton && selected == TMouseTool::toolPan) return TMouseTool::toolZoomBox;
  if (button == Qt::RightButton &&
      (selected == TMouseTool::toolZoomBox || selected == TMouseTool::toolMeasure)) {
    return TMouseTool::toolPan;
  }
  return selected;
}

// A wheel turns in steps of 120 (an eighth of a degree each, fifteen degrees a notch).
constexpr int kWheelStep = 120;

}  // namespace

int ZoomBoxLevel(int level, int boxWidth, int boxHeight, int viewWidth, int viewHeight) {
  for (int c = kMinZoomLevel; c < level; ++c) {
    const std::int64_t grow = MetersPerPixel(static_cast<TZoomLevel>(level));
    const std::int64_t shrink = MetersPerPixel(static_cast<TZoomLevel>(c));
    if (grow * boxWidth / shrink <= viewWidth && grow * boxHeight / shrink <= viewHeight) return c;
  }
  return level;
}

void TfrmMain::imgMainMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
  // One drag at a time: a second button pressed during it is left alone.
  if (busy_ || !loaded_ || mousePressed_) return;
  mousePressed_ = true;
  pressedButton_ = button;
  if (button == Qt::RightButton) contextPoint_ = QPoint(x, y);
  pressSelection_ = selection_;
  activeTool_ = ToolOfPress(selectedTool_, button);
  UpdateControls();
  switch (activeTool_) {
    case TMouseTool::toolPan:
      panStart_ = QPoint(x, y);
      // Drawn into the composite, the outline travels with the dragged picture.
      if (selection_.HasSelection) {
        DrawSelectionOutline(LongitudeToPixel(selection_.West), LatitudeToPixel(selection_.North),
                             LongitudeToPixel(selection_.East), LatitudeToPixel(selection_.South),
                             true);
      }
      break;
    case TMouseTool::toolZoomBox:
      selectBox_->Clear();
      boxStart_ = boxCorner_ = QPoint(x, y);
      break;
    case TMouseTool::toolSelect:
      if (selection_.HasSelection) {
        selection_.HasSelection = false;
        PaintView(0, 0, false);
      }
      selectBox_->Clear();
      boxStart_ = boxCorner_ = QPoint(x, y);
      break;
    case TMouseTool::toolMeasure:
      pressEndsRuler_ = rulerFollowing_;
      rulerFollowing_ = false;
      if (!pressEndsRuler_) rulerStart_ = QPoint(x, y);
      MeasureTo(x, y);
      break;
  }
}

void TfrmMain::MeasureTo(int x, int y) {
  rulerShown_ = true;
  rulerLine_ =
      MeasureGroundLine(PixelToLongitude(rulerStart_.x()), PixelToLatitude(rulerStart_.y()),
                        PixelToLongitude(x), PixelToLatitude(y));
  imgMain->SetRuler(true, rulerStart_, QPoint(x, y), RulerText());
}

QString TfrmMain::RulerText() const {
  return QString::fromStdString(
      GroundLineText(rulerLine_, preferences_.EnglishUnits, DecimalSeparator()));
}

void TfrmMain::ClearRuler() {
  rulerShown_ = rulerFollowing_ = false;
  imgMain->SetRuler(false);
}

void TfrmMain::imgMainMouseMove(Qt::MouseButtons, Qt::KeyboardModifiers, int x, int y) {
  if (busy_ || !loaded_) return;
  if (!mousePressed_) {
    ShowCoordinatesAt(x, y);
    if (rulerFollowing_) MeasureTo(x, y);
    return;
  }
  switch (activeTool_) {
    case TMouseTool::toolPan:
      PaintView(x - panStart_.x(), y - panStart_.y(), true);
      break;
    case TMouseTool::toolZoomBox: {
      // The box keeps the view's proportions.
      const int w = imgMain->width(), h = imgMain->height();
      const int k = w > 0 ? std::abs((x - boxStart_.x()) * h / w) : 0;
      const QPoint corner(x, boxStart_.y() + Sign(y - boxStart_.y()) * k);
      RubberBandStep(corner, false);
      ShowCoordinatesAt(corner.x(), corner.y());
      break;
    }
    case TMouseTool::toolSelect:
      RubberBandStep(QPoint(x, y), true);
      ShowCoordinatesAt(x, y);
      break;
    case TMouseTool::toolMeasure:
      if (!pressEndsRuler_) MeasureTo(x, y);
      ShowCoordinatesAt(x, y);
      break;
  }
}

void TfrmMain::RubberBandStep(const QPoint& corner, bool selection) {
  TBitmap24& screen = imgMain->Picture();
  int left = boxStart_.x(), top = boxStart_.y(), right = boxCorner_.x(), bottom = boxCorner_.y();
  NormalizeRect(left, top, right, bottom);
  selectBox_->RestoreBorder(screen, left, top);
  left = boxStart_.x(), top = boxStart_.y(), right = corner.x(), bottom = corner.y();
  NormalizeRect(left, top, right, bottom);
  selectBox_->SaveBorder(screen, left, top, right, bottom);
  if (selection) {
    DrawSelectionOutline(left, top, right, bottom, false);
  } else {
    DrawZoomBoxOutline(left, top, right, bottom);
  }
  boxCorner_ = corner;
  imgMain->update();
}

void TfrmMain::imgMainMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
  if (busy_ || !loaded_ || !mousePressed_ || button != pressedButton_) return;
  mousePressed_ = false;
  // Whatever the tool's action ends in, the chosen tool and its cursor come back.
  struct TToolRestorer {
    TfrmMain* window;
    ~TToolRestorer() {
      window->activeTool_ = window->selectedTool_;
      window->UpdateControls();
    }
  } restorer{this};
  const int sx = boxStart_.x(), sy = boxStart_.y();
  // A right click that does not move opens the context menu instead of the tool's action.
  if (button == Qt::RightButton && std::abs(x - contextPoint_.x()) < 2 &&
      std::abs(y - contextPoint_.y()) < 2) {
    selection_ = pressSelection_;  // Select's press took it away
    if (activeTool_ == TMouseTool::toolPan) {
      layersStale_ = true;  // the press drew the selection's outline into the composite
      Recompose(layers_.Whole());
    } else {
      PaintView(0, 0, false);
    }
    pmnuView->popup(imgMain->mapToGlobal(contextPoint_));
    return;
  }
  switch (activeTool_) {
    case TMouseTool::toolPan:
      PanView(x - panStart_.x(), y - panStart_.y());
      break;
    case TMouseTool::toolZoomBox: {
      const int w = std::abs(x - sx), h = std::abs(y - sy);
      if (w < 2 || h < 2) {
        PaintView(0, 0, false);
        break;
      }
      const int viewWidth = imgMain->width(), viewHeight = imgMain->height();
      const int level = ZoomBoxLevel(ZoomLevel(), w, h, viewWidth, viewHeight);
      const int cx = sx + (x - sx) / 2, cy = sy + (y - sy) / 2;
      SetCenter(centerLongitude_ - longitudePerPixel_ * (viewWidth / 2 - cx),
                centerLatitude_ + latitudePerPixel_ * (viewHeight / 2 - cy));
      SetZoomLevel(level);
      LoadPlace();
      break;
    }
    case TMouseTool::toolSelect:
      if (std::abs(sx - x) < 2 || std::abs(sy - y) < 2) {
        selection_.HasSelection = false;
        PaintView(0, 0, false);
        break;
      }
      selection_ = TSelectionRec{true, PixelToLongitude(sx), PixelToLatitude(sy),
                                 PixelToLongitude(x), PixelToLatitude(y)};
      NormalizeGeoRect(selection_.West, selection_.North, selection_.East, selection_.South);
      break;
    case TMouseTool::toolMeasure:
      // A click begins a ruler that follows the pointer to the next click; a drag ends
      // the ruler where it is let go.
      if (!pressEndsRuler_ && std::abs(x - rulerStart_.x()) < 2 &&
          std::abs(y - rulerStart_.y()) < 2) {
        rulerFollowing_ = true;
      }
      pressEndsRuler_ = false;
      break;
  }
}

void TfrmMain::imgMainMouseWheel(int angleDelta, int x, int y) {
  if (busy_ || !loaded_ || mousePressed_) return;
  wheelTurn_ += angleDelta;
  while (std::abs(wheelTurn_) >= kWheelStep) {
    const bool in = wheelTurn_ > 0;
    wheelTurn_ -= in ? kWheelStep : -kWheelStep;
    const int level =
        std::clamp(ZoomLevel() + (in ? -1 : 1), int{kMinZoomLevel}, int{kMaxZoomLevel});
    // At the end of the range a step does nothing, not even the first commit.
    if (level == ZoomLevel()) continue;
    ZoomAbout(level, x, y);
    wheelTurn_ = 0;  // what turned on during the load is not saved up
    break;
  }
}

void TfrmMain::ZoomAbout(int level, int x, int y) {
  const int w = imgMain->width(), h = imgMain->height();
  const double longitude = PixelToLongitude(x), latitude = PixelToLatitude(y);
  // The degrees per pixel scale with the metres per pixel; the centre tile of the new
  // view refines them, by far less than a pixel across the view.
  const double ratio = static_cast<double>(MetersPerPixel(static_cast<TZoomLevel>(level))) /
                       MetersPerPixel(static_cast<TZoomLevel>(ZoomLevel()));
  SetCenter(longitude - (x - w / 2) * longitudePerPixel_ * ratio,
            latitude + (y - h / 2) * latitudePerPixel_ * ratio);
  SetZoomLevel(level);
  LoadPlace();
}

bool TfrmMain::ArrowKeyPan(int key) {
  const int w = imgMain->width() / 4, h = imgMain->height() / 4;
  int dx = 0, dy = 0;
  switch (key) {
    case Qt::Key_Left:
      dx = w;  // the view moves west: the picture goes right
      break;
    case Qt::Key_Right:
      dx = -w;
      break;
    case Qt::Key_Up:
      dy = h;
      break;
    case Qt::Key_Down:
      dy = -h;
      break;
    default:
      return false;
  }
  if (!busy_ && loaded_ && !mousePressed_) PanView(dx, dy);
  return true;
}

}  // namespace quorvil
