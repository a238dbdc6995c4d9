// The main window against a service double: start-up, loading, zoom, Back, Refresh and
// the error paths.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>

#include "imagery/MosaicSupport.h"
#include "imagery/ZoomLevels.h"
#include "places/HistorySupport.h"
#include "support/QtTestSupport.h"
#include "ui/MainWindowFixture.h"
#include "ui/main/MapScaleFrame.h"
#include "ui/main/SliderFrame.h"
#include "ui/main/exTrackBar.h"

namespace quorvil::testing {
namespace {

std::vector<std::string> MenuTexts(const QMenu* menu) {
  std::vector<std::string> texts;
  for (const QAction* item : menu->actions()) {
    texts.push_back(item->isSeparator() ? "-" : item->text().toStdString());
  }
  return texts;
}

TEST_F(MainWindowTest, StartsWithTheWelcomeTextTheSplashAndOnlyTheDialogCommands) {
  EXPECT_EQ(window->windowTitle(), "Quorvil");
  EXPECT_TRUE(window->pnlGeneralInfo->isVisible());
  EXPECT_FALSE(window->pnlStats->isVisible());
  EXPECT_EQ(window->pnlGeneralInfo->geometry(), window->pnlStats->geometry());
  EXPECT_EQ(window->memInfo->toPlainText().toStdString(),
            "Welcome to Quorvil!\n\nBegin by clicking \"Search For Place\" in the toolbar.  You "
            "may also access the Navigate or Favorites menu.  Press F1 or access the Help menu "
            "for more information.");
  EXPECT_EQ(window->sliderZoom->lblCaption->text(), "Zoom (64 Meters)");
  EXPECT_EQ(window->sliderZoom->lblCaption->toolTip(), "Current Zoom: 1 Pixel = 64 Meters");
  EXPECT_EQ(window->ZoomLevel(), 16);
  EXPECT_EQ(window->sliderBrightness->Position(), 7);
  // Enter Coordinates offers the initial centre.
  EXPECT_EQ(window->CenterLongitude(), -74.06);
  EXPECT_EQ(window->CenterLatitude(), 40.7);
  for (QAction* off : {window->actSaveAs, window->actPrint, window->actCopy, window->actSelectAll,
                       window->actPan, window->actZoomBox, window->actSelect, window->actBack,
                       window->actRefreshScreen, window->actStop, window->actAddToFavorites}) {
    EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
  }
  for (QAction* on : {window->actSearchForPlace, window->actEnterCoordinates, window->actAbout,
                      window->actOrganizeFavorites, window->actHelp, window->actPreferences,
                      window->miExit, window->miFavoritesStart}) {
    EXPECT_TRUE(on->isEnabled()) << on->objectName().toStdString();
  }
  for (TframeSlider* slider :
       {window->sliderZoom, window->sliderBrightness, window->sliderMapOverlay}) {
    EXPECT_FALSE(slider->trkSlider->isEnabled());
  }
  EXPECT_FALSE(window->chkLoadPaperMap->isEnabled());
  EXPECT_TRUE(window->actPan->isChecked());
  // Nothing is fetched; the view shows the splash picture in its middle.
  EXPECT_TRUE(service->calls.empty());
  const TBitmap24& screen = window->ScreenBitmap();
  EXPECT_EQ(screen.Width(), window->pnlMapClient->width());
  EXPECT_TRUE(IsBlack(screen, 0, 0));
  EXPECT_FALSE(IsBlack(screen, screen.Width() / 2, screen.Height() / 2));
  // F5 before anything is loaded does nothing.
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_TRUE(service->calls.empty());
  // The disabled controls of the left column show greyed.
  for (const auto role : {QPalette::WindowText, QPalette::ButtonText}) {
    const QPalette& look = window->sliderZoom->lblCaption->palette();
    EXPECT_NE(look.color(QPalette::Disabled, role), look.color(QPalette::Active, role));
  }
  // The window shrinks no further than the whole left column beside a usable view.
  window->resize(100, 100);
  ASSERT_TRUE(WaitUntil([&] { return window->height() < 480; }));
  EXPECT_GE(window->Panel1->height(), window->sliderMapOverlay->geometry().bottom() + 1);
  EXPECT_GE(window->pnlMapClient->width(), 240);
  EXPECT_GE(window->pnlMapClient->height(), 180);
}

TEST_F(MainWindowTest, MenusToolbarAndCommandsAreAsDesigned) {
  const QList<QMenu*> menus = window->menuBar()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
  std::vector<std::vector<std::string>> expected = {
      {"Save As...", "Print...", "-", "Exit"},
      {"Copy", "Select All", "-", "Preferences"},
      {"Pan", "Zoom Box", "Select", "Measure"},
      {"Search For Place", "Enter Coordinates", "-", "Back", "Forward", "Refresh", "Reload",
       "Stop"},
      {"Add to Favorites...", "Organize Favorites...", "-", "NJ: Ellis Island",
       "NJ: Giants Stadium", "NJ: Newark International Airport", "NJ: Statue Of Liberty",
       "NY: Central Park", "NY: Yankee Stadium"},
      {"Help", "-", "About..."}};
  const std::vector<std::string> titles = {"File",     "Edit",      "Tools",
                                           "Navigate", "Favorites", "Help"};
  const QList<QAction*> bar = window->menuBar()->actions();
  ASSERT_EQ(bar.size(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(bar[i]->text().toStdString(), titles[i]);
    EXPECT_EQ(MenuTexts(bar[i]->menu()), expected[i]) << titles[i];
  }
  EXPECT_EQ(window->miFavorites->actions()[2], window->miFavoritesStart);

  const struct {
    QAction* Action;
    const char* Category;
    QKeySequence Shortcut;
  } commands[] = {
      {window->actSaveAs, "File", {}},
      {window->actPrint, "File", {}},
      {window->actCopy, "Edit", QKeySequence("Ctrl+C")},
      {window->actSelectAll, "Edit", QKeySequence("Ctrl+A")},
      {window->actPreferences, "Edit", {}},
      {window->actPan, "Tools", {}},
      {window->actZoomBox, "Tools", {}},
      {window->actSelect, "Tools", {}},
      {window->actMeasure, "Tools", {}},
      {window->actSearchForPlace, "Navigate", QKeySequence("F3")},
      {window->actEnterCoordinates, "Navigate", {}},
      {window->actBack, "Navigate", QKeySequence("Alt+Left")},
      {window->actForward, "Navigate", QKeySequence("Alt+Right")},
      {window->actRefreshScreen, "Navigate", QKeySequence("F5")},
      {window->actReload, "Navigate", QKeySequence("Ctrl+F5")},
      {window->actStop, "Navigate", QKeySequence("Esc")},
      {window->actAddToFavorites, "Favorites", {}},
      {window->actOrganizeFavorites, "Favorites", {}},
      {window->actHelp, "Help", QKeySequence("F1")},
      {window->actAbout, "Help", {}},
  };
  for (const auto& c : commands) {
    EXPECT_EQ(c.Action->property("category").toString(), c.Category)
        << c.Action->objectName().toStdString();
    EXPECT_EQ(c.Action->shortcut(), c.Shortcut) << c.Action->objectName().toStdString();
  }
  for (QAction* pictured : {window->actSearchForPlace, window->actStop, window->actRefreshScreen,
                            window->actBack, window->actPan, window->actZoomBox, window->actSelect,
                            window->actForward, window->actMeasure}) {
    EXPECT_FALSE(pictured->icon().isNull()) << pictured->objectName().toStdString();
  }
  EXPECT_EQ(window->actZoomBox->toolTip(), "Zoom Box");

  // The toolbar: four commands with pictures and captions, then the tools without.
  std::vector<std::string> captions;
  for (QAction* item : window->toolbarMain->actions()) {
    if (item->isSeparator()) continue;
    auto* button = qobject_cast<QToolButton*>(window->toolbarMain->widgetForAction(item));
    ASSERT_NE(button, nullptr);
    captions.push_back(button->toolButtonStyle() == Qt::ToolButtonIconOnly
                           ? "[" + item->text().toStdString() + "]"
                           : button->text().toStdString());
  }
  EXPECT_EQ(captions,
            (std::vector<std::string>{"&Back", "&Forward", "&Search For Place", "&Refresh", "S&top",
                                      "[Pan]", "[Zoom Box]", "[Select]", "[Measure]"}));
  EXPECT_EQ(MenuTexts(window->pmnuView),
            (std::vector<std::string>{"Copy Coordinates", "Center Here"}));
}

TEST_F(MainWindowTest, ALoadShowsThePlaceItsCoordinatesScaleAndImagery) {
  Load();
  const auto requests = service->AreaRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].theme, Theme::Photo);
  EXPECT_EQ(requests[0].scale, Scale::Scale64m);
  EXPECT_EQ(requests[0].width, W());
  EXPECT_EQ(requests[0].height, H());
  EXPECT_EQ(requests[1].theme, Theme::Topo);
  EXPECT_EQ(requests[1].width, W());
  EXPECT_EQ(window->ViewSize(), QSize(W(), H()));
  EXPECT_TRUE(window->pnlStats->isVisible());
  EXPECT_FALSE(window->pnlGeneralInfo->isVisible());
  EXPECT_EQ(window->memPlace->toPlainText(), "Somewhere, NY");
  // The view centre shows the centre itself; the default units are English.
  EXPECT_EQ(window->edtLongitude->text(), "-74.06");
  EXPECT_EQ(window->edtLatitude->text(), "40.7");
  EXPECT_EQ(window->frameMapScale1->lblCaption->text(), "5 Miles:");
  EXPECT_NEAR(window->LongitudePerPixel(), kGridPixelDegrees, 1e-15);
  ASSERT_EQ(window->History().size(), 1u);
  EXPECT_EQ(window->History()[0],
            BuildHistoryString("Somewhere, NY", 16, -74.06, 40.7,
                               QLocale::system().decimalPoint().toStdString()));
  // Every tile was drawn, and the screen shows the composite.
  const TBitmap24& photo = window->Layers().PhotoBitmap;
  EXPECT_EQ(photo, WholeDrawing(photo, *window->PhotoArea()));
  EXPECT_FALSE(IsBlack(photo, W() - 1, H() - 1));
  EXPECT_EQ(window->ScreenBitmap(), window->Layers().CompositeBitmap);
  // Only the tool and view commands wait for a second place.
  EXPECT_FALSE(window->actBack->isEnabled());
  EXPECT_FALSE(window->actCopy->isEnabled());
  EXPECT_TRUE(window->actRefreshScreen->isEnabled());
  EXPECT_TRUE(window->sliderZoom->trkSlider->isEnabled());
  EXPECT_FALSE(window->sliderMapOverlay->trkSlider->isEnabled());
  EXPECT_FALSE(window->actStop->isEnabled());
}

TEST_F(MainWindowTest, TheFinestLevelAsksForTheTopographicMapAtTwoMetresAndHalfTheSize) {
  window->SetZoomLevel(10);
  EXPECT_EQ(window->sliderZoom->lblCaption->text(), "Zoom (1 Meter)");
  Load();
  const auto requests = service->AreaRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].scale, Scale::Scale1m);
  EXPECT_EQ(requests[1].scale, Scale::Scale2m);
  EXPECT_EQ(requests[1].width, W() / 2);
  EXPECT_EQ(requests[1].height, H() / 2);
  EXPECT_EQ(window->Layers().TopoBitmap.Width(), W() / 2);
  EXPECT_TRUE(window->Layers().SmoothStretch()) << "the smooth paper map is on by default";
  EXPECT_EQ(window->frameMapScale1->lblCaption->text(), "200 Feet:");
}

