// The view controller: the busy protocol and the three view operations (load, pan,
// relayout) with the fetching of the imagery, the zoom, Back and the controls' state.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <algorithm>
#include <cmath>
#include <utility>

#include "imagery/AreaCheck.h"
#include "imagery/MosaicSupport.h"
#include "imagery/ZoomLevels.h"
#include "places/HistorySupport.h"
#include "platform/ProgramError.h"
#include "platform/PromptSupport.h"
#include "service/FormatSupport.h"
#include "service/TerraServiceSupport.h"
#include "settings/MenuSupport.h"
#include "ui/main/AreaParts.h"
#include "ui/main/CursorSupport.h"
#include "ui/main/Main.h"
#include "ui/main/MainImage.h"
#include "ui/main/MapScaleFrame.h"
#include "ui/main/MapScaleSupport.h"
#include "ui/main/SliderFrame.h"

namespace quorvil {

namespace {

constexpr const char* kDrawingAbortedText = "The download of the picture was interrupted";

// A display frame: the view is composed at most this often while tiles arrive.
constexpr std::chrono::milliseconds kFrameTime{16};

// The slider runs from 10 (64 metres a pixel) on the left to 16 (1 metre) on the right.
constexpr int kZoomPositionSum = 26;

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Whole steps nearest to the distance, held inside int so that a zero step or a far point
// cannot overflow the conversion.
int NearestSteps(double distance, double step) {
  const double steps = std::round(distance / step);
  if (!(steps == steps)) return 0;  // NaN
  return static_cast<int>(std::clamp(steps, -1e9, 1e9));
}

const TileMeta* CentreTileOf(const AreaBoundingBox& area) {
  return area.Center ? area.Center->TileMeta.get() : nullptr;
}

// An area answer that cannot be right for the view is refused before any of its tiles is
// fetched: a faulty or hostile one could cost thousands of downloads. A view too small
// for a single pixel has nothing to fetch and nothing to check.
std::unique_ptr<AreaBoundingBox> CheckedViewArea(std::unique_ptr<AreaBoundingBox> area, int width,
                                                 int height) {
  if (area && width > 0 && height > 0) CheckViewArea(*area, width, height);
  return area;
}

}  // namespace

// ---- busy protocol ---------------------------------------------------------------------

void TfrmMain::BeginBusy() {
  QApplication::setOverrideCursor(Qt::BusyCursor);
  busy_ = true;
  ClearRuler();  // its ends are pixels of the view that is about to change
  busyStartSize_ = size();
  UpdateControls();
  QApplication::processEvents();
}

void TfrmMain::EndBusy() {
  busy_ = false;
  UpdateControls();
  QApplication::restoreOverrideCursor();
  if (closeWhenIdle_) {
    // Closed while the update ran: the close takes effect now, from the event loop.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    return;
  }
  // Tiles that could not be kept on disk are said so once, after the drawing.
  if (std::string warning = TakeTileCacheWarning(); !warning.empty()) {
    QMetaObject::invokeMethod(
        this, [warning] { ShowMessageBox(TPromptKind::pkWarning, "", warning); },
        Qt::QueuedConnection);
  }
  if (preferencesWhenIdle_) {
    preferencesWhenIdle_ = false;
    PreferencesChanged();
  }
  if (size() != busyStartSize_) RelayoutView();
}

// ---- the three view operations --------------------------------------------------------

void TfrmMain::LoadPlace() {
  RunBusy([this] {
    ResizeBitmaps();
    ClearMosaics();
    lblNoImagery->hide();
    const int w = imgMain->width(), h = imgMain->height();
    viewSize_ = QSize(w, h);
    // The old picture and its place leave the screen now: until the new answers and
    // tiles arrive, the view is black and the panel holds only the new centre and scale.
    viewRecorded_ = false;
    ShowCleared();
    try {
      ShowPlaceText({});
      ShowScale();
      ShowCoordinatesAt(w / 2, h / 2);
      const auto level = static_cast<TZoomLevel>(ZoomLevel());
      const LonLatPt centre{centerLongitude_, centerLatitude_};
      photoArea_.reset();
      photoArea_ = CheckedViewArea(
          ServiceGetAreaFromPt(centre, Theme::Photo, ScaleOfZoomLevel(level), w, h), w, h);
      longitudePerPixel_ = latitudePerPixel_ = 0;
      TakeDegreesPerPixel(CentreTileOf(*photoArea_));
      ShowPlaceText(photoArea_->NearestPlace);
      ShowScale();
      ShowCoordinatesAt(w / 2, h / 2);
      topoArea_.reset();
      // At the finest level the topographic map comes at 2 metres a pixel, half the size.
      const int tw = HalfTopo() ? w / 2 : w, th = HalfTopo() ? h / 2 : h;
      topoArea_ = CheckedViewArea(
          ServiceGetAreaFromPt(centre, Theme::Topo,
                               HalfTopo() ? Scale::Scale2m : ScaleOfZoomLevel(level), tw, th),
          tw, th);
      FetchImagery();
    } catch (...) {
      // Ended before the tiles reached it all, the view is composed whole as it stands.
      ShowFrame(true);
      throw;
    }
  });
}

void TfrmMain::PanView(int dx, int dy) {
  // A view whose area request was abandoned has nothing to move until the next load.
  if (!photoArea_) return;
  RunBusy([this, dx, dy] {
    const bool photoWhole = photoComplete_, topoWhole = topoComplete_;
    const int w = imgMain->width(), h = imgMain->height();
    ShiftMosaics(dx, dy);
    ShiftArea(*photoArea_, dx, dy, w, h);
    ReanchorCenter(centerLongitude_ - dx * longitudePerPixel_,
                   centerLatitude_ + dy * latitudePerPixel_);
    ShowPlaceText(GetNearestPlaceName(centerLatitude_, centerLongitude_));
    ShowCoordinatesAt(w / 2, h / 2);
    const bool half = HalfTopo();
    const int tdx = half ? dx / 2 : dx, tdy = half ? dy / 2 : dy;
    const int tw = half ? w / 2 : w, th = half ? h / 2 : h;
    if (topoArea_) ShiftArea(*topoArea_, tdx, tdy, tw, th);
    // What the moved pictures still hold needs no tiles again.
    FetchImagery(photoWhole ? TPixelArea{dx, dy, w, h} : TPixelArea{},
                 topoWhole ? TPixelArea{tdx, tdy, tw, th} : TPixelArea{});
  });
}

void TfrmMain::RelayoutView() {
  RunBusy([this] {
    const QSize before = viewSize_;
    const bool photoWhole = photoComplete_, topoWhole = topoComplete_;
    ResizeBitmaps();
    const int w = imgMain->width(), h = imgMain->height();
    const int dw = w - before.width(), dh = h - before.height();
    viewSize_ = QSize(w, h);
    if (!photoArea_) return;
    ShiftArea(*photoArea_, 0, 0, w, h);
    // The north-west corner stays, and so does the ground under every pixel kept: the
    // centre moves by the change of the centre pixel. Anchored on another centre tile
    // instead, the kept picture and a selection on it would part by a pixel or two.
    centerLongitude_ += longitudePerPixel_ * (w / 2 - before.width() / 2);
    centerLatitude_ -= latitudePerPixel_ * (h / 2 - before.height() / 2);
    ShowPlaceText(GetNearestPlaceName(centerLatitude_, centerLongitude_));
    ShowCoordinatesAt(w / 2, h / 2);
    const bool half = HalfTopo();
    if (topoArea_) ShiftArea(*topoArea_, 0, 0, half ? w / 2 : w, half ? h / 2 : h);
    if (dw > 0 || dh > 0) {
      const int kw = before.width(), kh = before.height();
      FetchImagery(
          photoWhole ? TPixelArea{0, 0, kw, kh} : TPixelArea{},
          topoWhole ? TPixelArea{0, 0, half ? kw / 2 : kw, half ? kh / 2 : kh} : TPixelArea{});
    }
  });
}

void TfrmMain::FetchImagery(const TPixelArea& keptPhoto, const TPixelArea& keptTopo) {
  stopRequested_ = false;
  tileFailure_ = nullptr;
  const bool paperMap = chkLoadPaperMap->isChecked() && topoArea_;
  if (photoArea_) DrawLayer(false, *photoArea_, keptPhoto, !paperMap);
  if (paperMap) DrawLayer(true, *topoArea_, keptTopo, true);
  // Nothing arrived to show the moved or cleared pictures: show them now.
  ShowFrame(true);
  // A place reached otherwise than by Back or Forward ends the way Forward would go.
  if (!navigating_) forward_.clear();
  history_.push_back(BuildHistoryString(memPlace->toPlainText().toStdString(),
                                        static_cast<std::uint8_t>(ZoomLevel()), centerLongitude_,
                                        centerLatitude_, DecimalSeparator()));
  viewRecorded_ = true;
  WriteLastView(history_.back());
  loaded_ = true;
  // Tiles that failed are reported once, now that every other tile is drawn.
  if (tileFailure_) std::rethrow_exception(std::exchange(tileFailure_, nullptr));
}

bool TfrmMain::DrawLayer(bool topo, const AreaBoundingBox& area, const TPixelArea& kept,
                         bool last) {
  TBitmap24& bitmap = topo ? layers_.TopoBitmap : layers_.PhotoBitmap;
  bool& complete = topo ? topoComplete_ : photoComplete_;
  complete = false;
  // The view pixels this drawing can change: the kept pixels are drawn again as they were.
  QRegion open = QRegion(0, 0, bitmap.Width(), bitmap.Height()) -
                 QRegion(kept.X, kept.Y, std::max(kept.Width, 0), std::max(kept.Height, 0));
  if (topo) {
    QRegion reach;
    for (const QRect& r : open) {
      const TPixelArea view = layers_.TopoViewAreaOf({r.x(), r.y(), r.width(), r.height()});
      reach += QRect(view.X, view.Y, view.Width, view.Height);
    }
    open = reach;
  }
  const auto changed = [&](const TPixelArea& pixels) {
    const TPixelArea view = topo ? layers_.TopoViewAreaOf(pixels) : pixels;
    const QRegion region = open & QRect(view.X, view.Y, view.Width, view.Height);
    changed_ += region;
    return region;
  };
  bool first = true;
  lastFrame_ = std::chrono::steady_clock::now();
  const auto progress = [&](bool& cancel, int, const TPixelArea& tile) {
    cancel = stopRequested_;
    const QRegion region = changed(tile);
    // The first tile shows at once; after it the view is composed and painted once a
    // frame. Events are handled after every tile, so that a Stop ends the drawing after
    // the tile in progress however fast the tiles come; without a repaint due that costs
    // next to nothing.
    const auto now = std::chrono::steady_clock::now();
    if (first || now - lastFrame_ >= kFrameTime) {
      if (first) {
        ShowChanges(region);
        lastFrame_ = now;
      } else {
        ShowFrame();
      }
      first = false;
    } else if (!frameTimer_.isActive()) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(lastFrame_ + kFrameTime - now);
      frameTimer_.start(wait);
    }
    QApplication::processEvents();
  };
  bool failed = false;
  const auto draw = [&] {
    for (const auto& part : MissingAreaParts(area, bitmap.Width(), bitmap.Height(), kept)) {
      TMosaicReport report;
      bool drawn = false;
      try {
        drawn = DrawAreaToBitmap(
            bitmap, *part,
            [&](bool& cancel, int n) { progress(cancel, n, AreaTileArea(*part, report.Tile)); },
            &report);
      } catch (const ETransferAborted&) {
        // Stop also aborts the tile on the wire: that ends the drawing as Stop does. An
        // abort nobody here asked for is a failure of the drawing.
        if (stopRequested_) return false;
        throw EQuorvilError(kDrawingAbortedText);
      }
      // Ground without imagery stays black; the panel says so until the next load. Where
      // only the map is missing, the photograph shows unblended.
      if (!report.Missing.empty()) lblNoImagery->show();
      if (topo) {
        for (const std::int64_t index : report.Missing) {
          const TPixelArea gap = AreaTileArea(*part, index);
          layers_.TopoGaps.push_back(gap);
          changed(gap);
        }
      }
      if (report.Failure && !tileFailure_) tileFailure_ = report.Failure;
      failed = failed || !report.Failed.empty();
      if (!drawn) return false;
    }
    return true;
  };
  // Whatever ends the drawing, the view shows all that it drew.
  bool drawn = false;
  try {
    drawn = draw();
  } catch (...) {
    ShowFrame(true);
    throw;
  }
  if (last || !drawn) {
    ShowFrame(true);
  } else if (!changed_.isEmpty() && !frameTimer_.isActive()) {
    // The next layer's tiles show the rest in their frames; should they be slow, the
    // frame comes on time all the same.
    const auto now = std::chrono::steady_clock::now();
    frameTimer_.start(
        std::max(std::chrono::milliseconds(0),
                 std::chrono::ceil<std::chrono::milliseconds>(lastFrame_ + kFrameTime - now)));
  }
  if (drawn) complete = !failed;
  return drawn;
}

