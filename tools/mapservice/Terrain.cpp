#include "mapservice/Terrain.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>

#include "mapservice/Noise.h"
#include "mapservice/TileGrid.h"
#include "mapservice/UtmProjection.h"

namespace quorvil::mapservice {

namespace {

constexpr double kR = 6378137.0;
constexpr double kDeg = std::numbers::pi / 180.0;
// Sampling grid of the ground coordinates and of the slow noise, in pixels.
constexpr int kGridStep = 8;
constexpr int kGridPoints = (kTilePixels + 2 * kGridStep) / kGridStep + 1;  // 28
// Octaves longer than this many pixels are taken from the grid.
constexpr double kCoarseWave = 64.0;

// Ground coordinates are spherical Mercator metres: conformal, so features keep their
// shape everywhere, and a function of longitude and latitude alone.
double MercatorX(double lon) { return kR * lon * kDeg; }
double MercatorY(double lat) {
  const double phi = std::clamp(lat, -89.0, 89.0) * kDeg;
  return kR * std::log(std::tan(std::numbers::pi / 4 + phi / 2));
}

const FbmSpec kElevation{11, 40000, 12, 0.5};
const FbmSpec kMountainMask{12, 160000, 3, 0.5};
const FbmSpec kRidges{13, 9000, 7, 0.5};
const FbmSpec kRivers{14, 30000, 5, 0.45};
const FbmSpec kHighways{15, 45000, 3, 0.4};
const FbmSpec kWoods{16, 2600, 8, 0.55};
const FbmSpec kFarmland{17, 25000, 3, 0.5};
const FbmSpec kEdges{18, 2200, 5, 0.5};
const FbmSpec kTexture{19, 28, 4, 0.6};
const FbmSpec kCrowns{20, 26, 3, 0.55};

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

constexpr std::array<Rgb, 7> kFieldColours = {{{118, 138, 68},
                                               {148, 150, 82},
                                               {186, 172, 112},
                                               {140, 116, 86},
                                               {102, 124, 62},
                                               {166, 160, 118},
                                               {128, 146, 90}}};
constexpr std::array<Rgb, 6> kRoofColours = {{{118, 112, 106},
                                              {146, 140, 132},
                                              {100, 97, 95},
                                              {132, 104, 92},
                                              {160, 158, 152},
                                              {124, 116, 104}}};
constexpr Rgb kRoofMean{130, 121, 114};
constexpr Rgb kWater{36, 62, 78};
constexpr Rgb kDeepWater{22, 42, 60};
constexpr Rgb kBeach{200, 190, 158};
constexpr Rgb kMeadow{128, 132, 82};
constexpr Rgb kWood{48, 72, 40};
constexpr Rgb kParkGrass{92, 128, 60};
constexpr Rgb kYard{96, 116, 70};
constexpr Rgb kConcrete{150, 147, 140};
constexpr Rgb kAsphalt{82, 82, 82};
constexpr Rgb kRoad{108, 104, 98};
constexpr Rgb kHighway{96, 96, 96};
constexpr Rgb kRunway{172, 172, 166};
constexpr Rgb kAirfieldGrass{132, 146, 88};
constexpr Rgb kRock{136, 126, 112};
constexpr Rgb kSnow{236, 236, 240};
constexpr Rgb kStands{178, 178, 172};
constexpr Rgb kPitch{72, 132, 52};
constexpr Rgb kTrack{160, 92, 70};

enum class Kind { Town, Park, Water, Island, Airport, Stadium, Plaza, Hill, Land };

bool NamedLikeStadium(std::string_view name) {
  for (std::string_view word :
       {"Stadium", "Field", "Bowl", "Coliseum", "Yards", "Speedway", "Park"}) {
    if (name.find(word) != std::string_view::npos) return true;
  }
  return false;
}

Kind KindOf(const GazetteerRecord& r) {
  switch (r.Type) {
    case PlaceType::CityTown:
      return Kind::Town;
    case PlaceType::ParkBeach:
      return Kind::Park;
    case PlaceType::Lake:
    case PlaceType::BayGulf:
    case PlaceType::River:
    case PlaceType::OtherWaterFeature:
      return Kind::Water;
    case PlaceType::Island:
      return Kind::Island;
    case PlaceType::AirRailStation:
      return r.RadiusMetres >= 500 ? Kind::Airport : Kind::Plaza;
    case PlaceType::PointOfInterest:
      return NamedLikeStadium(r.City) ? Kind::Stadium : Kind::Plaza;
    case PlaceType::HillMountain:
      return Kind::Hill;
    default:
      return Kind::Land;
  }
}

// Distance from p to the segment a-b (or the point a).
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by,
                       bool band) {
  if (!band) return std::sqrt((px - ax) * (px - ax) + (py - ay) * (py - ay));
  const double vx = bx - ax, vy = by - ay;
  const double len2 = vx * vx + vy * vy;
  double t = len2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  const double dx = px - (ax + t * vx), dy = py - (ay + t * vy);
  return std::sqrt(dx * dx + dy * dy);
}

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Coverage of a pixel by a straight band of half-width `half` at distance `d`.
double BandCoverage(double d, double half, double footprint) {
  return Clamp01((half - d) / footprint + 0.5);
}

}  // namespace

