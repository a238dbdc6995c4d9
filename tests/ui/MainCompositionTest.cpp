// What the main window's screen shows: brightness, the paper map and its overlay.

#include <QCheckBox>
#include <cstring>

#include "support/QtTestSupport.h"
#include "ui/MainWindowFixture.h"
#include "ui/main/SliderFrame.h"
#include "ui/main/exTrackBar.h"

namespace quorvil::testing {
namespace {

TEST_F(MainWindowTest, TickingThePaperMapFetchesItAndBlendsItAtSixtyFive) {
  Load();
  window->sliderMapOverlay->SetSliderEnabled(true);
  window->sliderMapOverlay->SetPosition(20);
  window->chkLoadPaperMap->setChecked(true);
  EXPECT_EQ(window->sliderMapOverlay->Position(), 65);
  EXPECT_TRUE(window->sliderMapOverlay->trkSlider->isEnabled());
  ASSERT_EQ(window->History().size(), 2u);
  EXPECT_EQ(window->History()[0], window->History()[1]);
  const TViewLayers& layers = window->Layers();
  EXPECT_EQ(layers.TopoBitmap, WholeDrawing(layers.TopoBitmap, *window->TopoArea()));
  TBitmap24 expected = layers.BrightPhotoBitmap, map(W(), H());
  StretchBitmap(map, layers.TopoBitmap);
  BlendBitmapsSoftware(expected, map, 130, W(), H());
  EXPECT_EQ(layers.CompositeBitmap, expected);
  EXPECT_EQ(window->ScreenBitmap(), expected);

  const std::size_t areas = service->AreaRequests().size();
  const int tiles = service->TileCalls();
  window->chkLoadPaperMap->setChecked(false);
  EXPECT_EQ(window->sliderMapOverlay->Position(), 0);
  EXPECT_FALSE(window->sliderMapOverlay->trkSlider->isEnabled());
  EXPECT_EQ(layers.CompositeBitmap, layers.BrightPhotoBitmap);
  EXPECT_EQ(service->AreaRequests().size(), areas);
  EXPECT_EQ(service->TileCalls(), tiles);
  EXPECT_EQ(window->History().size(), 2u);
}

TEST_F(MainWindowTest, BrightnessAndOverlayAtTheirEnds) {
  Load();
  window->chkLoadPaperMap->setChecked(true);
  const TViewLayers& layers = window->Layers();
  const struct {
    int Brightness;
    int Overlay;
    int Add;
    int Opacity;
  } cases[] = {{0, 0, -127, 0}, {14, 0, 111, 0}, {7, 127, -8, 255}, {14, 126, 111, 252}};
  for (const auto& c : cases) {
    window->sliderBrightness->SetPosition(c.Brightness);
    window->sliderMapOverlay->SetPosition(c.Overlay);
    for (const QPoint at : {QPoint(0, 0), QPoint(W() - 1, H() - 1), QPoint(W() / 2, 17)}) {
      for (int byte = 0; byte < 3; ++byte) {
        const int photo =
            std::clamp(layers.PhotoBitmap.Pixel(at.x(), at.y())[byte] + c.Add, 0, 255);
        const int topo = layers.TopoView().Pixel(at.x(), at.y())[byte];
        const int expected = (c.Opacity * topo + (255 - c.Opacity) * photo) / 255;
        ASSERT_EQ(window->ScreenBitmap().Pixel(at.x(), at.y())[byte], expected)
            << c.Brightness << "/" << c.Overlay;
      }
    }
  }
}

TEST_F(MainWindowTest, SelectAllOutlinesTheWholeViewAndEnablesTheOutputCommands) {
  Load();
  window->actSelectAll->trigger();
  const TSelectionRec& s = window->Selection();
  EXPECT_TRUE(s.HasSelection);
  EXPECT_EQ(s.West, window->PixelToLongitude(0));
  EXPECT_EQ(s.North, window->PixelToLatitude(0));
  EXPECT_EQ(s.East, window->PixelToLongitude(W()));
  EXPECT_EQ(s.South, window->PixelToLatitude(H()));
  for (QAction* output : {window->actCopy, window->actSaveAs, window->actPrint}) {
    EXPECT_TRUE(output->isEnabled());
  }
  // The outline: cyan first on the top row, the composite elsewhere.
  const TBitmap24& screen = window->ScreenBitmap();
  EXPECT_EQ(screen.Pixel(0, 0)[0], 255);
  EXPECT_EQ(screen.Pixel(0, 0)[1], 255);
  EXPECT_EQ(screen.Pixel(0, 0)[2], 0);
  EXPECT_EQ(screen.Pixel(5, 5)[0], window->Layers().CompositeBitmap.Pixel(5, 5)[0]);
  // All four edges inside the view: the last column and the last row are outlined too.
  const auto outlined = [&](int x, int y) {
    return std::memcmp(screen.Pixel(x, y), window->Layers().CompositeBitmap.Pixel(x, y), 3) != 0;
  };
  int right = 0, bottom = 0;
  for (int y = 0; y < H(); ++y) right += outlined(W() - 1, y);
  for (int x = 0; x < W(); ++x) bottom += outlined(x, H() - 1);
  EXPECT_GT(right, H() / 2);
  EXPECT_GT(bottom, W() / 2);
  // The selection stays on its ground when the view pans.
  window->PanView(10, 0);
  EXPECT_EQ(window->Selection().West, s.West);
}

}  // namespace
}  // namespace quorvil::testing