TEST_F(MainWindowTest, ZoomCommitsLoadOnlyWhenThePositionChanged) {
  Load();
  // The first commit after start-up loads even where the slider already is.
  QTest::mouseRelease(window->sliderZoom->trkSlider, Qt::LeftButton);
  EXPECT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->CommittedZoomPosition(), 10);
  QTest::mouseRelease(window->sliderZoom->trkSlider, Qt::LeftButton);
  EXPECT_EQ(window->History().size(), 2u);
  // Zoom Out at 64 metres changes nothing and loads nothing.
  QTest::mouseClick(window->sliderZoom->btnLess, Qt::LeftButton);
  EXPECT_EQ(window->ZoomLevel(), 16);
  EXPECT_EQ(window->History().size(), 2u);
  // Zoom In loads at once and keeps the centre.
  QTest::mouseClick(window->sliderZoom->btnMore, Qt::LeftButton);
  EXPECT_EQ(window->ZoomLevel(), 15);
  EXPECT_EQ(window->sliderZoom->lblCaption->text(), "Zoom (32 Meters)");
  ASSERT_EQ(window->History().size(), 3u);
  EXPECT_EQ(service->AreaRequests().back().scale, Scale::Scale32m);
  EXPECT_EQ(window->CenterLongitude(), -74.06);
  // A key moves the slider; its release commits.
  window->sliderZoom->trkSlider->setFocus();
  QTest::keyClick(window->sliderZoom->trkSlider, Qt::Key_Right);
  EXPECT_EQ(window->ZoomLevel(), 14);
  EXPECT_EQ(window->History().size(), 4u);
  // Every other way the position moves commits too: the caption, the scale asked for, the
  // history and the committed position agree on one level.
  TexTrackBar* track = window->sliderZoom->trkSlider;
  const struct {
    const char* Way;
    std::function<void()> Move;
  } kWays[] = {
      {"wheel",
       [&] {
         QWheelEvent wheel(QPointF(75, 10), track->mapToGlobal(QPointF(75, 10)), {}, {0, 120},
                           Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
         QApplication::sendEvent(track, &wheel);
       }},
      {"Page Down", [&] { QTest::keyClick(track, Qt::Key_PageDown); }},
      {"track click", [&] { QTest::mouseClick(track, Qt::LeftButton, {}, QPoint(4, 8)); }},
  };
  const std::string point = QLocale::system().decimalPoint().toStdString();
  for (const auto& way : kWays) {
    const std::size_t entries = window->History().size();
    way.Move();
    const auto level = static_cast<TZoomLevel>(window->ZoomLevel());
    ASSERT_EQ(window->History().size(), entries + 1) << way.Way;
    EXPECT_EQ(ParseHistoryString(window->History().back(), point).ZoomLevel, level) << way.Way;
    EXPECT_EQ(service->AreaRequests().rbegin()[1].scale, ScaleOfZoomLevel(level)) << way.Way;
  }
  // Zoom In at 1 metre changes nothing and loads nothing.
  window->SetZoomLevel(10);
  EXPECT_EQ(window->CommittedZoomPosition(), 16);
  const std::size_t before = window->History().size();
  QTest::mouseClick(window->sliderZoom->btnMore, Qt::LeftButton);
  EXPECT_EQ(window->ZoomLevel(), 10);
  EXPECT_EQ(window->History().size(), before);
}

