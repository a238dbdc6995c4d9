// The main window's pans, relayouts and Stop against a service double.

#include <QCheckBox>
#include <QPlainTextEdit>

#include "support/QtTestSupport.h"
#include "ui/MainWindowFixture.h"
#include "ui/main/AreaParts.h"
#include "ui/main/SliderFrame.h"

namespace quorvil::testing {
namespace {

// Tiles of the area that touch the picture's pixels outside the kept rectangle, counted
// over the picture: the ones a pan or a resize needs again.
int TilesTouching(const AreaBoundingBox& area, int width, int height, const QRect& kept) {
  const int xOffset = area.NorthWest->Offset->XOffset, yOffset = area.NorthWest->Offset->YOffset;
  int count = 0;
  for (int top = -yOffset; top < height; top += 200) {
    for (int left = -xOffset; left < width; left += 200) {
      const QRect tile = QRect(left, top, 200, 200) & QRect(0, 0, width, height);
      if (!kept.contains(tile)) ++count;
    }
  }
  return count;
}

// The ground under the view's centre pixel, from the tile grid of the double.
QPointF GridCentre(const AreaBoundingBox& area, int width, int height) {
  const TileId& nw = *area.NorthWest->TileMeta->Id;
  return {(nw.X * 200.0 + area.NorthWest->Offset->XOffset + width / 2) * kGridPixelDegrees,
          ((nw.Y + 1) * 200.0 - area.NorthWest->Offset->YOffset - height / 2) * kGridPixelDegrees};
}

TEST_F(MainWindowTest, APanOverGroundWithTilesAnchorsTheCentreOnTheCentreTile) {
  Load();
  window->PanView(130, -70);
  const AreaBoundingBox& area = *window->PhotoArea();
  const QPointF centre = GridCentre(area, W(), H());
  EXPECT_NEAR(window->CenterLongitude(), centre.x(), 1e-9);
  EXPECT_NEAR(window->CenterLatitude(), centre.y(), 1e-9);
  EXPECT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->memPlace->toPlainText().left(5), "near ");
  EXPECT_EQ(window->Layers().PhotoBitmap, WholeDrawing(window->Layers().PhotoBitmap, area));
}

TEST_F(MainWindowTest, APanOverGroundWithoutTilesMovesTheCentreByThePixels) {
  service->tilesExist = false;
  Load();
  const double lon = window->CenterLongitude(), lat = window->CenterLatitude();
  const double lonStep = window->LongitudePerPixel(), latStep = window->LatitudePerPixel();
  ASSERT_GT(lonStep, 0);
  window->PanView(25, 40);
  EXPECT_EQ(window->CenterLongitude(), lon - 25 * lonStep);
  EXPECT_EQ(window->CenterLatitude(), lat + 40 * latStep);
  EXPECT_EQ(window->LongitudePerPixel(), lonStep);
  // A click without a drag is a pan by nothing: recorded again.
  window->PanView(0, 0);
  EXPECT_EQ(window->History().size(), 3u);
  EXPECT_EQ(window->CenterLongitude(), lon - 25 * lonStep);
}

TEST_F(MainWindowTest, APanDrawsOnlyTheTilesItUncoversAndTheSamePixelsAsAWholeDrawing) {
  Load();
  window->chkLoadPaperMap->setChecked(true);
  StartStore(false);  // every tile the pan draws is a download that the double counts
  const int before = service->TileCalls();
  window->PanView(100, 50);
  const AreaBoundingBox& photo = *window->PhotoArea();
  const AreaBoundingBox& topo = *window->TopoArea();
  const QRect kept(100, 50, W(), H());
  EXPECT_EQ(service->TileCalls() - before,
            TilesTouching(photo, W(), H(), kept) + TilesTouching(topo, W(), H(), kept));
  EXPECT_EQ(window->Layers().PhotoBitmap, WholeDrawing(window->Layers().PhotoBitmap, photo));
  EXPECT_EQ(window->Layers().TopoBitmap, WholeDrawing(window->Layers().TopoBitmap, topo));
  EXPECT_EQ(window->ScreenBitmap(), window->Layers().CompositeBitmap);
}

TEST_F(MainWindowTest, GrowingTheWindowFetchesAndRecordsShrinkingItFetchesNothing) {
  Load();
  const QSize view = window->ViewSize();
  const double lon = window->CenterLongitude(), lat = window->CenterLatitude();
  window->resize(window->width() + 120, window->height() + 60);
  ASSERT_TRUE(WaitUntil([&] { return window->History().size() == 2; }));
  EXPECT_EQ(window->ViewSize(), view + QSize(120, 60));
  EXPECT_EQ(service->AreaRequests().size(), 2u);  // the areas were moved, not asked for
  // The ground under the kept pixels stays: the centre moved by the centre pixel's move.
  EXPECT_EQ(window->CenterLongitude(), lon + window->LongitudePerPixel() * 60);
  EXPECT_EQ(window->CenterLatitude(), lat - window->LatitudePerPixel() * 30);
  EXPECT_EQ(window->Layers().PhotoBitmap,
            WholeDrawing(window->Layers().PhotoBitmap, *window->PhotoArea()));
  const int tiles = service->Calls("GetTileMetaFromTileId");
  window->resize(window->width() - 200, window->height() - 100);
  ASSERT_TRUE(WaitUntil([&] { return window->ViewSize().width() == view.width() - 80; }));
  EXPECT_EQ(service->Calls("GetTileMetaFromTileId"), tiles);
  EXPECT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->Layers().PhotoBitmap.Width(), view.width() - 80);
}

