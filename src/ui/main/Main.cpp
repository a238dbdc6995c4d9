// The main window's construction: its controls and layout, commands, menus and toolbar,
// in the order the program starts.

#include "ui/main/Main.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

#include "imagery/ResourceSupport.h"
#include "places/FavoriteSupport.h"
#include "platform/ProgramError.h"
#include "platform/PromptSupport.h"
#include "ui/main/ActionImages.h"
#include "ui/main/CursorSupport.h"
#include "ui/main/MainImage.h"
#include "ui/main/MapScaleFrame.h"
#include "ui/main/SliderFrame.h"

namespace quorvil {

namespace {

const QColor kPanelColour(202, 214, 227);
const QColor kInfoColour(0, 64, 128);
const QColor kDisabledTextColour(128, 128, 128);
constexpr int kColumnMargin = 4;
const QSize kMinimumViewSize(240, 180);

const char* const kWelcomeText =
    "Welcome to Quorvil!\n"
    "\n"
    "Begin by clicking \"Search For Place\" in the toolbar.  You may also access the Navigate "
    "or Favorites menu.  Press F1 or access the Help menu for more information.";

void Paint(QWidget* widget, const QColor& background, const QColor& text = Qt::black) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, background);
  palette.setColor(QPalette::Base, background);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Text, text);
  widget->setPalette(palette);
}

QFrame* NewPanel(QWidget* parent, const char* name, bool lowered) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  if (lowered) {
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
  }
  return panel;
}

// A read-only text without a border, in the colours of its panel.
template <class Edit>
Edit* NewReadOnly(QWidget* parent, const char* name, const QColor& background) {
  auto* edit = new Edit(parent);
  edit->setObjectName(name);
  edit->setReadOnly(true);
  edit->setFrame(false);
  Paint(edit, background, Qt::white);
  return edit;
}

QPlainTextEdit* NewMemo(QWidget* parent, const char* name, const QColor& background) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setReadOnly(true);
  memo->setFrameStyle(QFrame::NoFrame);
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  memo->setFocusPolicy(Qt::NoFocus);
  Paint(memo, background, Qt::white);
  Paint(memo->viewport(), background, Qt::white);
  return memo;
}

QLabel* NewLabel(QWidget* parent, const char* name, const char* text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, Qt::white);
  label->setPalette(palette);
  label->move(x, y);
  return label;
}

}  // namespace

