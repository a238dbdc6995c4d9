#include "mapservice/Coverage.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "mapservice/Gazetteer.h"

namespace quorvil::mapservice {

namespace {

struct Vertex {
  double lon, lat;
};

// The lower 48 states, coarsely traced along the borders and coasts.
constexpr Vertex kConterminous[] = {
    {-124.8, 48.4}, {-123.2, 49.0}, {-95.2, 49.0},  {-95.15, 49.4}, {-94.8, 49.3},   {-89.6, 48.0},
    {-84.5, 46.5},  {-82.4, 45.3},  {-82.5, 43.0},  {-82.5, 42.55}, {-82.95, 42.34}, {-83.15, 42.0},
    {-81.0, 42.25}, {-79.0, 42.7},  {-79.1, 43.3},  {-76.3, 44.2},  {-74.7, 45.0},   {-71.5, 45.0},
    {-70.9, 45.3},  {-69.2, 47.5},  {-67.8, 47.1},  {-67.8, 45.7},  {-66.9, 44.8},   {-70.6, 43.0},
    {-69.9, 41.9},  {-69.9, 41.2},  {-71.9, 40.9},  {-73.9, 40.4},  {-74.0, 40.1},   {-74.9, 38.8},
    {-75.0, 38.3},  {-75.9, 36.8},  {-75.4, 35.2},  {-77.9, 33.7},  {-79.2, 33.1},   {-81.0, 31.8},
    {-81.3, 30.3},  {-80.0, 26.7},  {-80.3, 25.0},  {-81.9, 24.4},  {-81.3, 25.8},   {-82.8, 27.5},
    {-83.1, 29.0},  {-84.3, 29.9},  {-86.5, 30.2},  {-89.0, 30.2},  {-89.3, 28.9},   {-90.9, 28.9},
    {-93.8, 29.6},  {-94.8, 29.2},  {-97.1, 27.6},  {-97.1, 25.8},  {-99.1, 26.4},   {-100.3, 28.0},
    {-101.4, 29.7}, {-102.4, 29.7}, {-103.1, 28.9}, {-104.5, 29.5}, {-106.5, 31.7},  {-108.2, 31.7},
    {-108.2, 31.3}, {-111.1, 31.3}, {-114.8, 32.5}, {-117.1, 32.5}, {-117.3, 33.1},  {-118.6, 33.9},
    {-120.7, 34.4}, {-121.9, 36.5}, {-122.6, 37.7}, {-123.9, 39.8}, {-124.5, 40.4},  {-124.3, 42.0},
    {-124.1, 46.2},
};

constexpr Vertex kAlaska[] = {
    {-168.3, 65.6}, {-166.6, 69.0}, {-156.8, 71.5}, {-141.0, 69.7}, {-141.0, 60.3}, {-139.0, 60.0},
    {-130.0, 56.1}, {-129.9, 54.6}, {-133.6, 54.5}, {-137.0, 57.9}, {-145.0, 59.7}, {-152.0, 56.9},
    {-158.0, 56.3}, {-164.0, 54.3}, {-172.0, 52.0}, {-179.9, 51.2}, {-179.9, 52.2}, {-163.0, 55.4},
    {-157.5, 58.8}, {-162.2, 60.0}, {-165.6, 62.0}, {-164.6, 63.3},
};

constexpr Vertex kHawaii[] = {
    {-160.7, 22.4}, {-154.5, 20.2}, {-154.5, 18.8}, {-156.0, 18.8}, {-160.7, 21.6},
};

bool Inside(std::span<const Vertex> polygon, double lon, double lat) {
  bool inside = false;
  for (std::size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
    const Vertex& a = polygon[i];
    const Vertex& b = polygon[j];
    if ((a.lat > lat) != (b.lat > lat) &&
        lon < (b.lon - a.lon) * (lat - a.lat) / (b.lat - a.lat) + a.lon) {
      inside = !inside;
    }
  }
  return inside;
}

// The outlines are coarse where coasts and borders are fine-grained (islands, capes, the
// rivers of the Canadian border); every town of the gazetteer holds the ground around
// it too, far enough that the tile of the town has imagery at every scale.
constexpr double kTownRadiusMetres = 12'000;
constexpr double kCellDegrees = 0.25;

class TTownCells {
 public:
  TTownCells() {
    for (std::size_t i = 0; i < kGazetteerTownCount; ++i) {
      const GazetteerRecord& town = kGazetteerTowns[i];
      cells_[Key(Cell(town.Lon), Cell(town.Lat))].push_back(&town);
    }
  }

  bool Near(double lon, double lat) const {
    const double metresPerLon = 111'320.0 * std::cos(lat * M_PI / 180.0);
    const auto lonCells = static_cast<std::int64_t>(
        std::ceil(kTownRadiusMetres / std::max(metresPerLon * kCellDegrees, 1.0)));
    const std::int64_t cx = Cell(lon), cy = Cell(lat);
    for (std::int64_t y = cy - 1; y <= cy + 1; ++y) {
      for (std::int64_t x = cx - lonCells; x <= cx + lonCells; ++x) {
        const auto it = cells_.find(Key(x, y));
        if (it == cells_.end()) continue;
        for (const GazetteerRecord* town : it->second) {
          const double dx = (lon - town->Lon) * metresPerLon;
          const double dy = (lat - town->Lat) * 110'574.0;
          if (dx * dx + dy * dy <= kTownRadiusMetres * kTownRadiusMetres) return true;
        }
      }
    }
    return false;
  }

 private:
  static std::int64_t Cell(double degrees) {
    return static_cast<std::int64_t>(std::floor(degrees / kCellDegrees));
  }
  static std::int64_t Key(std::int64_t x, std::int64_t y) { return x * 1'000'003 + y; }

  std::unordered_map<std::int64_t, std::vector<const GazetteerRecord*>> cells_;
};

const TTownCells& TownCells() {
  static const TTownCells cells;
  return cells;
}

}  // namespace

std::optional<CoverageKind> TryParseCoverage(std::string_view text) {
  if (text == "world") return CoverageKind::World;
  if (text == "us") return CoverageKind::UnitedStates;
  return std::nullopt;
}

bool CoverageHolds(CoverageKind coverage, double lon, double lat) {
  if (lat < -80.0 || lat > 84.0) return false;
  if (coverage == CoverageKind::World) return true;
  return Inside(kConterminous, lon, lat) || Inside(kAlaska, lon, lat) ||
         Inside(kHawaii, lon, lat) || TownCells().Near(lon, lat);
}

}  // namespace quorvil::mapservice
