#include "imagery/ZoomLevels.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string>

namespace quorvil {

namespace {

// Trunc toward zero, held inside int so that a zero step or a far point cannot
// overflow the conversion.
int TruncToInt(double value) {
  if (!(value == value)) return 0;  // NaN
  return static_cast<int>(std::clamp(std::trunc(value), -1e9, 1e9));
}

}  // namespace

std::string_view ZoomLevelName(TZoomLevel level) {
  if (level < kMinZoomLevel || level > kMaxZoomLevel) return {};
  return kZoomLevelNames[level - kMinZoomLevel];
}

std::optional<TZoomLevel> ParseZoomLevel(std::string_view text) {
  std::string plain;
  for (const char c : text) {
    if (c != ' ') plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  int number = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), number);
  if (error != std::errc() || end == plain.data()) return std::nullopt;
  const std::string_view unit(end, plain.data() + plain.size() - end);
  if (unit.empty()) {
    if (number < kMinZoomLevel || number > kMaxZoomLevel) return std::nullopt;
    return static_cast<TZoomLevel>(number);
  }
  if (unit != "m" && unit != "meter" && unit != "meters") return std::nullopt;
  for (TZoomLevel level = kMinZoomLevel; level <= kMaxZoomLevel; ++level) {
    if (MetersPerPixel(level) == number) return level;
  }
  return std::nullopt;
}

int MetersPerPixel(TZoomLevel level) { return 1 << (level - kMinZoomLevel); }

double LatDegreesPerPixel(TZoomLevel level) { return MetersPerPixel(level) / kMetersPerDegree; }

double LonDegreesPerPixel(TZoomLevel level, double latitude) {
  return MetersPerPixel(level) / (kMetersPerDegree * std::cos(latitude * std::numbers::pi / 180));
}

void UpdateDegreesPerPixel(const TileMeta& centreTile, double& lonStep, double& latStep,
                           double latitude, TZoomLevel level) {
  if (centreTile.TileExists && centreTile.NorthWest && centreTile.SouthEast) {
    lonStep = std::fabs(centreTile.NorthWest->Lon - centreTile.SouthEast->Lon) / kTileSize;
    latStep = std::fabs(centreTile.NorthWest->Lat - centreTile.SouthEast->Lat) / kTileSize;
  } else if (lonStep == 0 || latStep == 0) {
    // A view that moves off the imagery keeps the steps it had; a new one estimates.
    lonStep = LonDegreesPerPixel(level, latitude);
    latStep = LatDegreesPerPixel(level);
  }
}

void NormalizeGeoRect(double& west, double& north, double& east, double& south) {
  if (east < west) std::swap(west, east);
  if (south > north) std::swap(north, south);
}

double LongitudeAtPixel(const TViewGeometry& view, int x) {
  return view.CenterLon - view.LonStep * (view.Width / 2 - x);
}

double LatitudeAtPixel(const TViewGeometry& view, int y) {
  return view.CenterLat + view.LatStep * (view.Height / 2 - y);
}

int PixelOfLongitude(const TViewGeometry& view, double longitude) {
  return view.Width / 2 - TruncToInt((view.CenterLon - longitude) / view.LonStep);
}

int PixelOfLatitude(const TViewGeometry& view, double latitude) {
  return view.Height / 2 - TruncToInt((latitude - view.CenterLat) / view.LatStep);
}

}  // namespace quorvil