struct Terrain::Feature {
  Kind kind;
  double x, y, x2, y2;
  bool band;
  double radius;  // ground units
  double reach;   // beyond this distance the feature changes nothing
  std::uint32_t hash;
};

Terrain::Terrain(const Gazetteer& gazetteer) : gazetteer_(gazetteer) {}

std::vector<Terrain::Feature> Terrain::FeaturesNear(double west, double south, double east,
                                                    double north) const {
  std::vector<const GazetteerRecord*> records;
  gazetteer_.ForEachInfluencing(west, south, east, north,
                                [&records](const GazetteerRecord& r) { records.push_back(&r); });
  // A fixed order keeps every tile's sums identical at shared pixels.
  std::sort(records.begin(), records.end());
  std::vector<Feature> features;
  features.reserve(records.size());
  for (const GazetteerRecord* r : records) {
    const double secant = 1.0 / std::cos(r->Lat * kDeg);
    Feature f{KindOf(*r),
              MercatorX(r->Lon),
              MercatorY(r->Lat),
              MercatorX(r->IsBand() ? r->Lon2 : r->Lon),
              MercatorY(r->IsBand() ? r->Lat2 : r->Lat),
              r->IsBand(),
              InfluenceRadius(*r) * secant,
              0,
              HashLattice(std::llround(r->Lon * 1e5), std::llround(r->Lat * 1e5), 77)};
    // The widest reach of each kind below, plus the wobble of its edge.
    double factor = 1.3;
    switch (f.kind) {
      case Kind::Island:
        factor = 2.5;
        break;
      case Kind::Stadium:
        factor = 2.6;
        break;
      default:
        break;
    }
    f.reach = factor * f.radius + 0.4 * std::min(f.radius, 2500.0) + 10;
    features.push_back(f);
  }
  return features;
}

