// The main window's events: commands and controls connected to their handlers, the
// window's show, size, maximize and close, the idle-time cache trim and shut-down.

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QResizeEvent>
#include <algorithm>

#include "imagery/ZoomLevels.h"
#include "places/HistorySupport.h"
#include "platform/Hourglass.h"
#include "platform/ProgramError.h"
#include "service/TerraServiceSupport.h"
#include "ui/main/HelpWindow.h"
#include "ui/main/Main.h"
#include "ui/main/MainImage.h"
#include "ui/main/MapScaleFrame.h"
#include "ui/main/SliderFrame.h"
#include "ui/main/exTrackBar.h"

namespace quorvil {

namespace {

// A frame drag is taken as ended once its size events have paused this long.
constexpr int kSizeMovePauseMs = 250;

}  // namespace

void StartProgramTileService(const TPreferences& preferences) {
  InitializeTileService(preferences.ServerAddress, ProgramCacheFolder(),
                        TileLimitFromCacheSize(preferences.MaxCacheSize),
                        preferences.CacheDeletePercent);
}

void TfrmMain::ApplyPreferences() {
  preferences_ = ReadPreferences();
  const bool utm = preferences_.CoordinateFormat == TCoordinateFormat::cfUtm;
  lblLongitude->setText(utm ? "Easting:" : "Longitude:");
  lblLatitude->setText(utm ? "Northing:" : "Latitude:");
  frameMapScale1->SetScaleUnitOfMeasure(
      preferences_.EnglishUnits ? TScaleUnitOfMeasure::suMiles : TScaleUnitOfMeasure::suKilometers);
  if (loaded_) ShowScale();
  startTileService_(preferences_);
}

void TfrmMain::ConnectEvents() {
  const auto command = [this](QAction* action, void (TfrmMain::*handler)()) {
    connect(action, &QAction::triggered, this,
            [this, handler] { RunGuarded([&] { (this->*handler)(); }); });
  };
  command(actSaveAs, &TfrmMain::actSaveAsExecute);
  command(actPrint, &TfrmMain::actPrintExecute);
  command(actCopy, &TfrmMain::actCopyExecute);
  command(actSelectAll, &TfrmMain::actSelectAllExecute);
  command(actPreferences, &TfrmMain::actPreferencesExecute);
  command(actSearchForPlace, &TfrmMain::actSearchForPlaceExecute);
  command(actEnterCoordinates, &TfrmMain::actEnterCoordinatesExecute);
  command(actBack, &TfrmMain::actBackExecute);
  command(actForward, &TfrmMain::GoForward);
  command(actRefreshScreen, &TfrmMain::actRefreshScreenExecute);
  command(actReload, &TfrmMain::ReloadView);
  command(actCopyCoordinates, &TfrmMain::actCopyCoordinatesExecute);
  command(actCenterHere, &TfrmMain::actCenterHereExecute);
  command(actStop, &TfrmMain::actStopExecute);
  command(actAddToFavorites, &TfrmMain::actAddToFavoritesExecute);
  command(actOrganizeFavorites, &TfrmMain::actOrganizeFavoritesExecute);
  command(actHelp, &TfrmMain::actHelpExecute);
  command(actAbout, &TfrmMain::actAboutExecute);
  command(miExit, &TfrmMain::miExitClick);
  const struct {
    QAction* Action;
    TMouseTool Tool;
  } kTools[] = {{actPan, TMouseTool::toolPan},
                {actZoomBox, TMouseTool::toolZoomBox},
                {actSelect, TMouseTool::toolSelect},
                {actMeasure, TMouseTool::toolMeasure}};
  for (const auto& tool : kTools) {
    connect(tool.Action, &QAction::triggered, this,
            [this, t = tool.Tool] { RunGuarded([&] { actToolExecute(t); }); });
  }

  connect(sliderZoom, &TframeSlider::PositionChanged, this,
          [this] { RunGuarded([&] { UpdateControls(); }); });
  const auto commit = [this] { RunGuarded([&] { CommitZoom(); }); };
  connect(sliderZoom->trkSlider, &TexTrackBar::MouseUp, this, commit);
  connect(sliderZoom->trkSlider, &TexTrackBar::KeyUp, this, commit);
  connect(sliderZoom->trkSlider, &TexTrackBar::WheelTurned, this, commit);
  connect(sliderZoom, &TframeSlider::ButtonClicked, this, commit);
  connect(sliderBrightness, &TframeSlider::PositionChanged, this,
          [this] { RunGuarded([&] { sliderBrightnessChange(); }); });
  connect(sliderMapOverlay, &TframeSlider::PositionChanged, this,
          [this] { RunGuarded([&] { sliderMapOverlayChange(); }); });
  connect(chkLoadPaperMap, &QCheckBox::toggled, this,
          [this] { RunGuarded([&] { chkLoadPaperMapClick(); }); });

  connect(imgMain, &TMainImage::MouseDown, this,
          [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
            RunGuarded([&] { imgMainMouseDown(b, m, x, y); });
          });
  connect(imgMain, &TMainImage::MouseMove, this,
          [this](Qt::MouseButtons b, Qt::KeyboardModifiers m, int x, int y) {
            RunGuarded([&] { imgMainMouseMove(b, m, x, y); });
          });
  connect(imgMain, &TMainImage::MouseUp, this,
          [this](Qt::MouseButton b, Qt::KeyboardModifiers m, int x, int y) {
            RunGuarded([&] { imgMainMouseUp(b, m, x, y); });
          });
  connect(imgMain, &TMainImage::MouseWheel, this,
          [this](int delta, int x, int y) { RunGuarded([&] { imgMainMouseWheel(delta, x, y); }); });

  sizeMoveTimer_.setSingleShot(true);
  sizeMoveTimer_.setInterval(kSizeMovePauseMs);
  connect(&sizeMoveTimer_, &QTimer::timeout, this,
          [this] { RunGuarded([&] { OnExitSizeMove(); }); });
  // Tiles that arrived during a wait for the network are shown within a frame.
  frameTimer_.setSingleShot(true);
  frameTimer_.setTimerType(Qt::PreciseTimer);
  connect(&frameTimer_, &QTimer::timeout, this, [this] { RunGuarded([&] { ShowFrame(); }); });

  // The idle handler: whenever the event queue has run empty.
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    idleConnection_ = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
      if (idleTrimQueued_ || busy_ || !TileServiceStarted() || !CacheOverLimit()) return;
      idleTrimQueued_ = true;
      QMetaObject::invokeMethod(
          this, [this] { RunGuarded([&] { IdleTrim(); }); }, Qt::QueuedConnection);
    });
  }
}