// ---- centre and degrees per pixel -----------------------------------------------------

void TfrmMain::TakeDegreesPerPixel(const TileMeta* centreTile) {
  // A centre without a tile record counts as a tile that does not exist.
  const TileMeta none;
  UpdateDegreesPerPixel(centreTile != nullptr ? *centreTile : none, longitudePerPixel_,
                        latitudePerPixel_, centerLatitude_, static_cast<TZoomLevel>(ZoomLevel()));
}

void TfrmMain::ReanchorCenter(double fallbackLongitude, double fallbackLatitude) {
  const TileMeta* centre = CentreTileOf(*photoArea_);
  std::unique_ptr<TileMeta> meta;
  if (centre != nullptr && centre->Id) meta = ServiceGetTileMetaFromTileId(*centre->Id);
  TakeDegreesPerPixel(meta.get());
  const AreaCoordinate* northWest = photoArea_->NorthWest.get();
  const bool anchored = meta && meta->TileExists && meta->Id && meta->Center && northWest &&
                        northWest->TileMeta && northWest->TileMeta->Id && northWest->Offset;
  if (!anchored) {
    centerLongitude_ = fallbackLongitude;
    centerLatitude_ = fallbackLatitude;
    return;
  }
  const int w = imgMain->width(), h = imgMain->height();
  const TileId& n = *northWest->TileMeta->Id;
  const int kx = meta->Id->X - n.X, ky = n.Y - meta->Id->Y;
  centerLongitude_ = meta->Center->Lon + longitudePerPixel_ * (w / 2 + northWest->Offset->XOffset -
                                                               kTileSize * kx - kTileSize / 2);
  centerLatitude_ = meta->Center->Lat - latitudePerPixel_ * (h / 2 + northWest->Offset->YOffset -
                                                             kTileSize * ky - kTileSize / 2);
}