TEST_F(MainWindowTest, MaximizingRelaysOutOnceAfterwardsRestoringAtOnce) {
  window->showMaximized();  // before the first place: nothing happens
  QTest::qWait(50);
  window->showNormal();
  QTest::qWait(400);
  EXPECT_TRUE(service->calls.empty());
  Load();
  // Laid out: the view fills its panel inside the bevel.
  const auto laidOut = [&] {
    return window->ViewSize() == window->pnlMapClient->size() - QSize(2, 2);
  };
  window->showMaximized();
  ASSERT_TRUE(WaitUntil([&] { return window->History().size() == 2; }));
  EXPECT_TRUE(laidOut());
  const QSize maximized = window->size();
  window->showNormal();
  ASSERT_TRUE(WaitUntil([&] { return window->size() != maximized; }));
  EXPECT_TRUE(laidOut());  // at once, not at the pause that ends a drag of the frame
  QTest::qWait(400);
  EXPECT_EQ(window->History().size(), 2u);  // smaller: nothing fetched, nothing recorded
}

TEST_F(MainWindowTest, StopEndsThePhotoAfterTheTileInProgressAndTheMapAfterItsFirstTile) {
  Load();
  window->chkLoadPaperMap->setChecked(true);
  StartStore(false);
  const int before = service->TileCalls();
  service->onTile = [this, before](const TileId&, int n) {
    if (n == before + 2) QMetaObject::invokeMethod(window->actStop, &QAction::trigger);
  };
  window->LoadPlace();
  EXPECT_TRUE(window->StopRequested());
  // Stop came while the second tile was on its way: the photograph ends with the tile in
  // progress then (downloads run ahead of the drawing, so that is the first, second or
  // third), the map after its first tile.
  const TViewLayers& layers = window->Layers();
  const AreaBoundingBox& photo = *window->PhotoArea();
  int photoTiles = 0;
  for (int i = 0; i < AreaTileCount(photo); ++i) {
    const TPixelArea at = AreaTileArea(photo, i);
    if (!IsBlack(layers.PhotoBitmap, std::max(at.X, 0), std::max(at.Y, 0))) ++photoTiles;
  }
  EXPECT_GE(photoTiles, 1);
  EXPECT_LE(photoTiles, 3);
  EXPECT_FALSE(IsBlack(layers.TopoBitmap, 0, 0));
  EXPECT_TRUE(IsBlack(layers.TopoBitmap, W() - 1, 0));
  EXPECT_EQ(window->History().size(), 3u);
  EXPECT_TRUE(window->Loaded());
  // The next drawing starts without the Stop: every tile of both pictures.
  service->onTile = nullptr;
  window->LoadPlace();
  EXPECT_FALSE(window->StopRequested());
  EXPECT_EQ(layers.PhotoBitmap, WholeDrawing(layers.PhotoBitmap, *window->PhotoArea()));
  EXPECT_EQ(layers.TopoBitmap, WholeDrawing(layers.TopoBitmap, *window->TopoArea()));
}

}  // namespace
}  // namespace quorvil::testing
