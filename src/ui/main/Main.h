#pragma once

// The main window: it owns the view (centre, zoom level, the service's areas, the
// working pictures, the selection, the history) and runs every load, pan and relayout.
// Its implementation is split by concern:
//   Main.cpp            construction, layout, menus, toolbar, commands
//   MainView.cpp        view state and operations, busy protocol, zoom, Back, history
//   MainComposition.cpp the working pictures and what the screen shows
//   MainCommands.cpp    the command handlers
//   MainEvents.cpp      window events, start-up, idle work, closing
//   MainMouse.cpp       the mouse tools, the wheel and the arrow keys

#include <QMainWindow>
#include <QRegion>
#include <QSize>
#include <QTimer>
#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "imagery/ImageSupport.h"
#include "imagery/ZoomLevels.h"
#include "places/CoordinateText.h"
#include "platform/AppTypes.h"
#include "service/TerraServiceSoapSupport.h"
#include "settings/PreferencesSupport.h"
#include "ui/main/SelectBoxBitmap.h"
#include "ui/main/ViewLayers.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolBar;

namespace quorvil {

class TframeMapScale;
class TframeSlider;
class TMainImage;

enum class TMouseTool { toolPan = 1, toolZoomBox = 2, toolSelect = 3, toolMeasure = 4 };

// Starts the tile store for the preferences; the program's starts it on the service
// address with the program's cache folder, tests on a service double.
using TTileServiceStarter = std::function<void(const TPreferences&)>;
void StartProgramTileService(const TPreferences& preferences);

// The info panel's line under the scale while tiles of the view have no imagery.
inline constexpr const char* kNoImageryText = "No imagery for part of this view";

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(TTileServiceStarter startTileService = StartProgramTileService);
  ~TfrmMain() override;

  // ---- controls ----
  QToolBar* toolbarMain;
  QFrame* Panel1;
  QFrame* pnlStats;
  QPlainTextEdit* memPlace;
  QFrame* Shape1;
  QLabel* lblLongitude;
  QLineEdit* edtLongitude;
  QLabel* lblLatitude;
  QLineEdit* edtLatitude;
  TframeMapScale* frameMapScale1;
  QLabel* lblNoImagery;  // under the scale while part of the view has no imagery
  QFrame* pnlGeneralInfo;
  QPlainTextEdit* memInfo;
  TframeSlider* sliderZoom;
  TframeSlider* sliderBrightness;
  QCheckBox* chkLoadPaperMap;
  TframeSlider* sliderMapOverlay;
  QFrame* Panel3;
  QFrame* pnlMapClient;
  TMainImage* imgMain;

  // ---- commands ----
  QAction* actSaveAs;
  QAction* actPrint;
  QAction* actCopy;
  QAction* actSelectAll;
  QAction* actPreferences;
  QAction* actPan;
  QAction* actZoomBox;
  QAction* actSelect;
  QAction* actMeasure;
  QAction* actSearchForPlace;
  QAction* actEnterCoordinates;
  QAction* actBack;
  QAction* actForward;
  QAction* actRefreshScreen;
  QAction* actReload;
  QAction* actStop;
  QAction* actAddToFavorites;
  QAction* actOrganizeFavorites;
  QAction* actHelp;
  QAction* actAbout;
  QActionGroup* agTools;
  QAction* miExit;
  QMenu* miFavorites;
  QAction* miAddtoFavorites;
  QAction* miFavoritesStart;
  // The view's context menu, on a right click that does not move.
  QMenu* pmnuView;
  QAction* actCopyCoordinates;
  QAction* actCenterHere;

  // ---- view operations ----
  void LoadPlace();
  void PanView(int dx, int dy);
  void RelayoutView();
  int ZoomLevel() const;
  void SetZoomLevel(int level);
  void CommitZoom();
  void ShowCoordinatesAt(int x, int y);
  void UpdateControls();
  void SelectAll();
  void GoBack();
  // Whether Back has a view to go to.
  bool CanGoBack() const;
  void GoForward();
  bool CanGoForward() const { return !forward_.empty(); }
  // Draws the view again with every one of its tiles fetched anew.
  void ReloadView();
  void SetCenter(double longitude, double latitude);
  void ApplyPreferences();

  double PixelToLongitude(int x) const;
  double PixelToLatitude(int y) const;
  int LongitudeToPixel(double longitude) const;
  int LatitudeToPixel(double latitude) const;