TfrmMain::TfrmMain(TTileServiceStarter startTileService)
    : startTileService_(std::move(startTileService)) {
  setObjectName("frmMain");
  setWindowTitle("Quorvil");
  setWindowIcon(ProgramIcon());
  // The left column is laid out to the pixel for a narrow 8-point face; the desktop's
  // face, condensed where it has a condensed cut, fits it best.
  QFont font = QApplication::font();
  font.setPointSize(8);
  font.setStretch(QFont::Condensed);
  setFont(font);

  // 1. The window and its controls.
  BuildControls();
  BuildCommands();
  BuildMenus();
  BuildToolbar();
  // 2. The idle handler and the window events.
  ConnectEvents();
  // 3. Size and place.
  resize(680, 480);
  if (const QScreen* display = QGuiApplication::primaryScreen()) {
    move(display->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  }
  // 4. Preferences: units of the scale bar, the tile store.
  ApplyPreferences();
  // 5. The view state (the members start with their initial values).
  sliderBrightness->SetPosition(7);
  viewSize_ = imgMain->size();
  wasMaximized_ = lastMaximized_ = isMaximized();
  // 6. The sample favourites on the first run, and the Favorites menu.
  CreateSampleFavorites(DecimalSeparator());
  LoadFavorites();
  // 7. The tools and the selection box.
  selectedTool_ = activeTool_ = TMouseTool::toolPan;
  selectBox_ = std::make_unique<TSelectBoxBitmap>();
  // 8. Cursors and the splash picture; a splash that cannot be read stops the start.
  LoadCustomCursors();
  LoadJpegFromResource(splashBitmap_, "JPG_SplashScreen");
  // 9. The welcome text takes the place of the statistics until a place is shown.
  pnlGeneralInfo->setGeometry(pnlStats->geometry());
  memInfo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  UpdateControls();
}

void TfrmMain::BuildControls() {
  auto* client = new QWidget(this);
  client->setObjectName("client");
  setCentralWidget(client);
  auto* columns = new QHBoxLayout(client);
  columns->setContentsMargins(0, 0, 0, 0);
  columns->setSpacing(0);

  Panel1 = NewPanel(client, "Panel1", false);
  Panel1->setFixedWidth(165);
  Panel1->setFocusPolicy(Qt::StrongFocus);
  Paint(Panel1, kPanelColour);
  {
    // Disabled controls of the column (captions, arrows, the check box) show greyed.
    QPalette palette = Panel1->palette();
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
      palette.setColor(QPalette::Disabled, role, kDisabledTextColour);
    }
    Panel1->setPalette(palette);
  }
  columns->addWidget(Panel1);

  pnlStats = NewPanel(Panel1, "pnlStats", true);
  pnlStats->setGeometry(6, 6, 152, 133);
  Paint(pnlStats, kInfoColour, Qt::white);
  memPlace = NewMemo(pnlStats, "memPlace", kInfoColour);
  memPlace->setGeometry(5, 3, 142, 44);
  Shape1 = new QFrame(pnlStats);
  Shape1->setObjectName("Shape1");
  Shape1->setGeometry(5, 49, 142, 1);
  Paint(Shape1, Qt::white);
  lblLongitude = NewLabel(pnlStats, "lblLongitude", "Longitude:", 5, 52);
  edtLongitude = NewReadOnly<QLineEdit>(pnlStats, "edtLongitude", kInfoColour);
  edtLongitude->setGeometry(62, 52, 85, 14);
  edtLongitude->setTextMargins(0, 0, 0, 0);
  lblLatitude = NewLabel(pnlStats, "lblLatitude", "Latitude:", 5, 69);
  edtLatitude = NewReadOnly<QLineEdit>(pnlStats, "edtLatitude", kInfoColour);
  edtLatitude->setGeometry(62, 69, 85, 18);
  edtLatitude->setTextMargins(0, 0, 0, 0);
  frameMapScale1 = new TframeMapScale(pnlStats);
  frameMapScale1->setObjectName("frameMapScale1");
  frameMapScale1->move(5, 87);
  lblNoImagery = NewLabel(pnlStats, "lblNoImagery", kNoImageryText, 5, 115);
  lblNoImagery->hide();

  pnlGeneralInfo = NewPanel(Panel1, "pnlGeneralInfo", true);
  Paint(pnlGeneralInfo, kInfoColour, Qt::white);
  memInfo = NewMemo(pnlGeneralInfo, "memInfo", kInfoColour);
  memInfo->setPlainText(kWelcomeText);
  auto* infoLayout = new QGridLayout(pnlGeneralInfo);
  infoLayout->setContentsMargins(2, 2, 2, 2);
  infoLayout->addWidget(memInfo);

  sliderZoom = new TframeSlider(Panel1);
  sliderZoom->setObjectName("sliderZoom");
  sliderZoom->move(3, 147);
  sliderZoom->Setup(10, 16, 1, 1, 10);
  sliderZoom->btnMore->setToolTip("Zoom In");
  sliderZoom->btnLess->setToolTip("Zoom Out");
  sliderBrightness = new TframeSlider(Panel1);
  sliderBrightness->setObjectName("sliderBrightness");
  sliderBrightness->move(3, 211);
  sliderBrightness->lblCaption->setText("Brightness");
  sliderBrightness->Setup(0, 14, 1, 1, 7);
  sliderBrightness->btnMore->setToolTip("Brighter");
  sliderBrightness->btnLess->setToolTip("Darker");
  chkLoadPaperMap = new QCheckBox("Load Paper Map", Panel1);
  chkLoadPaperMap->setObjectName("chkLoadPaperMap");
  chkLoadPaperMap->setGeometry(32, 291, std::max(101, chkLoadPaperMap->sizeHint().width()), 17);
  sliderMapOverlay = new TframeSlider(Panel1);
  sliderMapOverlay->setObjectName("sliderMapOverlay");
  sliderMapOverlay->move(3, 324);
  sliderMapOverlay->lblCaption->setText("Overlay Map");
  sliderMapOverlay->Setup(0, 127, 8, 4, 0);
  sliderMapOverlay->btnMore->setToolTip("More Map");
  sliderMapOverlay->btnLess->setToolTip("More Photo");

  Panel3 = NewPanel(client, "Panel3", false);
  Paint(Panel3, kPanelColour);
  columns->addWidget(Panel3, 1);
  auto* mapLayout = new QGridLayout(Panel3);
  // The map panel keeps its distance to all four sides as the window is sized.
  mapLayout->setContentsMargins(7, 5, 7, 7);
  pnlMapClient = NewPanel(Panel3, "pnlMapClient", true);
  Paint(pnlMapClient, Qt::black);
  mapLayout->addWidget(pnlMapClient);
  imgMain = new TMainImage(pnlMapClient);
  imgMain->setObjectName("imgMain");
  imgMain->move(1, 1);
  // The window shrinks no further than the whole left column beside a usable view.
  Panel1->setMinimumHeight(sliderMapOverlay->geometry().bottom() + 1 + kColumnMargin);
  pnlMapClient->setMinimumSize(kMinimumViewSize);
}

