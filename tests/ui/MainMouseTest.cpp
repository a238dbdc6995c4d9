// The mouse tools, the wheel and the arrow keys on the main window's view.

#include <GeographicLib/Geodesic.hpp>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWheelEvent>
#include <cstring>

#include "platform/EventLoopWaiter.h"
#include "platform/WaitSupport.h"
#include "service/FormatSupport.h"
#include "support/QtTestSupport.h"
#include "ui/MainWindowFixture.h"
#include "ui/main/CursorSupport.h"
#include "ui/main/SliderFrame.h"

namespace quorvil::testing {
namespace {

class MainMouseTest : public MainWindowTest {
 protected:
  QWidget* View() const { return window->imgMain; }
  void Press(Qt::MouseButton button, QPoint at) { QTest::mousePress(View(), button, {}, at); }
  void Move(QPoint to) { QTest::mouseMove(View(), to); }
  void Release(Qt::MouseButton button, QPoint at) { QTest::mouseRelease(View(), button, {}, at); }
  void Drag(Qt::MouseButton button, QPoint from, QPoint to) {
    Press(button, from);
    Move((from + to) / 2);
    Move(to);
    Release(button, to);
  }
  bool ShowsCursor(int number) const {
    return window->imgMain->cursor().pixmap().cacheKey() ==
           CustomCursor(number).pixmap().cacheKey();
  }
};

TEST_F(MainMouseTest, NothingHappensBeforeTheFirstLoad) {
  Move({40, 40});
  Drag(Qt::LeftButton, {40, 40}, {90, 80});
  EXPECT_TRUE(window->edtLongitude->text().isEmpty());
  EXPECT_TRUE(service->calls.empty());
  EXPECT_EQ(window->ActiveTool(), TMouseTool::toolPan);
}

TEST_F(MainMouseTest, PointerMovesShowTheCoordinatesUnderThePointer) {
  Load();
  Move({10, 20});
  EXPECT_EQ(window->edtLongitude->text().toStdString(),
            FormatFloatDisplay(window->PixelToLongitude(10), "."));
  EXPECT_EQ(window->edtLatitude->text().toStdString(),
            FormatFloatDisplay(window->PixelToLatitude(20), "."));
}

TEST_F(MainMouseTest, APanDragShowsThePictureShiftedOverBlackAndPansOnRelease) {
  service->tilesExist = false;  // so that the centre moves by the pixels
  Load();
  window->actSelectAll->trigger();  // the selection rides along with the picture
  const TBitmap24 outlined = window->ScreenBitmap();
  Press(Qt::LeftButton, {100, 100});
  EXPECT_TRUE(ShowsCursor(crHand));
  Move({130, 90});
  const TBitmap24& screen = window->ScreenBitmap();
  const TBitmap24& composite = window->Layers().CompositeBitmap;
  // Shifted by (30, -10) over black.
  for (const QPoint at :
       {QPoint(0, 0), QPoint(5, 200), QPoint(40, H() - 1), QPoint(W() - 1, H() - 5)}) {
    EXPECT_TRUE(IsBlack(screen, at.x(), at.y())) << at.x() << "," << at.y();
  }
  for (const QPoint at :
       {QPoint(0, 10), QPoint(0, 40), QPoint(100, 100), QPoint(W() - 31, H() - 1)}) {
    EXPECT_EQ(
        std::memcmp(screen.Pixel(at.x() + 30, at.y() - 10), composite.Pixel(at.x(), at.y()), 3), 0)
        << at.x() << "," << at.y();
  }
  // The outline was drawn into the composite at the press: its left edge travels along.
  const int edge = window->LongitudeToPixel(window->Selection().West);
  for (int y = 10; y < 20; ++y) {
    EXPECT_EQ(std::memcmp(composite.Pixel(edge, y), outlined.Pixel(edge, y), 3), 0) << y;
    EXPECT_EQ(std::memcmp(screen.Pixel(edge + 30, y - 10), outlined.Pixel(edge, y), 3), 0) << y;
  }
  EXPECT_NE(
      std::memcmp(outlined.Pixel(edge, 12), window->Layers().BrightPhotoBitmap.Pixel(edge, 12), 3),
      0);
  const double lon = window->CenterLongitude(), step = window->LongitudePerPixel();
  Release(Qt::LeftButton, {130, 90});
  EXPECT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->CenterLongitude(), lon - 30 * step);
  EXPECT_TRUE(window->Selection().HasSelection);
  EXPECT_TRUE(ShowsCursor(crHand));
}

TEST_F(MainMouseTest, TheRightButtonSwapsPanAndZoomBoxForOneDrag) {
  Load();
  // Pan chosen: a right drag draws a zoom box with its cursor, and Pan comes back.
  Press(Qt::RightButton, {50, 50});
  EXPECT_EQ(window->ActiveTool(), TMouseTool::toolZoomBox);
  EXPECT_TRUE(ShowsCursor(crZoomBox));
  Move({150, 120});
  Release(Qt::RightButton, {150, 120});
  EXPECT_EQ(window->ActiveTool(), TMouseTool::toolPan);
  EXPECT_TRUE(ShowsCursor(crHand));
  EXPECT_EQ(window->History().size(), 2u);  // the box zoomed in and loaded
  EXPECT_LT(window->ZoomLevel(), 16);
  // Zoom Box chosen: a right drag pans.
  window->actZoomBox->trigger();
  EXPECT_TRUE(ShowsCursor(crZoomBox));
  const double lon = window->CenterLongitude();
  Drag(Qt::RightButton, {100, 100}, {60, 100});
  EXPECT_GT(window->CenterLongitude(), lon);
  EXPECT_EQ(window->History().size(), 3u);
  // The middle button acts as the chosen tool; Select selects with either button.
  Press(Qt::MiddleButton, {20, 20});
  EXPECT_EQ(window->ActiveTool(), TMouseTool::toolZoomBox);
  Release(Qt::MiddleButton, {20, 20});
  window->actSelect->trigger();
  Drag(Qt::RightButton, {20, 20}, {60, 70});
  EXPECT_TRUE(window->Selection().HasSelection);
  EXPECT_TRUE(ShowsCursor(crSelect));
}

TEST_F(MainMouseTest, AFlatZoomBoxOnlyRemovesItsBand) {
  Load();
  window->actZoomBox->trigger();
  Press(Qt::LeftButton, {50, 60});
  Move({150, 60});  // no height: a flat box
  EXPECT_FALSE(window->ScreenBitmap() == window->Layers().CompositeBitmap);
  Release(Qt::LeftButton, {150, 61});
  EXPECT_EQ(window->ScreenBitmap(), window->Layers().CompositeBitmap);
  EXPECT_EQ(window->History().size(), 1u);
  EXPECT_EQ(window->ZoomLevel(), 16);
}

TEST_F(MainMouseTest, AZoomBoxChoosesTheFinestLevelAtWhichItFillsTheView) {
  const struct {
    int Level;
    int Divisor;  // the box is the view's width and height divided by this, less a pixel
    int Expected;
  } cases[] = {{12, 4, 10}, {12, 2, 11}, {12, 1, 12}, {10, 4, 10}, {16, 3, 15}};
  for (const auto& c : cases) {
    EXPECT_EQ(ZoomBoxLevel(c.Level, W() / c.Divisor - 1, H() / c.Divisor - 1, W(), H()), c.Expected)
        << c.Level << " 1/" << c.Divisor;
  }
  // More than half the view in one direction keeps the level; a box that fits exactly
  // when enlarged takes the finer level.
  EXPECT_EQ(ZoomBoxLevel(12, W() / 2 + 1, 10, W(), H()), 12);
  EXPECT_EQ(ZoomBoxLevel(12, 100, 50, 400, 200), 10);
  EXPECT_EQ(ZoomBoxLevel(12, 101, 50, 400, 200), 11);
  EXPECT_EQ(ZoomBoxLevel(12, 100, 51, 400, 200), 11);
  // Through the mouse, a quarter box at level 12 zooms to level 10 about the box's middle.
  window->SetZoomLevel(12);
  Load();
  window->actZoomBox->trigger();
  const QPoint from(20, 30), to(20 + W() / 4, 30 + H() / 4);
  const double lon = window->PixelToLongitude(20 + W() / 8),
               lat = window->PixelToLatitude(30 + H() / 8);
  Drag(Qt::LeftButton, from, to);
  EXPECT_EQ(window->ZoomLevel(), 10);
  const auto requests = service->AreaRequests();
  EXPECT_EQ(requests[requests.size() - 2].scale, Scale::Scale1m);  // the level chosen loaded
  EXPECT_DOUBLE_EQ(window->CenterLongitude(), lon);
  EXPECT_DOUBLE_EQ(window->CenterLatitude(), lat);
  // At level 10 every box only recentres.
  Drag(Qt::LeftButton, {10, 10}, {30, 25});
  EXPECT_EQ(window->ZoomLevel(), 10);
}

TEST_F(MainMouseTest, ASelectionIsTheSameFromEitherDiagonalAndAClickRemovesIt) {
  Load();
  window->actSelect->trigger();
  Drag(Qt::LeftButton, {40, 30}, {140, 110});
  const TSelectionRec forward = window->Selection();
  EXPECT_TRUE(forward.HasSelection);
  EXPECT_LT(forward.West, forward.East);
  EXPECT_GT(forward.North, forward.South);
  EXPECT_TRUE(window->actCopy->isEnabled());
  Drag(Qt::LeftButton, {140, 110}, {40, 30});
  const TSelectionRec backward = window->Selection();
  EXPECT_EQ(backward.West, forward.West);
  EXPECT_EQ(backward.North, forward.North);
  EXPECT_EQ(backward.East, forward.East);
  EXPECT_EQ(backward.South, forward.South);
  // The outline drawn while dragging stays as the selection's outline.
  EXPECT_EQ(window->ScreenBitmap().Pixel(40, 30)[0], 255);
  QTest::mouseClick(View(), Qt::LeftButton, {}, {70, 70});
  EXPECT_FALSE(window->Selection().HasSelection);
  for (QAction* output : {window->actCopy, window->actSaveAs, window->actPrint}) {
    EXPECT_FALSE(output->isEnabled());
  }
  EXPECT_EQ(window->ScreenBitmap(), window->Layers().CompositeBitmap);
}

TEST_F(MainMouseTest, EachBandStepRestoresExactlyWhatWasUnderThePreviousBand) {
  Load();
  const TBitmap24 before = window->ScreenBitmap();
  for (QAction* tool : {window->actZoomBox, window->actSelect}) {
    tool->trigger();
    const bool zoomBox = tool == window->actZoomBox;
    Press(Qt::LeftButton, {60, 50});
    const QPoint pointer[] = {{200, 180}, {90, 70}, {10, 5}, {W() + 20, H() + 20}, {61, 200}};
    for (const QPoint& to : pointer) {
      Move(to);
      // The zoom box keeps the view's proportions: its height follows its width.
      const int k = std::abs((to.x() - 60) * H() / W());
      const QPoint corner(to.x(), zoomBox ? 50 + (to.y() > 50 ? k : to.y() < 50 ? -k : 0) : to.y());
      // Only the border of the present band differs from the picture before.
      const int left = std::min(60, corner.x()), right = std::max(60, corner.x());
      const int top = std::min(50, corner.y()), bottom = std::max(50, corner.y());
      const TBitmap24& screen = window->ScreenBitmap();
      for (int y = 0; y < H(); y += 3) {
        for (int x = 0; x < W(); ++x) {
          const bool border = x >= left && x <= right && y >= top && y <= bottom &&
                              (x == left || x == right || y == top || y == bottom);
          if (border) continue;
          ASSERT_EQ(std::memcmp(screen.Pixel(x, y), before.Pixel(x, y), 3), 0)
              << x << "," << y << " with the corner at " << corner.x() << "," << corner.y();
        }
      }
    }
    Release(Qt::LeftButton, {61, 200});  // too narrow: the band goes
    EXPECT_EQ(window->ScreenBitmap(), before);
  }
}

TEST_F(MainMouseTest, TheMouseIsIgnoredWhileAnUpdateRuns) {
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  Load();
  service->areaDelayMs = 800;
  bool busy = false;
  QTimer::singleShot(200, window.get(), [&] {
    busy = window->Busy();
    Drag(Qt::LeftButton, {40, 40}, {90, 80});
    window->actSelect->setEnabled(true);
    Drag(Qt::RightButton, {40, 40}, {90, 80});
    QWheelEvent wheel(QPointF(50, 50), View()->mapToGlobal(QPointF(50, 50)), {}, {0, 120},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(View(), &wheel);
    QTest::keyClick(window.get(), Qt::Key_Left);
  });
  window->LoadPlace();
  EXPECT_TRUE(busy);
  EXPECT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->ZoomLevel(), 16);
  EXPECT_FALSE(window->Selection().HasSelection);
}

TEST_F(MainMouseTest, TheWheelZoomsOneLevelAStepAndArrowKeysPanAQuarterView) {
  // The degrees per pixel then follow the level, as a real service's tiles do (the
  // double's tiles keep one size at every level).
  service->tilesExist = false;
  Load();
  auto wheel = [&](int delta) {
    QWheelEvent event(QPointF(50, 50), View()->mapToGlobal(QPointF(50, 50)), {}, {0, delta},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(View(), &event);
  };
  wheel(-120);  // out, at the end of the range: nothing
  EXPECT_EQ(window->History().size(), 1u);
  // The ground under the pointer stays under it, to the pixel.
  const double groundLon = window->PixelToLongitude(50), groundLat = window->PixelToLatitude(50);
  wheel(120);
  EXPECT_EQ(window->ZoomLevel(), 15);
  EXPECT_EQ(window->History().size(), 2u);
  EXPECT_NEAR(window->PixelToLongitude(50), groundLon, window->LongitudePerPixel());
  EXPECT_NEAR(window->PixelToLatitude(50), groundLat, window->LatitudePerPixel());
  wheel(60);  // half a step: not yet
  EXPECT_EQ(window->ZoomLevel(), 15);
  wheel(60);
  EXPECT_EQ(window->ZoomLevel(), 14);
  // + and - zoom about the centre.
  const double centreLon = window->CenterLongitude();
  QTest::keyClick(window.get(), Qt::Key_Minus, Qt::ControlModifier);
  EXPECT_EQ(window->ZoomLevel(), 15);
  QTest::keyClick(window.get(), Qt::Key_Plus);
  EXPECT_EQ(window->ZoomLevel(), 14);
  EXPECT_EQ(window->CenterLongitude(), centreLon);

  window->imgMain->setFocus();
  const double lon = window->CenterLongitude(), lat = window->CenterLatitude();
  QTest::keyClick(View(), Qt::Key_Left);
  EXPECT_EQ(window->CenterLongitude(), lon - (W() / 4) * window->LongitudePerPixel());
  QTest::keyClick(View(), Qt::Key_Down);
  EXPECT_EQ(window->CenterLatitude(), lat - (H() / 4) * window->LatitudePerPixel());
  EXPECT_EQ(window->History().size(), 7u);
}

TEST_F(MainMouseTest, TheRulerMeasuresTheGroundAndARightClickOffersTheContextMenu) {
  Load();
  window->actMeasure->trigger();
  Drag(Qt::LeftButton, {20, 30}, {200, 150});
  ASSERT_TRUE(window->RulerShown());
  double meters = 0, azimuth1 = 0, azimuth2 = 0;
  GeographicLib::Geodesic::WGS84().Inverse(
      window->PixelToLatitude(30), window->PixelToLongitude(20), window->PixelToLatitude(150),
      window->PixelToLongitude(200), meters, azimuth1, azimuth2);
  EXPECT_NEAR(window->RulerLine().Meters, meters, 1e-6);
  EXPECT_NEAR(window->RulerLine().Bearing, azimuth1, 1e-9);
  QTest::keyClick(window.get(), Qt::Key_Escape);
  EXPECT_FALSE(window->RulerShown());
  // A click begins a ruler that follows the pointer; the next click ends it.
  QTest::mouseClick(View(), Qt::LeftButton, {}, {10, 10});
  QTest::mouseClick(View(), Qt::LeftButton, {}, {60, 10});
  const double followed = window->RulerLine().Meters;
  EXPECT_GT(followed, 0);
  Move({120, 10});
  EXPECT_EQ(window->RulerLine().Meters, followed);

  // A right click without a move: the context menu, for the point clicked; with Measure
  // chosen it leaves the ruler alone.
  Drag(Qt::LeftButton, {20, 30}, {200, 150});
  const std::size_t views = window->History().size();
  QTest::mouseClick(View(), Qt::RightButton, {}, {30, 40});
  ASSERT_TRUE(WaitUntil([&] { return window->pmnuView->isVisible(); }));
  window->pmnuView->hide();
  EXPECT_EQ(window->History().size(), views);  // no pan, no load
  EXPECT_NEAR(window->RulerLine().Meters, meters, 1e-6);
  window->actCopyCoordinates->trigger();
  // Six decimals by default, latitude first.
  EXPECT_EQ(
      QGuiApplication::clipboard()->text(),
      QString::asprintf("%.6f, %.6f", window->PixelToLatitude(40), window->PixelToLongitude(30)));
  window->actSelect->trigger();  // with Select chosen, the click keeps the selection
  window->actSelectAll->trigger();
  QTest::mouseClick(View(), Qt::RightButton, {}, {30, 40});
  EXPECT_TRUE(window->Selection().HasSelection);
  window->pmnuView->hide();
  const double lon = window->PixelToLongitude(30), lat = window->PixelToLatitude(40);
  window->actCenterHere->trigger();
  EXPECT_EQ(window->CenterLongitude(), lon);
  EXPECT_EQ(window->CenterLatitude(), lat);
}

}  // namespace
}  // namespace quorvil::testing