GroundTile Terrain::SampleTile(int zone, Scale scale, int tileX, int tileY) const {
  const double m = MetresPerPixel(scale);

  // Ground coordinates and slow noise on a lattice that is common to all tiles of the
  // scale (every kGridStep pixels), interpolated in between.
  struct GridPoint {
    double x, y, fp, elevation, mountains, ridges, rivers, highways, woods, farmland, edges;
  };
  std::array<GridPoint, kGridPoints * kGridPoints> grid{};
  double minLon = 1e9, maxLon = -1e9, minLat = 1e9, maxLat = -1e9;
  constexpr int kStepsPerTile = kTilePixels / kGridStep;
  for (int l = 0; l < kGridPoints; ++l) {
    for (int k = 0; k < kGridPoints; ++k) {
      // Global lattice indices, so that neighbouring tiles compute identical points.
      const std::int64_t column = std::int64_t{tileX} * kStepsPerTile + k - 1;
      const std::int64_t row = (std::int64_t{tileY} + 1) * kStepsPerTile - (l - 1);
      const GeoPoint p = UtmInverse({zone, static_cast<double>(column) * kGridStep * m,
                                     static_cast<double>(row) * kGridStep * m});
      GridPoint& g = grid[l * kGridPoints + k];
      g.x = MercatorX(p.Lon);
      g.y = MercatorY(p.Lat);
      // Ground units per pixel: Mercator stretches by the secant of the latitude.
      g.fp = m / std::max(0.02, std::cos(p.Lat * kDeg));
      minLon = std::min(minLon, p.Lon);
      maxLon = std::max(maxLon, p.Lon);
      minLat = std::min(minLat, p.Lat);
      maxLat = std::max(maxLat, p.Lat);
    }
  }
  // Octaves longer than this come from the lattice; the split depends on the scale
  // alone, so that every tile splits alike.
  const double coarse = kCoarseWave * m;
  for (GridPoint& g : grid) {
    g.elevation = FbmBand(kElevation, g.x, g.y, g.fp, coarse);
    g.mountains = FbmBand(kMountainMask, g.x, g.y, g.fp);
    g.ridges = FbmBand(kRidges, g.x, g.y, g.fp, coarse);
    g.rivers = FbmBand(kRivers, g.x, g.y, g.fp, coarse);
    g.highways = FbmBand(kHighways, g.x, g.y, g.fp, coarse);
    g.woods = FbmBand(kWoods, g.x, g.y, g.fp, coarse);
    g.farmland = FbmBand(kFarmland, g.x, g.y, g.fp);
    g.edges = FbmBand(kEdges, g.x, g.y, g.fp, coarse);
  }

  // Only the places that reach this tile take part in its pixels.
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (const GridPoint& g : grid) {
    minX = std::min(minX, g.x);
    maxX = std::max(maxX, g.x);
    minY = std::min(minY, g.y);
    maxY = std::max(maxY, g.y);
  }
  std::vector<Feature> features = FeaturesNear(minLon, minLat, maxLon, maxLat);
  std::erase_if(features, [&](const Feature& f) {
    const double reach = f.reach;
    return std::max(f.x, f.x2) + reach < minX || std::min(f.x, f.x2) - reach > maxX ||
           std::max(f.y, f.y2) + reach < minY || std::min(f.y, f.y2) - reach > maxY;
  });
  // A town whose core covers the whole tile makes all of it built-up land: then no town
  // can add anything, and the pixels need not look at towns at all.
  const bool builtUp = std::any_of(features.begin(), features.end(), [&](const Feature& f) {
    if (f.kind != Kind::Town) return false;
    const double dx = std::max(std::fabs(minX - f.x), std::fabs(maxX - f.x));
    const double dy = std::max(std::fabs(minY - f.y), std::fabs(maxY - f.y));
    return std::sqrt(dx * dx + dy * dy) + 0.4 * std::min(f.radius, 2500.0) < 0.5 * f.radius;
  });
  if (builtUp) {
    std::erase_if(features, [](const Feature& f) { return f.kind == Kind::Town; });
  }

  GroundTile tile;
  tile.metresPerPixel = m;
  tile.pixels.resize(GroundTile::kSide * GroundTile::kSide);
  for (int j = -1; j <= kTilePixels; ++j) {
    for (int i = -1; i <= kTilePixels; ++i) {
      // Pixel centre in grid units, the grid starting one step outside the tile.
      const double gu = (i + 0.5) / kGridStep + 1, gv = (j + 0.5) / kGridStep + 1;
      const int k = static_cast<int>(gu), l = static_cast<int>(gv);
      const double fu = gu - k, fv = gv - l;
      const GridPoint& g00 = grid[l * kGridPoints + k];
      const GridPoint& g10 = grid[l * kGridPoints + k + 1];
      const GridPoint& g01 = grid[(l + 1) * kGridPoints + k];
      const GridPoint& g11 = grid[(l + 1) * kGridPoints + k + 1];
      auto lerp = [&](double GridPoint::*field) {
        const double top = g00.*field + (g10.*field - g00.*field) * fu;
        const double bottom = g01.*field + (g11.*field - g01.*field) * fu;
        return top + (bottom - top) * fv;
      };
      const double x = lerp(&GridPoint::x), y = lerp(&GridPoint::y);
      const double fp = lerp(&GridPoint::fp);

      // Elevation: rolling land, mountain ridges where the mountain mask says so,
      // valleys along the rivers.
      const double nElevation =
          lerp(&GridPoint::elevation) + FbmBand(kElevation, x, y, fp, 0, coarse);
      const double mountains = SmoothStep(0.12, 0.5, lerp(&GridPoint::mountains));
      double elevation = 55 + 230 * nElevation;
      if (mountains > 0) {
        const double ridge =
            1 - std::fabs(lerp(&GridPoint::ridges) + FbmBand(kRidges, x, y, fp, 0, coarse));
        elevation += mountains * ridge * ridge * 1300;
      }
      const double riverNoise =
          std::fabs(lerp(&GridPoint::rivers) + FbmBand(kRivers, x, y, fp, 0, coarse));
      const double riverSlope = 1.2e-4;  // typical change of the noise per ground unit
      double river = 0;
      if (elevation < 500) {
        elevation -= 22 * (1 - SmoothStep(0, 0.05, riverNoise));
        river = BandCoverage(riverNoise / riverSlope, 40, fp);
      }
      const double edge =
          features.empty() ? 0 : lerp(&GridPoint::edges) + FbmBand(kEdges, x, y, fp, 0, coarse);

      // Places shape the land around them.
      double urban = builtUp ? 1 : 0, park = 0, land = builtUp ? 1 : 0;
      double water = 0, islandLand = 0, islandWater = 0;
      const Feature* airport = nullptr;
      const Feature* stadium = nullptr;
      const Feature* plaza = nullptr;
      for (const Feature& f : features) {
        if (!f.band && (x - f.x) * (x - f.x) + (y - f.y) * (y - f.y) > f.reach * f.reach) continue;
        const double d = SegmentDistance(x, y, f.x, f.y, f.x2, f.y2, f.band);
        const double r = f.radius;
        if (d > f.reach) continue;
        const double wobble = edge * std::min(r, 2500.0);
        switch (f.kind) {
          case Kind::Town:
            urban = std::max(urban, SmoothStep(r, 0.5 * r, d + 0.35 * wobble));
            land = std::max(land, SmoothStep(1.3 * r, 0.8 * r, d));
            break;
          case Kind::Park:
            park = std::max(park, SmoothStep(r, 0.96 * r, d + 0.04 * wobble));
            land = std::max(land, SmoothStep(1.2 * r, r, d));
            break;
          case Kind::Water:
            water = std::max(water, SmoothStep(r, 0.9 * r, d + 0.08 * wobble));
            break;
          case Kind::Island: {
            islandLand = std::max(islandLand, SmoothStep(r, 0.9 * r, d + 0.1 * wobble));
            // A strait around the island, narrow for large ones.
            const double strait = std::min(1.5 * r, 1200.0);
            islandWater = std::max(islandWater, SmoothStep(r + strait, r + 0.7 * strait, d));
            break;
          }
          case Kind::Airport:
            if (d < r) airport = &f;
            land = std::max(land, SmoothStep(1.2 * r, r, d));
            break;
          case Kind::Stadium:
            if (d < 2.4 * r) stadium = &f;
            land = std::max(land, SmoothStep(2.6 * r, 2.4 * r, d));
            break;
          case Kind::Plaza:
            if (d < r) plaza = &f;
            break;
          case Kind::Hill: {
            const double t = Clamp01(1 - d / r);
            elevation += 700 * t * t;
            land = std::max(land, t > 0 ? 1.0 : 0.0);
            break;
          }
          case Kind::Land:
            land = std::max(land, SmoothStep(r, 0.8 * r, d + 0.3 * wobble));
            break;
        }
      }
      if (land > 0) elevation += (std::max(elevation, 4 + 6 * land) - elevation) * land;
      const double forcedWater = std::max(water, islandWater * (1 - islandLand));
      if (forcedWater > 0) elevation += (std::min(elevation, -5.0) - elevation) * forcedWater;
      if (islandLand > 0) elevation += (std::max(elevation, 3.0) - elevation) * islandLand;
      if (forcedWater > 0.5 || islandLand > 0.5) river = 0;

      GroundPixel& out = tile.pixels[(j + 1) * GroundTile::kSide + (i + 1)];
      out.elevation = static_cast<float>(elevation);
      const double texture = FbmBand(kTexture, x, y, fp);
      Rgb colour;
      Cover cover;

      if (elevation < 0 || river > 0.5) {
        cover = Cover::Water;
        colour = elevation < 0 ? Mix(kWater, kDeepWater, Clamp01(-elevation / 60)) : kWater;
        colour = Mix(colour, {70, 96, 104}, 0.25 * Clamp01(texture + 0.3));
      } else {
        // Land cover, from the most specific feature down to the open country.
        const double woods = lerp(&GridPoint::woods) + FbmBand(kWoods, x, y, fp, 0, coarse);
        const double crowns = FbmBand(kCrowns, x, y, fp);
        const double treeCover =
            SmoothStep(0.08, 0.14, woods + (park > 0.5 ? 0.25 : -0.35 * urban));
        auto detail = [fp](double size) { return SmoothStep(1.5, 4.0, size / fp); };
        const double streetPeriod = urban > 0.6 ? 110 : 150;
        if (airport != nullptr) {
          const Feature& a = *airport;
          const double angle1 = (a.hash % 180) * kDeg;
          const double angle2 = angle1 + (55 + (a.hash >> 8) % 40) * kDeg;
          double runway = 0;
          for (double angle : {angle1, angle2}) {
            const double ux = std::cos(angle), uy = std::sin(angle);
            const double dx = x - a.x, dy = y - a.y;
            const double along = dx * ux + dy * uy, across = std::fabs(-dx * uy + dy * ux);
            if (std::fabs(along) < 0.8 * a.radius)
              runway = std::max(runway, BandCoverage(across, 30, fp));
          }
          const double apron = SmoothStep(0.3 * a.radius, 0.27 * a.radius,
                                          std::hypot(x - a.x - 0.35 * a.radius, y - a.y));
          colour = Mix(Mix(kAirfieldGrass, kConcrete, apron), kRunway, runway);
          cover = runway > 0.5 ? Cover::Runway : (apron > 0.5 ? Cover::Paved : Cover::Meadow);
        } else if (stadium != nullptr) {
          const Feature& s = *stadium;
          const double e = std::hypot((x - s.x) / s.radius, (y - s.y) / (0.8 * s.radius));
          if (e < 0.55) {
            colour = Mix(kPitch, {90, 150, 66}, StripeCoverage(x - s.x, 12, 6, fp));
            cover = Cover::Park;
          } else if (e < 0.62) {
            colour = kTrack;
            cover = Cover::Paved;
          } else if (e < 1.0) {
            colour = Mix(kStands, {120, 120, 126},
                         0.5 + 0.5 * std::sin(std::atan2(y - s.y, x - s.x) * 24));
            cover = Cover::Building;
          } else {
            colour = Mix({118, 118, 116}, {200, 200, 196}, 0.6 * StripeCoverage(x, 5, 0.6, fp));
            cover = Cover::Paved;
          }
        } else if (urban > 0.3 + 0.15 * texture && park <= 0.5) {
          const double sx = StripeCoverage(x, streetPeriod, 12, fp);
          const double sy = StripeCoverage(y, streetPeriod, 12, fp);
          const double ax = StripeCoverage(x + 5, streetPeriod * 4, 22, fp);
          const double ay = StripeCoverage(y + 5, streetPeriod * 4, 22, fp);
          const double street = 1 - (1 - sx) * (1 - sy) * (1 - ax) * (1 - ay);
          const auto bx = static_cast<std::int64_t>(std::floor(x / streetPeriod));
          const auto by = static_cast<std::int64_t>(std::floor(y / streetPeriod));
          const std::uint32_t blockHash = HashLattice(bx, by, 31);
          Rgb block;
          Cover blockCover;
          if (plaza != nullptr) {
            block = Mix(kConcrete, {190, 186, 176}, 0.5 + 0.5 * texture);
            blockCover = Cover::Paved;
          } else if (blockHash % 100 < 5) {
            block = Mix(kParkGrass, kWood, treeCover * (0.6 + 0.4 * crowns));
            blockCover = treeCover > 0.5 ? Cover::Wood : Cover::Park;
          } else if (blockHash % 100 < 10) {
            block = Mix({112, 112, 110}, {190, 190, 186}, 0.5 * StripeCoverage(x, 5, 0.6, fp));
            blockCover = Cover::Paved;
          } else {
            const bool downtown = urban > 0.85;
            const double lot = downtown ? 46 : 26;
            const double gap = downtown ? 6 : 9;
            const double bxCover = 1 - StripeCoverage(x + 3, lot, gap, fp);
            const double byCover = 1 - StripeCoverage(y + 3, lot * 1.4, gap, fp);
            const double building = bxCover * byCover;
            const std::uint32_t lotHash =
                HashLattice(static_cast<std::int64_t>(std::floor((x + 3) / lot)),
                            static_cast<std::int64_t>(std::floor((y + 3) / (lot * 1.4))), 37);
            const Rgb roof =
                Mix(kRoofMean, kRoofColours[lotHash % kRoofColours.size()], detail(lot));
            Rgb yard = downtown ? kConcrete : kYard;
            if (!downtown) yard = Mix(yard, kWood, treeCover * 0.8);
            block = Mix(yard, roof, building);
            blockCover = building > 0.5 ? Cover::Building : Cover::Yard;
          }
          colour = Mix(block, kAsphalt, street);
          cover = street > 0.5 ? Cover::Street : blockCover;
          // Topographic maps still show streets that are a few pixels apart.
          if (streetPeriod >= 6 * fp &&
              std::max({StripeCoverage(x, streetPeriod, std::max(12.0, fp), fp),
                        StripeCoverage(y, streetPeriod, std::max(12.0, fp), fp)}) > 0.5) {
            cover = Cover::Street;
          }
        } else if (park > 0.5) {
          colour = Mix(kParkGrass, kWood, treeCover * (0.6 + 0.4 * crowns));
          cover = treeCover > 0.5 ? Cover::Wood : Cover::Park;
        } else if (elevation > 2900 + 200 * texture) {
          colour = kSnow;
          cover = Cover::Snow;
        } else if (elevation > 1900 + 300 * texture) {
          colour = Mix(kRock, kMeadow, 0.3 + 0.3 * crowns);
          cover = Cover::Rock;
        } else if (treeCover > 0.5) {
          colour = Mix(kWood, {70, 96, 52}, Clamp01(0.5 + 0.9 * crowns));
          cover = Cover::Wood;
        } else if (elevation < 1.2) {
          colour = kBeach;
          cover = Cover::Beach;
        } else if (lerp(&GridPoint::farmland) > -0.15) {
          // Fields: rows of parcels of varying width, each with a crop of its own.
          const double rowHeight = 420;
          const auto row = static_cast<std::int64_t>(std::floor(y / rowHeight));
          const std::uint32_t rowHash = HashLattice(row, 0, 41);
          const double width = 240 + rowHash % 360;
          const double shifted = x + (rowHash >> 9) % 500;
          const auto column = static_cast<std::int64_t>(std::floor(shifted / width));
          const std::uint32_t fieldHash = HashLattice(column, row, 43);
          Rgb crop = kFieldColours[fieldHash % kFieldColours.size()];
          const double furrows = StripeCoverage((fieldHash & 0x100) ? x : y, 7, 2.5, fp);
          crop = Mix(crop, {crop.r * 0.85, crop.g * 0.85, crop.b * 0.85}, furrows);
          const double hedge = 1 - (1 - StripeCoverage(shifted, width, 5, fp)) *
                                       (1 - StripeCoverage(y, rowHeight, 5, fp));
          colour = Mix(crop, {74, 88, 52}, hedge * 0.8);
          cover = Cover::Field;
        } else {
          colour = Mix(kMeadow, {110, 118, 70}, Clamp01(0.5 + crowns));
          cover = Cover::Meadow;
        }

        // Roads across the open country: a mile grid and a few winding highways.
        if (urban < 0.3 && airport == nullptr && stadium == nullptr && park < 0.5) {
          const double gridRoad = 1 - (1 - StripeCoverage(x + 800, 1609, 9, fp)) *
                                          (1 - StripeCoverage(y + 800, 1609, 9, fp));
          colour = Mix(colour, kRoad, gridRoad);
          const double wide = std::max(9.0, 1.2 * fp);
          if (std::max(StripeCoverage(x + 800 - (wide - 9) / 2, 1609, wide, fp),
                       StripeCoverage(y + 800 - (wide - 9) / 2, 1609, wide, fp)) > 0.5) {
            cover = Cover::Road;
          }
        }
        const double highwayNoise =
            std::fabs(lerp(&GridPoint::highways) + FbmBand(kHighways, x, y, fp, 0, coarse));
        const double highwaySlope = 0.9e-4;
        const double highwayDistance = highwayNoise / highwaySlope;
        if (airport == nullptr && stadium == nullptr) {
          colour = Mix(colour, kHighway, BandCoverage(highwayDistance, 14, fp));
          if (BandCoverage(highwayDistance, std::max(14.0, 0.9 * fp), fp) > 0.5) {
            cover = Cover::Highway;
          }
        }
      }
      const double grain = 1 + 0.1 * texture;
      out.cover = cover;
      out.red = static_cast<std::uint8_t>(std::clamp(colour.r * grain, 0.0, 255.0));
      out.green = static_cast<std::uint8_t>(std::clamp(colour.g * grain, 0.0, 255.0));
      out.blue = static_cast<std::uint8_t>(std::clamp(colour.b * grain, 0.0, 255.0));
    }
  }
  return tile;
}

}  // namespace quorvil::mapservice
