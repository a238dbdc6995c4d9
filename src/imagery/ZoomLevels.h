#pragma once

// Zoom levels and the geometry of the tile grid: resolutions, the level names, degrees
// per pixel and the conversions between view pixels and coordinates.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// A zoom level is the ordinal of the service's Scale of the same resolution.
using TZoomLevel = std::uint8_t;
inline constexpr TZoomLevel kMinZoomLevel = 10;  // Scale1m
inline constexpr TZoomLevel kMaxZoomLevel = 16;  // Scale64m

// Tiles are square, of this many pixels, for every theme and level.
inline constexpr int kTileSize = 200;

// The length of one degree of latitude (and of longitude at the equator).
inline constexpr double kMetersPerDegree = 111111.111111111;

// The names of the levels, indexed by level - kMinZoomLevel.
inline constexpr std::array<std::string_view, 7> kZoomLevelNames = {
    "1 Meter", "2 Meters", "4 Meters", "8 Meters", "16 Meters", "32 Meters", "64 Meters"};

inline Scale ScaleOfZoomLevel(TZoomLevel level) { return static_cast<Scale>(level); }

// The name of a level, e.g. "4 Meters"; empty outside 10..16.
std::string_view ZoomLevelName(TZoomLevel level);

// A level from its number (10..16), its name in any case ("4 Meters", "1 meter") or its
// resolution written short ("4m"); nothing for anything else.
std::optional<TZoomLevel> ParseZoomLevel(std::string_view text);

// 2^(level - 10).
int MetersPerPixel(TZoomLevel level);
double LatDegreesPerPixel(TZoomLevel level);
double LonDegreesPerPixel(TZoomLevel level, double latitude);

// Brings the two steps up to date for a view whose centre lies in `centreTile`: taken
// from the tile's corners when the tile exists; otherwise kept when both are non-zero,
// else estimated from the level and latitude.
void UpdateDegreesPerPixel(const TileMeta& centreTile, double& lonStep, double& latStep,
                           double latitude, TZoomLevel level);

// Afterwards west <= east and north >= south.
void NormalizeGeoRect(double& west, double& north, double& east, double& south);

// A view of Width x Height pixels whose pixel (Width div 2, Height div 2) shows the
// point (CenterLon, CenterLat), with one pixel spanning LonStep x LatStep degrees.
struct TViewGeometry {
  int Width = 0;
  int Height = 0;
  double CenterLon = 0;
  double CenterLat = 0;
  double LonStep = 0;
  double LatStep = 0;
};

double LongitudeAtPixel(const TViewGeometry& view, int x);
double LatitudeAtPixel(const TViewGeometry& view, int y);
int PixelOfLongitude(const TViewGeometry& view, double longitude);
int PixelOfLatitude(const TViewGeometry& view, double latitude);

}  // namespace quorvil