QAction* TfrmMain::NewAction(const char* name, const char* caption, const char* category) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  action->setProperty("category", category);
  action->setToolTip(QString(caption).remove('&'));
  addAction(action);
  return action;
}

void TfrmMain::BuildCommands() {
  actSaveAs = NewAction("actSaveAs", "Save As...", "File");
  actPrint = NewAction("actPrint", "Print...", "File");
  actCopy = NewAction("actCopy", "Copy", "Edit");
  actCopy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
  actSelectAll = NewAction("actSelectAll", "Select All", "Edit");
  actSelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  actPreferences = NewAction("actPreferences", "Preferences", "Edit");
  actPan = NewAction("actPan", "Pan", "Tools");
  actZoomBox = NewAction("actZoomBox", "Zoom Box", "Tools");
  actSelect = NewAction("actSelect", "Select", "Tools");
  actMeasure = NewAction("actMeasure", "Measure", "Tools");
  actSearchForPlace = NewAction("actSearchForPlace", "Search For Place", "Navigate");
  actSearchForPlace->setShortcut(QKeySequence(Qt::Key_F3));
  actEnterCoordinates = NewAction("actEnterCoordinates", "Enter Coordinates", "Navigate");
  actBack = NewAction("actBack", "Back", "Navigate");
  actBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  actForward = NewAction("actForward", "Forward", "Navigate");
  actForward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  actRefreshScreen = NewAction("actRefreshScreen", "Refresh", "Navigate");
  actRefreshScreen->setShortcut(QKeySequence(Qt::Key_F5));
  actReload = NewAction("actReload", "Reload", "Navigate");
  actReload->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
  actCopyCoordinates = NewAction("actCopyCoordinates", "Copy Coordinates", "View");
  actCenterHere = NewAction("actCenterHere", "Center Here", "View");
  actStop = NewAction("actStop", "Stop", "Navigate");
  actStop->setShortcut(QKeySequence(Qt::Key_Escape));
  actAddToFavorites = NewAction("actAddToFavorites", "Add to Favorites...", "Favorites");
  actOrganizeFavorites = NewAction("actOrganizeFavorites", "Organize Favorites...", "Favorites");
  actHelp = NewAction("actHelp", "Help", "Help");
  actHelp->setShortcut(QKeySequence(Qt::Key_F1));
  actAbout = NewAction("actAbout", "About...", "Help");

  const struct {
    QAction* Action;
    TActionImage Image;
  } kImages[] = {
      {actSearchForPlace, TActionImage::aiSearchForPlace},
      {actStop, TActionImage::aiStop},
      {actRefreshScreen, TActionImage::aiRefresh},
      {actBack, TActionImage::aiBack},
      {actPan, TActionImage::aiPan},
      {actZoomBox, TActionImage::aiZoomBox},
      {actSelect, TActionImage::aiSelect},
      {actForward, TActionImage::aiForward},
      {actMeasure, TActionImage::aiMeasure},
  };
  for (const auto& image : kImages) image.Action->setIcon(ActionImage(image.Image));

  agTools = new QActionGroup(this);
  agTools->setExclusive(true);
  for (QAction* tool : {actPan, actZoomBox, actSelect, actMeasure}) {
    tool->setCheckable(true);
    agTools->addAction(tool);
  }
  actPan->setChecked(true);
  // The toolbar's captions carry accelerator letters of their own.
  actBack->setIconText("&Back");
  actForward->setIconText("&Forward");
  actSearchForPlace->setIconText("&Search For Place");
  actRefreshScreen->setIconText("&Refresh");
  actStop->setIconText("S&top");
}

