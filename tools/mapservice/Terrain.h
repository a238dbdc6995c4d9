#pragma once

// Synthetic land, a pure function of ground position: elevation, water, woods, fields,
// roads and towns near the gazetteer's places, with parks, lakes, islands, airports and
// stadiums where the gazetteer has them. Tiles are sampled from it pixel by pixel, so
// neighbouring tiles join without seams and a place looks alike at every scale.

#include <cstdint>
#include <vector>

#include "mapservice/Gazetteer.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

enum class Cover : std::uint8_t {
  Water,
  Beach,
  Field,
  Meadow,
  Wood,
  Park,
  Building,
  Yard,
  Street,
  Road,
  Highway,
  Runway,
  Paved,
  Rock,
  Snow,
};

// What the terrain holds under one pixel.
struct GroundPixel {
  float elevation = 0;  // metres above the sea
  Cover cover = Cover::Field;
  std::uint8_t red = 0, green = 0, blue = 0;  // colour seen from the air
};

// A tile's pixels with a border of one pixel on every side (for slopes and contours):
// row-major, (kTilePixels + 2) squared, pixel (x, y) of the tile at (x + 1, y + 1).
struct GroundTile {
  static constexpr int kSide = 202;
  double metresPerPixel = 1;
  std::vector<GroundPixel> pixels;
  const GroundPixel& At(int x, int y) const { return pixels[(y + 1) * kSide + (x + 1)]; }
};

// A place as the terrain draws it.
struct TerrainFeature;

class Terrain {
 public:
  explicit Terrain(const Gazetteer& gazetteer);

  // Samples the ground of tile (X, Y) of a scene (UTM zone) at a scale.
  GroundTile SampleTile(int zone, Scale scale, int x, int y) const;

 private:
  std::vector<TerrainFeature> FeaturesNear(double west, double south, double east,
                                           double north) const;

  const Gazetteer& gazetteer_;
};

}  // namespace quorvil::mapservice