void TfrmMain::SetCenter(double longitude, double latitude) {
  centerLongitude_ = longitude;
  centerLatitude_ = latitude;
}

// ---- zoom, Back, selection ------------------------------------------------------------

int TfrmMain::ZoomLevel() const { return kZoomPositionSum - sliderZoom->Position(); }

void TfrmMain::SetZoomLevel(int level) {
  sliderZoom->SetPosition(kZoomPositionSum - level);
  committedZoomPosition_ = sliderZoom->Position();
  UpdateControls();
}

void TfrmMain::CommitZoom() {
  const int position = sliderZoom->Position();
  if (position == committedZoomPosition_) return;
  LoadPlace();
  committedZoomPosition_ = position;
}

bool TfrmMain::CanGoBack() const { return history_.size() > (viewRecorded_ ? 1u : 0u); }

void TfrmMain::GoBack() {
  if (!CanGoBack()) return;
  // The last entry is the view on screen, unless the latest load ended before drawing:
  // then the view to go back to is the last one drawn.
  if (viewRecorded_) {
    forward_.push_back(std::move(history_.back()));
    history_.pop_back();
  }
  const std::string entry = std::move(history_.back());
  history_.pop_back();
  LoadHistoryEntry(entry);
}

void TfrmMain::GoForward() {
  if (!CanGoForward()) return;
  const std::string entry = std::move(forward_.back());
  forward_.pop_back();
  LoadHistoryEntry(entry);
}

