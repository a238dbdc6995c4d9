#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "imagery/ImageSupport.h"
#include "support/TestPictures.h"
#include "ui/main/ViewLayers.h"

namespace quorvil {
namespace {

using quorvil::testing::Pattern;

TEST(ViewLayers, SliderPositionsGiveTheBrightnessLevelAndTheOpacity) {
  const struct {
    int Position;
    int Level;
  } brightness[] = {{0, 0}, {7, 119}, {14, 238}};
  for (const auto& c : brightness) EXPECT_EQ(BrightnessLevel(c.Position), c.Level) << c.Position;
  const struct {
    int Position;
    int Opacity;
  } overlay[] = {{0, 0}, {1, 2}, {65, 130}, {126, 252}, {127, 255}};
  for (const auto& c : overlay) EXPECT_EQ(OverlayOpacity(c.Position), c.Opacity) << c.Position;
}

TEST(ViewLayers, ResizeKeepsTheTopLeftContentAndBlacksWhatIsGained) {
  TViewLayers layers;
  layers.Resize(6, 4, false);
  layers.PhotoBitmap = Pattern(6, 4, 1);
  const TBitmap24 before = layers.PhotoBitmap;
  layers.Resize(9, 3, true);
  ASSERT_EQ(layers.PhotoBitmap.Width(), 9);
  ASSERT_EQ(layers.TopoBitmap.Width(), 4);
  ASSERT_EQ(layers.TopoBitmap.Height(), 1);
  ASSERT_EQ(layers.CompositeBitmap.Height(), 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 9; ++x) {
      const std::uint8_t* p = layers.PhotoBitmap.Pixel(x, y);
      if (x < 6) {
        EXPECT_EQ(p[0], before.Pixel(x, y)[0]);
        EXPECT_EQ(p[2], before.Pixel(x, y)[2]);
      } else {
        EXPECT_EQ(p[0] | p[1] | p[2], 0);
      }
    }
  }
}

// What the screen shows, worked out pixel by pixel as the view composes it: brightness
// added to the photograph, the topographic map stretched to the view and blended over.
std::uint8_t Expected(const TViewLayers& layers, int x, int y, int c, int level, bool paper,
                      int alpha) {
  const int photo = std::clamp(layers.PhotoBitmap.Pixel(x, y)[c] + level - 127, 0, 255);
  if (!paper) return static_cast<std::uint8_t>(photo);
  const int tx = x * layers.TopoBitmap.Width() / layers.Width();
  const int ty = y * layers.TopoBitmap.Height() / layers.Height();
  const int topo = layers.TopoBitmap.Pixel(tx, ty)[c];
  return static_cast<std::uint8_t>((alpha * topo + (255 - alpha) * photo) / 255);
}

TEST(ViewLayers, TileByTileCompositionEqualsTheWholeOne) {
  const struct {
    int Width, Height;
    bool Half;
    bool Smooth = false;
  } sizes[] = {
      {40, 30, false}, {41, 31, true}, {40, 30, true}, {41, 31, true, true}, {40, 30, true, true}};
  for (const auto& size : sizes) {
    TViewLayers layers;
    layers.SmoothTopo = size.Smooth;
    layers.Resize(size.Width, size.Height, size.Half);
    layers.ClearMosaics();
    layers.PrepareLayers(119, layers.Whole());
    layers.ComposeOverlay(true, 130, layers.Whole());
    // Tiles arrive one after another; each redoes its own pixels only.
    std::mt19937 random(3);
    for (int n = 0; n < 12; ++n) {
      TBitmap24& target = n % 2 == 0 ? layers.PhotoBitmap : layers.TopoBitmap;
      const TPixelArea tile{static_cast<int>(random() % 30) - 5,
                            static_cast<int>(random() % 20) - 5, 12, 9};
      const TBitmap24 picture = Pattern(12, 9, static_cast<unsigned>(n));
      CopyBitmapRect(target, tile.X, tile.Y, picture, 0, 0, 12, 9);
      const TPixelArea view = n % 2 == 0 ? tile : layers.TopoViewAreaOf(tile);
      layers.PrepareLayers(119, view);
      layers.ComposeOverlay(true, 130, view);
    }
    if (size.Smooth) {
      // Each tile's reach redone: as if the whole view were.
      TViewLayers whole = layers;
      whole.PrepareLayers(119, whole.Whole());
      whole.ComposeOverlay(true, 130, whole.Whole());
      EXPECT_EQ(layers.CompositeBitmap, whole.CompositeBitmap) << size.Width;
      continue;
    }
    for (int y = 0; y < size.Height; ++y) {
      for (int x = 0; x < size.Width; ++x) {
        for (int c = 0; c < 3; ++c) {
          ASSERT_EQ(layers.CompositeBitmap.Pixel(x, y)[c],
                    Expected(layers, x, y, c, 119, true, 130))
              << size.Width << "x" << size.Height << " at " << x << "," << y;
        }
      }
    }
    // Without the paper map the composite is the brightened photograph alone.
    layers.ComposeOverlay(false, 130, layers.Whole());
    EXPECT_EQ(layers.CompositeBitmap, layers.BrightPhotoBitmap);
  }
}

TEST(ViewLayers, ShiftMovesThePhotographAndHalvesTheTopographicShiftAtTheFinestLevel) {
  TViewLayers layers;
  layers.Resize(20, 10, true);
  layers.PhotoBitmap = Pattern(20, 10, 4);
  layers.TopoBitmap = Pattern(10, 5, 5);
  const TViewLayers before = layers;
  layers.ShiftMosaics(5, -3, true);
  EXPECT_EQ(layers.PhotoBitmap.Pixel(5, 0)[0], before.PhotoBitmap.Pixel(0, 3)[0]);
  EXPECT_EQ(layers.TopoBitmap.Pixel(2, 0)[1], before.TopoBitmap.Pixel(0, 1)[1]);
  EXPECT_EQ(layers.PhotoBitmap.Pixel(4, 0)[2], 0);
}

// Where the service has no map, the photograph is not darkened by blending black over it,
// also after a pan has moved the gap.
TEST(ViewLayers, AGapInTheTopographicMapLeavesThePhotographUnblended) {
  TViewLayers layers;
  layers.Resize(20, 10, true);
  layers.PhotoBitmap = Pattern(20, 10, 6);
  layers.TopoGaps = {{0, 0, 4, 5}, {9, 0, 4, 5}};  // the second leaves with the pan
  layers.ShiftMosaics(2, 0, true);
  ASSERT_EQ(layers.TopoGaps.size(), 1u);
  layers.PrepareLayers(127, layers.Whole());
  layers.ComposeOverlay(true, 200, layers.Whole());
  for (int x = 0; x < 20; ++x) {
    const bool inGap = x >= 2 && x < 10;  // topo columns 1..4, stretched twice
    EXPECT_EQ(layers.CompositeBitmap.Pixel(x, 3)[0] == layers.BrightPhotoBitmap.Pixel(x, 3)[0],
              inGap || layers.BrightPhotoBitmap.Pixel(x, 3)[0] == 0)
        << x;
  }
  layers.ClearMosaics();
  EXPECT_TRUE(layers.TopoGaps.empty());
}

}  // namespace
}  // namespace quorvil