TEST_F(MainWindowTest, BackWithTwoEntriesReturnsToTheFirstPlace) {
  Load(-74.06, 40.7);
  window->SetZoomLevel(13);
  window->SetCenter(-73.5, 41.25);
  window->LoadPlace();
  ASSERT_EQ(window->History().size(), 2u);
  EXPECT_TRUE(window->actBack->isEnabled());
  QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(window->CenterLongitude(), -74.06);
  EXPECT_EQ(window->CenterLatitude(), 40.7);
  EXPECT_EQ(window->ZoomLevel(), 16);
  EXPECT_EQ(window->History().size(), 1u);
  EXPECT_FALSE(window->actBack->isEnabled());
  // Forward after two Backs visits the places again, in turn; a new place ends Forward.
  window->SetZoomLevel(13);
  window->SetCenter(-73.5, 41.25);
  window->LoadPlace();
  window->SetCenter(-73.0, 41.5);
  window->LoadPlace();
  QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
  QTest::keyClick(window.get(), Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(window->Forward().size(), 2u);
  QTest::keyClick(window.get(), Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(window->CenterLongitude(), -73.5);
  EXPECT_EQ(window->ZoomLevel(), 13);
  window->actForward->trigger();
  EXPECT_EQ(window->CenterLongitude(), -73.0);
  EXPECT_FALSE(window->actForward->isEnabled());
  window->actBack->trigger();
  window->SetCenter(-72.0, 41.0);
  window->LoadPlace();
  EXPECT_TRUE(window->Forward().empty());
}

TEST_F(MainWindowTest, RefreshLoadsTheSamePlaceAgain) {
  Load();
  const int areas = service->Calls("GetAreaFromPt");
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_EQ(service->Calls("GetAreaFromPt"), areas + 2);
  ASSERT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->History()[0], window->History()[1]);
  // Reload asks the service again for every tile of the view, cached or not.
  const std::size_t tiles =
      AreaTileCount(*window->PhotoArea()) +
      (window->chkLoadPaperMap->isChecked() ? AreaTileCount(*window->TopoArea()) : 0);
  service->tileRequests.clear();
  QTest::keyClick(window.get(), Qt::Key_F5);
  EXPECT_TRUE(service->tileRequests.empty());
  QTest::keyClick(window.get(), Qt::Key_F5, Qt::ControlModifier);
  EXPECT_EQ(service->tileRequests.size(), tiles);
  EXPECT_EQ(window->History().size(), 4u);
}

TEST_F(MainWindowTest, OpensWhereTheUserLeftOffWhenAskedAndShowsTheChosenCoordinates) {
  Load(-73.5, 41.25);
  window->SetZoomLevel(13);
  window->LoadPlace();
  EXPECT_EQ(ReadLastView(), window->History().back());
  const auto reopen = [&] {
    window.reset();
    window = std::make_unique<TfrmMain>([this](const TPreferences&) { StartStore(); });
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  };
  reopen();  // off by default: the welcome text, nothing fetched
  QTest::qWait(50);
  EXPECT_FALSE(window->Loaded());
  TPreferences preferences = ReadPreferences();
  preferences.OpenWhereLeftOff = true;
  preferences.CoordinateFormat = TCoordinateFormat::cfUtm;
  WriteViewPreferences(preferences);
  reopen();
  ASSERT_TRUE(WaitUntil([&] { return window->Loaded(); }));
  EXPECT_EQ(window->CenterLongitude(), -73.5);
  EXPECT_EQ(window->CenterLatitude(), 41.25);
  EXPECT_EQ(window->ZoomLevel(), 13);
  EXPECT_EQ(window->lblLongitude->text() + window->lblLatitude->text(), "Easting:Northing:");
  EXPECT_EQ(window->edtLatitude->text().toStdString(),
            FormatCoordinateFields(-73.5, 41.25, TCoordinateFormat::cfUtm, ".").Second);
}

TEST_F(MainWindowTest, ADeclinedRetryEndsTheLoadQuietlyAndLeavesTheWindowUsable) {
  service->failures = 1;
  service->failureMessage = "Connection refused";
  window->SetCenter(-74.06, 40.7);
  window->actStop->setEnabled(true);  // whatever it was, the busy period's end decides
  RunGuarded([&] { window->LoadPlace(); });
  ASSERT_EQ(prompter->asked.size(), 1u);  // the retry prompt only, no error box
  EXPECT_EQ(prompter->asked[0].Title, "Warning");
  EXPECT_NE(prompter->asked[0].Text.find("\"Connection refused\""), std::string::npos);
  EXPECT_FALSE(window->Busy());
  EXPECT_FALSE(window->Loaded());
  EXPECT_TRUE(window->History().empty());
  EXPECT_EQ(window->PhotoArea(), nullptr);
  EXPECT_FALSE(window->actStop->isEnabled());
  EXPECT_TRUE(window->actSearchForPlace->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // Nothing to move: a pan of a view without an area does nothing.
  window->PanView(10, 10);
  EXPECT_TRUE(window->History().empty());
  Load();
  EXPECT_EQ(window->History().size(), 1u);
  // A second place whose area is declined leaves no trace of the first on the screen: a
  // black view with the new centre; Back returns to the first, the last view drawn.
  service->failures = 1;
  window->SetCenter(-73.5, 41.25);
  RunGuarded([&] { window->LoadPlace(); });
  EXPECT_TRUE(AllBlack(window->ScreenBitmap()));
  EXPECT_EQ(window->memPlace->toPlainText(), "");
  EXPECT_EQ(window->edtLongitude->text(), "-73.5");
  EXPECT_EQ(window->History().size(), 1u);
  window->actBack->trigger();
  EXPECT_EQ(window->CenterLongitude(), -74.06);
  EXPECT_EQ(window->History().size(), 1u);
}

TEST_F(MainWindowTest, ATileThatCannotBeFetchedIsShownOnceAfterTheOthersAndMissingOnesNoted) {
  SetTileRetryPause(std::chrono::milliseconds(1));
  Load();
  const TileId failing = *window->PhotoArea()->NorthWest->TileMeta->Id;
  const TileId missing = *window->PhotoArea()->SouthEast->TileMeta->Id;
  service->tileFailures = {{TileName(failing), 99}};
  service->missingTiles.push_back(missing);
  StartStore(false);  // an empty cache, so that the tiles are asked for again
  service->tileRequests.clear();
  window->actRefreshScreen->trigger();
  ASSERT_EQ(prompter->asked.size(), 1u);  // once, and nothing for the missing tile
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(prompter->asked[0].Title, "Quorvil");
  EXPECT_EQ(prompter->asked[0].Text, "Timeout.");
  const int tries = static_cast<int>(
      std::count(service->tileRequests.begin(), service->tileRequests.end(), TileName(failing)));
  EXPECT_EQ(tries, kTileAttempts);
  EXPECT_EQ(window->lblNoImagery->text(), kNoImageryText);
  EXPECT_FALSE(window->lblNoImagery->isHidden());
  // Every other tile is drawn; the failed and the missing one stay black.
  const TBitmap24& photo = window->Layers().PhotoBitmap;
  const auto black = [&](int x, int y) {
    const std::uint8_t* p = photo.Pixel(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
  };
  EXPECT_TRUE(black(0, 0));
  EXPECT_TRUE(black(photo.Width() - 1, photo.Height() - 1));
  EXPECT_FALSE(black(photo.Width() / 2, photo.Height() / 2));
  EXPECT_FALSE(window->Busy());
  EXPECT_TRUE(window->actRefreshScreen->isEnabled());
  service->missingTiles.clear();
  service->tileFailures.clear();
  Load();  // the next load clears the note
  EXPECT_TRUE(window->lblNoImagery->isHidden());
  SetTileRetryPause(kTileRetryPause);
}

TEST_F(MainWindowTest, TilesThatCannotBeKeptOnDiskAreSaidSoOnceAfterTheDrawing) {
  InitializeTileService(service, "", "", 1000000, 10);  // no folder: no home to keep them in
  Load();
  window->actRefreshScreen->trigger();
  QCoreApplication::processEvents();
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkWarning);
  EXPECT_EQ(prompter->asked[0].Text,
            "Tiles are not being kept: There is no home folder to keep the tile cache in");
}

TEST_F(MainWindowTest, AnAreaThatCannotBeRightForTheViewIsRefusedBeforeAnyTile) {
  service->alterArea = [](AreaBoundingBox& area) { area.SouthEast->TileMeta->Id->X += 3000; };
  window->SetCenter(-74.06, 40.7);
  RunGuarded([&] { window->LoadPlace(); });
  const auto pair = [](int a, int b) { return std::to_string(a) + " x " + std::to_string(b); };
  const int columns = (W() - 1) / 200 + 1, rows = (H() - 1) / 200 + 1;
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(prompter->asked[0].Text, "The map service's area cannot be used: it spans " +
                                         pair(columns + 3000, rows) + " tiles, but a picture of " +
                                         pair(W(), H()) + " pixels needs " + pair(columns, rows) +
                                         ".");
  EXPECT_EQ(service->TileCalls(), 0);
  EXPECT_FALSE(window->Loaded());
  EXPECT_EQ(window->PhotoArea(), nullptr);
  EXPECT_FALSE(window->Busy());
  service->alterArea = nullptr;
  Load();
  EXPECT_EQ(window->History().size(), 1u);
}

TEST_F(MainWindowTest, MetricPreferencesShowMetricDistancesAtOnceAndRestartTheStore) {
  Load();
  EXPECT_EQ(window->frameMapScale1->lblCaption->text(), "5 Miles:");
  int starts = 0;
  window.reset();
  window = std::make_unique<TfrmMain>([&](const TPreferences&) {
    ++starts;
    StartStore();
  });
  window->show();
  Load();
  // Cancel keeps everything as it was.
  OnNextModal([](QWidget* dialog) {
    dialog->findChild<QComboBox*>("cbMeasurementSystem")->setCurrentText("Metric");
    QTest::mouseClick(dialog->findChild<QPushButton*>("Button3"), Qt::LeftButton);
  });
  window->actPreferences->trigger();
  EXPECT_EQ(starts, 1);
  EXPECT_TRUE(window->Preferences().EnglishUnits);
  OnNextModal([](QWidget* dialog) {
    dialog->findChild<QComboBox*>("cbMeasurementSystem")->setCurrentText("Metric");
    QTest::mouseClick(dialog->findChild<QPushButton*>("Button2"), Qt::LeftButton);
  });
  window->actPreferences->trigger();
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(window->Preferences().EnglishUnits, false);
  EXPECT_EQ(window->frameMapScale1->lblCaption->text(), "5 Kilometers:");
  EXPECT_TRUE(TileServiceStarted());
}

TEST_F(MainWindowTest, ClosingDuringAnUpdateStopsItAndClosesAfterwards) {
  Load();
  const int before = service->TileCalls();
  service->onTile = [this, before](const TileId&, int n) {
    if (n == before + 1) {
      QMetaObject::invokeMethod(window.get(), &QWidget::close, Qt::QueuedConnection);
    }
  };
  // One connection: no tile is fetched ahead, so the close arrives while tiles remain.
  StartStore(false, 1);
  window->LoadPlace();
  EXPECT_TRUE(window->isVisible());  // the close waits for the end of the update
  // Stopped early: the last tile of the photograph was never drawn.
  EXPECT_TRUE(IsBlack(window->Layers().PhotoBitmap, W() - 1, H() - 1));
  EXPECT_TRUE(WaitUntil([&] { return !window->isVisible(); }));
  EXPECT_TRUE(window->Closing());
}

// ---- the frames -----------------------------------------------------------------------

TEST(SliderFrame, ButtonsStepByAPageWithinTheRangeAndReportRealChangesOnly) {
  TframeSlider slider;
  slider.Setup(0, 127, 8, 4, 0);
  int changes = 0, clicks = 0;
  QObject::connect(&slider, &TframeSlider::PositionChanged, [&] { ++changes; });
  QObject::connect(&slider, &TframeSlider::ButtonClicked, [&] { ++clicks; });
  QTest::mouseClick(slider.btnLess, Qt::LeftButton);
  EXPECT_EQ(slider.Position(), 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(slider.btnMore, Qt::LeftButton);
  EXPECT_EQ(slider.Position(), 8);
  slider.SetPosition(125);
  slider.btnMoreClick();
  EXPECT_EQ(slider.Position(), 127);
  EXPECT_EQ(changes, 3);
  slider.SetSliderEnabled(false);
  for (QWidget* part : std::initializer_list<QWidget*>{slider.trkSlider, slider.btnLess,
                                                       slider.btnMore, slider.lblCaption}) {
    EXPECT_FALSE(part->isEnabled());
  }
  EXPECT_EQ(slider.size(), QSize(156, 58));
}

TEST(MapScaleFrame, RedrawsOnlyWhenAValueChanges) {
  TframeMapScale scale;
  const int created = scale.UpdateCount();
  scale.SetScaleUnitOfMeasure(TScaleUnitOfMeasure::suKilometers);
  scale.SetUnitsPerPixel(1.0);
  EXPECT_EQ(scale.UpdateCount(), created);
  scale.SetScaleUnitOfMeasure(TScaleUnitOfMeasure::suMiles);
  EXPECT_EQ(scale.lblCaption->text(), "100 Miles:");
  EXPECT_EQ(scale.shapeScale->width(), 100);
  scale.SetUnitsPerPixel(0.001);  // 1 metre a pixel, in kilometres... of the miles table
  scale.SetScaleUnitOfMeasure(TScaleUnitOfMeasure::suKilometers);
  EXPECT_EQ(scale.lblCaption->text(), "100 Meters:");
  EXPECT_EQ(scale.shapeScale->width(), 100);
  EXPECT_EQ(scale.UpdateCount(), created + 3);
  scale.SetUnitsPerPixel(1e-9);
  EXPECT_EQ(scale.lblCaption->text(), ":");
  EXPECT_EQ(scale.shapeScale->width(), 0);
}

}  // namespace
}  // namespace quorvil::testing