void TfrmMain::BuildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu("File");
  file->setObjectName("miFile");
  file->addActions({actSaveAs, actPrint});
  file->addSeparator();
  miExit = file->addAction("Exit");
  miExit->setObjectName("miExit");

  QMenu* edit = bar->addMenu("Edit");
  edit->setObjectName("miEdit");
  edit->addActions({actCopy, actSelectAll});
  edit->addSeparator();
  edit->addAction(actPreferences);

  QMenu* tools = bar->addMenu("Tools");
  tools->setObjectName("miTools");
  tools->addActions({actPan, actZoomBox, actSelect, actMeasure});

  QMenu* navigate = bar->addMenu("Navigate");
  navigate->setObjectName("miNavigate");
  navigate->addActions({actSearchForPlace, actEnterCoordinates});
  navigate->addSeparator();
  navigate->addActions({actBack, actForward, actRefreshScreen, actReload, actStop});

  // Favourite names are shown as they are: no accelerator letters are made up for them.
  miFavorites = bar->addMenu("Favorites");
  miFavorites->setObjectName("miFavorites");
  miAddtoFavorites = actAddToFavorites;
  miFavorites->addAction(miAddtoFavorites);
  miFavorites->addAction(actOrganizeFavorites);
  miFavoritesStart = miFavorites->addSeparator();
  miFavoritesStart->setObjectName("miFavoritesStart");

  QMenu* help = bar->addMenu("Help");
  help->setObjectName("miHelp");
  help->addAction(actHelp);
  help->addSeparator();
  help->addAction(actAbout);

  pmnuView = new QMenu(this);
  pmnuView->setObjectName("pmnuView");
  pmnuView->addActions({actCopyCoordinates, actCenterHere});
}

void TfrmMain::BuildToolbar() {
  toolbarMain = new QToolBar("Toolbar", this);
  toolbarMain->setObjectName("toolbarMain");
  toolbarMain->setMovable(false);
  toolbarMain->setFloatable(false);
  toolbarMain->setFixedHeight(27);
  toolbarMain->setIconSize(QSize(16, 16));
  toolbarMain->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toolbarMain->setContextMenuPolicy(Qt::PreventContextMenu);
  Paint(toolbarMain, kPanelColour);
  addToolBar(Qt::TopToolBarArea, toolbarMain);
  toolbarMain->addActions({actBack, actForward, actSearchForPlace, actRefreshScreen, actStop});
  toolbarMain->addSeparator();
  for (QAction* tool : {actPan, actZoomBox, actSelect, actMeasure}) {
    toolbarMain->addAction(tool);
    if (auto* button = qobject_cast<QToolButton*>(toolbarMain->widgetForAction(tool))) {
      button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
  }
}

void RunGuarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  } catch (...) {
    ShowGeneralError(EQuorvilError("An unexpected error occurred"));
  }
}

}  // namespace quorvil