void TfrmMain::LoadHistoryEntry(const std::string& text) {
  const THistoryEntry entry = ParseHistoryString(text, DecimalSeparator());
  SetCenter(entry.Longitude, entry.Latitude);
  SetZoomLevel(entry.ZoomLevel);
  struct TNavigation {
    bool& flag;
    ~TNavigation() { flag = false; }
  } navigation{navigating_ = true};
  LoadPlace();
}

void TfrmMain::ReloadView() {
  if (busy_ || !loaded_) return;
  // The files of the view's tiles go, so that the drawing fetches each tile anew.
  for (const AreaBoundingBox* area : {photoArea_.get(), topoArea_.get()}) {
    if (area == nullptr || !area->NorthWest || !area->NorthWest->TileMeta ||
        !area->NorthWest->TileMeta->Id || !area->SouthEast || !area->SouthEast->TileMeta ||
        !area->SouthEast->TileMeta->Id) {
      continue;
    }
    const TileId& northWest = *area->NorthWest->TileMeta->Id;
    const TileId& southEast = *area->SouthEast->TileMeta->Id;
    if (AreaTileCount(*area) == 0) continue;
    for (int y = southEast.Y; y <= northWest.Y; ++y) {
      for (int x = northWest.X; x <= southEast.X; ++x) {
        TileId id = northWest;
        id.X = x;
        id.Y = y;
        DiscardCachedTile(id);
      }
    }
  }
  LoadPlace();
}