void TfrmMain::IdleTrim() {
  idleTrimQueued_ = false;
  // Never during a download: neither a view update nor an output dialog's.
  if (busy_ || QApplication::activeModalWidget() != nullptr) return;
  if (!TileServiceStarted() || !CacheOverLimit()) return;
  const TScopedHourglass hourglass;
  TrimTileCache();
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (splashShown_) return;
  splashShown_ = true;
  RunGuarded([&] {
    viewSize_ = imgMain->size();
    UpdateControls();
    Panel1->setFocus();
    ShowSplash();
  });
  if (preferences_.OpenWhereLeftOff) {
    // Once the window is on screen, as a load from the user would be.
    QMetaObject::invokeMethod(
        this, [this] { RunGuarded([&] { RestoreLastView(); }); }, Qt::QueuedConnection);
  }
}

void TfrmMain::RestoreLastView() {
  const std::string entry = ReadLastView();
  if (entry.empty() || loaded_ || busy_ || closing_) return;
  THistoryEntry view;
  try {
    view = ParseHistoryString(entry, DecimalSeparator());
  } catch (const EQuorvilError&) {
    return;  // a last view that cannot be read leaves the welcome screen as it is
  }
  SetCenter(view.Longitude, view.Latitude);
  SetZoomLevel(view.ZoomLevel);
  LoadPlace();
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && rulerShown_) {
    ClearRuler();
    return;
  }
  // Arrow keys that no control took (the sliders take them) pan the view.
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    bool handled = false;
    RunGuarded([&] { handled = ArrowKeyPan(event->key()); });
    if (handled) return;
  }
  // + and - (with Ctrl too) zoom a level about the view's centre.
  const Qt::KeyboardModifiers zoomMods =
      event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
  const int key = event->key();
  const bool zoomIn = key == Qt::Key_Plus || key == Qt::Key_Equal;
  if ((zoomIn || key == Qt::Key_Minus) &&
      (zoomMods == Qt::NoModifier || zoomMods == Qt::ControlModifier)) {
    RunGuarded([&] {
      const int level =
          std::clamp(ZoomLevel() + (zoomIn ? -1 : 1), int{kMinZoomLevel}, int{kMaxZoomLevel});
      if (!busy_ && loaded_ && !mousePressed_ && level != ZoomLevel()) {
        ZoomAbout(level, imgMain->width() / 2, imgMain->height() / 2);
      }
    });
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  RunGuarded([&] {
    const bool maximized = isMaximized();
    if (maximized != lastMaximized_) {
      lastMaximized_ = maximized;
      sizeMoveTimer_.stop();
      if (maximized) {
        OnMaximized();
      } else {
        OnRestored();
      }
      return;
    }
    // Part of a drag of the frame: its start is the size before the first of its events.
    if (!sizeMoveTimer_.isActive() && loaded_) sizeMoveStartSize_ = event->oldSize();
    sizeMoveTimer_.start();
  });
}

void TfrmMain::OnMaximized() {
  if (busy_ || !loaded_ || closing_) return;
  wasMaximized_ = true;
  // Posted, so that the relayout runs once the maximized window has its final size.
  QMetaObject::invokeMethod(
      this,
      [this] {
        RunGuarded([&] {
          if (!busy_ && !closing_) RelayoutView();
        });
      },
      Qt::QueuedConnection);
}

void TfrmMain::OnRestored() {
  if (!wasMaximized_ || busy_ || !loaded_ || closing_) return;
  wasMaximized_ = false;
  RelayoutView();
}

void TfrmMain::OnExitSizeMove() {
  if (busy_ || !loaded_ || closing_ || size() == sizeMoveStartSize_) return;
  RelayoutView();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // The running update ends first: it stops after the tile in progress, and the
    // close follows from EndBusy.
    closeWhenIdle_ = true;
    stopRequested_ = true;
    AbortServiceTransfers();
    event->ignore();
    return;
  }
  closing_ = true;
  CloseHelp();
  QMainWindow::closeEvent(event);
}

TfrmMain::~TfrmMain() {
  QObject::disconnect(idleConnection_);
  sizeMoveTimer_.stop();
  selectBox_.reset();
  imgMain->ShowDirect(nullptr);
  layers_ = TViewLayers();
  splashBitmap_ = TBitmap24();
  history_.clear();
  photoArea_.reset();
  topoArea_.reset();
  FinalizeTileService();
}

}  // namespace quorvil