  // ---- state, as the commands, the output and tests read it ----
  double CenterLongitude() const { return centerLongitude_; }
  double CenterLatitude() const { return centerLatitude_; }
  double LongitudePerPixel() const { return longitudePerPixel_; }
  double LatitudePerPixel() const { return latitudePerPixel_; }
  int CommittedZoomPosition() const { return committedZoomPosition_; }
  const AreaBoundingBox* PhotoArea() const { return photoArea_.get(); }
  const AreaBoundingBox* TopoArea() const { return topoArea_.get(); }
  const TViewLayers& Layers() const { return layers_; }
  const TBitmap24& ScreenBitmap() const;
  const TSelectionRec& Selection() const { return selection_; }
  const std::vector<std::string>& History() const { return history_; }
  const std::vector<std::string>& Forward() const { return forward_; }
  // The ruler's ends in view pixels while one is shown, and its ground line.
  bool RulerShown() const { return rulerShown_; }
  const TGroundLine& RulerLine() const { return rulerLine_; }
  QString RulerText() const;
  // Where the context menu was opened, in view pixels.
  QPoint ContextPoint() const { return contextPoint_; }
  TMouseTool SelectedTool() const { return selectedTool_; }
  TMouseTool ActiveTool() const { return activeTool_; }
  QSize ViewSize() const { return viewSize_; }
  bool Loaded() const { return loaded_; }
  bool Busy() const { return busy_; }
  bool StopRequested() const { return stopRequested_; }
  bool Closing() const { return closing_; }
  const TPreferences& Preferences() const { return preferences_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // Main.cpp
  void BuildControls();
  void BuildCommands();
  void BuildMenus();
  void BuildToolbar();
  QAction* NewAction(const char* name, const char* caption, const char* category);

  // MainView.cpp
  void BeginBusy();
  void EndBusy();
  template <class Step>
  void RunBusy(Step step);
  void FetchImagery(const TPixelArea& keptPhoto = {}, const TPixelArea& keptTopo = {});
  // `last`: no layer is drawn after this one, so its end shows the whole frame.
  bool DrawLayer(bool topo, const AreaBoundingBox& area, const TPixelArea& kept, bool last);
  void TakeDegreesPerPixel(const TileMeta* centreTile);
  void ReanchorCenter(double fallbackLongitude, double fallbackLatitude);
  void ShowPlaceText(const std::string& text);
  void ShowScale();
  bool HalfTopo() const { return ZoomLevel() == 10; }
  TViewGeometry Geometry() const;
  std::string DecimalSeparator() const;

  // MainComposition.cpp
  void ResizeBitmaps();
  void ClearMosaics();
  void ShiftMosaics(int dx, int dy);
  void PrepareLayers(const TPixelArea& area);
  void ComposeOverlay(const TPixelArea& area);
  void Recompose(const TPixelArea& area);
  void PaintView(int x, int y, bool duringPan);
  void PaintViewArea(const TPixelArea& area);
  // The changed view pixels inside `part` composed and painted now; ShowFrame: all of
  // them, which starts the next frame, and when `complete` the cleared pixels too.
  void ShowChanges(const QRegion& part);
  void ShowFrame(bool complete = false);
  // The view of the cleared mosaics shown, their composition left to the tiles' frames.
  void ShowCleared();
  void DrawSelectionOutline(int left, int top, int right, int bottom, bool intoComposite);
  void DrawZoomBoxOutline(int left, int top, int right, int bottom);
  void DrawViewSelection(int x, int y, TBitmap24& target);
  void ShowSplash();
  void sliderBrightnessChange();
  void sliderMapOverlayChange();
  void chkLoadPaperMapClick();

  // MainCommands.cpp
  void actSaveAsExecute();
  void actPrintExecute();
  void actCopyExecute();
  void actSelectAllExecute();
  void actPreferencesExecute();
  void actToolExecute(TMouseTool tool);
  void actSearchForPlaceExecute();
  void actEnterCoordinatesExecute();
  void actBackExecute();
  void actCopyCoordinatesExecute();
  void actCenterHereExecute();
  void LoadHistoryEntry(const std::string& entry);
  void RestoreLastView();
  void actRefreshScreenExecute();
  void actStopExecute();
  void actAddToFavoritesExecute();
  void actOrganizeFavoritesExecute();
  // The Favorites menu's favourite items, and what choosing one does.
  void LoadFavorites();
  void FavoriteClick(const std::string& name);
  void actHelpExecute();
  void actAboutExecute();
  void miExitClick();
  void PreferencesChanged();

  // MainEvents.cpp
  void ConnectEvents();
  void IdleTrim();
  void OnMaximized();
  void OnRestored();
  void OnExitSizeMove();

  // MainMouse.cpp
  void imgMainMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void imgMainMouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
  void imgMainMouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
  void imgMainMouseWheel(int angleDelta, int x, int y);
  // One level in or out about the pixel (x, y): the ground under it stays under it.
  void ZoomAbout(int level, int x, int y);
  void RubberBandStep(const QPoint& corner, bool selection);
  bool ArrowKeyPan(int key);
  void MeasureTo(int x, int y);
  void ClearRuler();

  TTileServiceStarter startTileService_;
  TPreferences preferences_;

  double centerLongitude_ = -74.06;
  double centerLatitude_ = 40.7;
  double longitudePerPixel_ = 0;
  double latitudePerPixel_ = 0;
  int committedZoomPosition_ = 0;
  std::unique_ptr<AreaBoundingBox> photoArea_;
  std::unique_ptr<AreaBoundingBox> topoArea_;
  TViewLayers layers_;
  TBitmap24 splashBitmap_;
  TSelectionRec selection_;
  std::vector<std::string> history_;
  std::vector<std::string> forward_;  // the views left by Back, the latest last
  bool navigating_ = false;           // a Back or Forward load: Forward is kept
  TMouseTool selectedTool_ = TMouseTool::toolPan;
  TMouseTool activeTool_ = TMouseTool::toolPan;
  std::unique_ptr<TSelectBoxBitmap> selectBox_;
  QSize viewSize_;
  QSize busyStartSize_;
  QSize sizeMoveStartSize_;
  bool loaded_ = false;
  bool busy_ = false;
  bool stopRequested_ = false;
  bool wasMaximized_ = false;
  bool closing_ = false;
  bool mousePressed_ = false;
  // The last history entry is the view on screen (false once a load has cleared the view
  // until its drawing is recorded).
  bool viewRecorded_ = false;

  // Beyond the view state proper: whether each raw picture holds every tile of its
  // area (a pan or a resize then draws only the tiles it uncovers), whether the
  // derived pictures must be worked out whole before the next partial update, and the
  // bookkeeping of the window events.
  bool photoComplete_ = false;
  bool topoComplete_ = false;
  std::exception_ptr tileFailure_;  // the first tile of this drawing that failed
  bool layersStale_ = true;
  // While tiles arrive the view is composed once a display frame: the view pixels
  // changed since the last frame, when it was, and the timer that shows them when no
  // tile follows in time. A pan press draws the selection into the composite.
  QRegion changed_;
  // Pixels of a cleared view that no tile has reached: shown in the one colour of the
  // cleared mosaics, their layers composed only by the frame that completes the view.
  QRegion cleared_;
  std::chrono::steady_clock::time_point lastFrame_;
  QTimer frameTimer_;
  bool compositeOutlined_ = false;
  bool closeWhenIdle_ = false;
  bool preferencesWhenIdle_ = false;
  bool lastMaximized_ = false;
  bool idleTrimQueued_ = false;
  bool splashShown_ = false;
  int activeCursor_ = 0;
  QTimer sizeMoveTimer_;
  QMetaObject::Connection idleConnection_;

  // The mouse tools: the press, the zoom box's or the selection's start and moving
  // corner, the button of the drag, and the wheel's turn not yet made into a step.
  QPoint panStart_;
  QPoint boxStart_;
  QPoint boxCorner_;
  Qt::MouseButton pressedButton_ = Qt::NoButton;
  int wheelTurn_ = 0;
  // The ruler: its start, whether it follows the pointer (after a click that began it)
  // and whether it is shown; and the pixel of the latest right press.
  QPoint rulerStart_;
  bool rulerFollowing_ = false;
  bool rulerShown_ = false;
  bool pressEndsRuler_ = false;  // the press ended a ruler that followed the pointer
  TGroundLine rulerLine_;
  QPoint contextPoint_;
  TSelectionRec pressSelection_;  // the selection before the press
};

// The zoom level of a zoom box of boxWidth x boxHeight pixels at the level: the finest
// level at which the box, enlarged, still fits the view; the level itself when none does.
int ZoomBoxLevel(int level, int boxWidth, int boxHeight, int viewWidth, int viewHeight);

// The busy period around a view operation; it ends also when the operation fails.
template <class Step>
void TfrmMain::RunBusy(Step step) {
  BeginBusy();
  try {
    step();
  } catch (...) {
    EndBusy();
    throw;
  }
  EndBusy();
}

// Runs a command or an event handler so that no error crosses the event loop: errors are
// shown by the general error display (nothing for the silent abort).
void RunGuarded(const std::function<void()>& work);

}  // namespace quorvil