void TfrmMain::SelectAll() {
  const int w = imgMain->width(), h = imgMain->height();
  selection_ = TSelectionRec{true, PixelToLongitude(0), PixelToLatitude(0), PixelToLongitude(w),
                             PixelToLatitude(h)};
  PaintView(0, 0, false);
  UpdateControls();
}

// ---- what the left panel shows --------------------------------------------------------

void TfrmMain::ShowPlaceText(const std::string& text) {
  memPlace->setPlainText(QString::fromStdString(text));
}

void TfrmMain::ShowScale() {
  frameMapScale1->SetUnitsPerPixel(ScaleUnitsPerPixel(
      MetersPerPixel(static_cast<TZoomLevel>(ZoomLevel())), frameMapScale1->ScaleUnitOfMeasure()));
}

void TfrmMain::ShowCoordinatesAt(int x, int y) {
  const TCoordinateFields fields = FormatCoordinateFields(
      PixelToLongitude(x), PixelToLatitude(y), preferences_.CoordinateFormat, DecimalSeparator());
  edtLongitude->setText(QString::fromStdString(fields.First));
  edtLatitude->setText(QString::fromStdString(fields.Second));
}

std::string TfrmMain::DecimalSeparator() const {
  return QLocale::system().decimalPoint().toStdString();
}

TViewGeometry TfrmMain::Geometry() const {
  return TViewGeometry{imgMain->width(), imgMain->height(),  centerLongitude_,
                       centerLatitude_,  longitudePerPixel_, latitudePerPixel_};
}

double TfrmMain::PixelToLongitude(int x) const { return LongitudeAtPixel(Geometry(), x); }
double TfrmMain::PixelToLatitude(int y) const { return LatitudeAtPixel(Geometry(), y); }
// To the nearest pixel rather than truncated: a point a hair off its pixel (the rounding
// of the service's offsets, of the degrees per pixel) stays on that pixel instead of
// moving to the next.
int TfrmMain::LongitudeToPixel(double longitude) const {
  return imgMain->width() / 2 - NearestSteps(centerLongitude_ - longitude, longitudePerPixel_);
}
int TfrmMain::LatitudeToPixel(double latitude) const {
  return imgMain->height() / 2 - NearestSteps(latitude - centerLatitude_, latitudePerPixel_);
}

void TfrmMain::UpdateControls() {
  const bool b = busy_, l = loaded_, s = selection_.HasSelection;
  const bool p = chkLoadPaperMap->isChecked();
  pnlStats->setVisible(l || b);
  pnlGeneralInfo->setVisible(!l && !b);
  sliderZoom->SetSliderEnabled(!b && l);
  sliderBrightness->SetSliderEnabled(!b && l);
  sliderMapOverlay->SetSliderEnabled(!b && l && p);
  chkLoadPaperMap->setEnabled(!b && l);
  for (QAction* output : {actSaveAs, actPrint, actCopy}) output->setEnabled(!b && l && s);
  for (QAction* dialog : {actSearchForPlace, actEnterCoordinates, actAbout, actOrganizeFavorites}) {
    dialog->setEnabled(!b);
  }
  actHelp->setEnabled(true);
  actPreferences->setEnabled(true);
  miExit->setEnabled(true);
  actBack->setEnabled(!b && l && CanGoBack());
  actForward->setEnabled(!b && l && CanGoForward());
  actReload->setEnabled(!b && l);
  actStop->setEnabled(b);
  for (QAction* view :
       {actPan, actZoomBox, actSelect, actMeasure, actSelectAll, actRefreshScreen}) {
    view->setEnabled(!b && l);
  }
  EnableMenuItems(*miFavorites, !b, {miAddtoFavorites});
  actAddToFavorites->setEnabled(!b && l);

  const QString name = ToQString(ZoomLevelName(static_cast<TZoomLevel>(ZoomLevel())));
  sliderZoom->lblCaption->setText("Zoom (" + name + ")");
  sliderZoom->lblCaption->setToolTip("Current Zoom: 1 Pixel = " + name);

  const int cursor = static_cast<int>(activeTool_);
  if (cursor != activeCursor_) {
    activeCursor_ = cursor;
    imgMain->setCursor(activeTool_ == TMouseTool::toolMeasure ? QCursor(Qt::CrossCursor)
                                                              : CustomCursor(cursor));
    RefreshCursor();
  }
  QAction* checked = selectedTool_ == TMouseTool::toolPan       ? actPan
                     : selectedTool_ == TMouseTool::toolZoomBox ? actZoomBox
                     : selectedTool_ == TMouseTool::toolSelect  ? actSelect
                                                                : actMeasure;
  checked->setChecked(true);
}

}  // namespace quorvil
