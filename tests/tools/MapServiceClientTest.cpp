// The program's own SOAP client against the built quorvil-mapservice on ephemeral
// loopback ports: every operation and the geometry of its answers, faults, the WSDL
// mode, and the tile store drawing an area from the service.

#include <gtest/gtest.h>
#include <httplib.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "imagery/Bitmap24.h"
#include "imagery/GifCodec.h"
#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "platform/ProgramError.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSoapSupport.h"
#include "service/TerraServiceSupport.h"
#include "support/MapServiceTestSupport.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
namespace mst = mapservice::testing;

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr LonLatPt kCentralPark{-73.965, 40.784};
constexpr LonLatPt kHoboken{-74.03236, 40.74399};
constexpr LonLatPt kSydney{151.2093, -33.8688};
constexpr LonLatPt kParis{2.3522, 48.8566};

double MetresPerPixel(Scale scale) { return std::ldexp(1.0, static_cast<int>(scale) - 10); }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Describe(const TileId& id) {
  return std::string(EnumName(id.Theme)) + "/" + std::string(EnumName(id.Scale)) + "/" +
         std::to_string(id.Scene) + "/" + std::to_string(id.X) + "/" + std::to_string(id.Y);
}

bool SameId(const TileId& a, const TileId& b) {
  return a.Theme == b.Theme && a.Scale == b.Scale && a.Scene == b.Scene && a.X == b.X && a.Y == b.Y;
}

// How far the point lies outside the tile's corner quadrilateral, as a fraction of a
// side (negative inside). Longitudes are scaled by cos(latitude) so that sides compare.
double OutsideOfTile(const TileMeta& meta, const LonLatPt& p) {
  const double k = std::cos(meta.Center->Lat * kDegree);
  const LonLatPt* ring[] = {meta.NorthWest.get(), meta.NorthEast.get(), meta.SouthEast.get(),
                            meta.SouthWest.get()};
  double worst = -std::numeric_limits<double>::infinity();
  for (int i = 0; i < 4; ++i) {
    const LonLatPt& a = *ring[i];
    const LonLatPt& b = *ring[(i + 1) % 4];
    const double ex = (b.Lon - a.Lon) * k, ey = b.Lat - a.Lat;
    const double px = (p.Lon - a.Lon) * k, py = p.Lat - a.Lat;
    // Walking the ring clockwise, the inside lies to the right of every edge.
    worst = std::max(worst, (ex * py - ey * px) / (ex * ex + ey * ey));
  }
  return worst;
}

double DistanceMetres(const LonLatPt& a, const LonLatPt& b) {
  const double dLat = (b.Lat - a.Lat) * kDegree, dLon = (b.Lon - a.Lon) * kDegree;
  const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                   std::cos(a.Lat * kDegree) * std::cos(b.Lat * kDegree) * std::sin(dLon / 2) *
                       std::sin(dLon / 2);
  return 2 * 6371008.8 * std::asin(std::sqrt(h));
}

// Initial bearing from a to b in degrees, 0 north, clockwise.
double BearingDegrees(const LonLatPt& a, const LonLatPt& b) {
  const double p1 = a.Lat * kDegree, p2 = b.Lat * kDegree, dl = (b.Lon - a.Lon) * kDegree;
  const double bearing =
      std::atan2(std::sin(dl) * std::cos(p2),
                 std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl)) /
      kDegree;
  return bearing < 0 ? bearing + 360 : bearing;
}

void ExpectSamePoint(const LonLatPt* a, const LonLatPt* b, const std::string& what) {
  ASSERT_TRUE(a && b) << what;
  EXPECT_NEAR(a->Lon, b->Lon, 1e-9) << what;
  EXPECT_NEAR(a->Lat, b->Lat, 1e-9) << what;
}

void ExpectSameMeta(const TileMeta& a, const TileMeta& b, const std::string& what) {
  ASSERT_TRUE(a.Id && b.Id) << what;
  EXPECT_TRUE(SameId(*a.Id, *b.Id)) << what << ": " << Describe(*a.Id) << " vs " << Describe(*b.Id);
  EXPECT_EQ(a.TileExists, b.TileExists) << what;
  ExpectSamePoint(a.NorthWest.get(), b.NorthWest.get(), what + " NorthWest");
  ExpectSamePoint(a.NorthEast.get(), b.NorthEast.get(), what + " NorthEast");
  ExpectSamePoint(a.SouthWest.get(), b.SouthWest.get(), what + " SouthWest");
  ExpectSamePoint(a.SouthEast.get(), b.SouthEast.get(), what + " SouthEast");
  ExpectSamePoint(a.Center.get(), b.Center.get(), what + " Center");
}

// What every area the service returns must satisfy: five complete corners of the
// requested theme and scale in one scene, offsets inside their tiles, and corners that
// agree with each other on their shared columns, rows and offsets.
void ExpectWellFormedArea(const AreaBoundingBox& area, Theme theme, Scale scale,
                          const std::string& what) {
  const std::pair<const char*, const AreaCoordinate*> corners[] = {
      {"NorthWest", area.NorthWest.get()},
      {"NorthEast", area.NorthEast.get()},
      {"SouthWest", area.SouthWest.get()},
      {"SouthEast", area.SouthEast.get()},
      {"Center", area.Center.get()}};
  for (const auto& [name, c] : corners) {
    ASSERT_TRUE(c && c->TileMeta && c->TileMeta->Id && c->TileMeta->NorthWest &&
                c->TileMeta->SouthEast && c->TileMeta->Center && c->Offset && c->Offset->Point)
        << what << " " << name;
    const TileId& id = *c->TileMeta->Id;
    EXPECT_EQ(id.Theme, theme) << what << " " << name;
    EXPECT_EQ(id.Scale, scale) << what << " " << name;
    EXPECT_EQ(id.Scene, area.NorthWest->TileMeta->Id->Scene) << what << " " << name;
    EXPECT_GE(c->Offset->XOffset, 0) << what << " " << name;
    EXPECT_LE(c->Offset->XOffset, 199) << what << " " << name;
    EXPECT_GE(c->Offset->YOffset, 0) << what << " " << name;
    EXPECT_LE(c->Offset->YOffset, 199) << what << " " << name;
  }
  const TileId& nw = *area.NorthWest->TileMeta->Id;
  const TileId& ne = *area.NorthEast->TileMeta->Id;
  const TileId& sw = *area.SouthWest->TileMeta->Id;
  const TileId& se = *area.SouthEast->TileMeta->Id;
  EXPECT_LE(nw.X, se.X) << what;
  EXPECT_GE(nw.Y, se.Y) << what;
  EXPECT_EQ(ne.X, se.X) << what;
  EXPECT_EQ(ne.Y, nw.Y) << what;
  EXPECT_EQ(sw.X, nw.X) << what;
  EXPECT_EQ(sw.Y, se.Y) << what;
  EXPECT_EQ(area.NorthEast->Offset->XOffset, area.SouthEast->Offset->XOffset) << what;
  EXPECT_EQ(area.NorthEast->Offset->YOffset, area.NorthWest->Offset->YOffset) << what;
  EXPECT_EQ(area.SouthWest->Offset->XOffset, area.NorthWest->Offset->XOffset) << what;
  EXPECT_EQ(area.SouthWest->Offset->YOffset, area.SouthEast->Offset->YOffset) << what;
}

std::vector<std::string> Names(const ArrayOfPlaceFacts& list) {
  std::vector<std::string> names;
  for (const auto& facts : list) names.push_back(facts->Place->City + ", " + facts->Place->State);
  return names;
}

TBitmap24 DecodeTile(const std::string& base64, bool& isGif) {
  TMemoryStream stream;
  DecodeBase64ToStream(base64, stream);
  stream.Rewind();
  isGif = IsGifStream(stream);
  return isGif ? DecodeGif(stream.Data(), static_cast<std::size_t>(stream.Size()))
               : DecodeJpeg(stream.Data(), static_cast<std::size_t>(stream.Size()));
}

class MapServiceClientTest : public ::testing::Test {
 protected:
  // Two services for the whole suite: imagery everywhere, and imagery over the fifty
  // states only, for the client's no-imagery paths.
  static void SetUpTestSuite() {
    if (mst::kMapServicePath == nullptr) return;
    world_ = std::make_unique<mst::ServiceProcess>(std::vector<std::string>{"--port", "0"});
    us_ = std::make_unique<mst::ServiceProcess>(
        std::vector<std::string>{"--port", "0", "--coverage", "us"});
    worldProxy_ = CreateServiceProxy(false, world_->Endpoint());
    usProxy_ = CreateServiceProxy(false, us_->Endpoint());
  }
  static void TearDownTestSuite() {
    worldProxy_.reset();
    usProxy_.reset();
    world_.reset();
    us_.reset();
  }
  void SetUp() override {
    if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
    ASSERT_FALSE(world_->Endpoint().empty()) << world_->Line();
    ASSERT_FALSE(us_->Endpoint().empty()) << us_->Line();
  }

  static TerraServiceSoap& World() { return *worldProxy_; }
  static TerraServiceSoap& Us() { return *usProxy_; }

  static inline std::unique_ptr<mst::ServiceProcess> world_, us_;
  static inline std::shared_ptr<TerraServiceSoap> worldProxy_, usProxy_;
};

TEST_F(MapServiceClientTest, AreaFromPointHasTheRequestedSizeAroundThePoint) {
  const struct {
    const char* where;
    LonLatPt center;
    Theme theme;
    Scale scale;
    int width, height;
  } rows[] = {
      {"Central Park", kCentralPark, Theme::Photo, Scale::Scale1m, 640, 480},
      {"Hoboken topo", kHoboken, Theme::Topo, Scale::Scale2m, 321, 241},
      {"Seattle, one pixel", {-122.3321, 47.6062}, Theme::Photo, Scale::Scale8m, 1, 1},
      {"Honolulu, tall", {-157.8583, 21.3069}, Theme::Photo, Scale::Scale64m, 199, 401},
      {"Sydney", kSydney, Theme::Photo, Scale::Scale4m, 1023, 767},
      {"zone edge", {-72.0001, 41.5}, Theme::Topo, Scale::Scale16m, 200, 200},
      {"Quito, flat", {-78.4678, -0.1807}, Theme::Photo, Scale::Scale32m, 333, 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.where);
    const auto area =
        World().GetAreaFromPt(row.center, row.theme, row.scale, row.width, row.height);
    ASSERT_TRUE(area);
    ExpectWellFormedArea(*area, row.theme, row.scale, row.where);
    if (HasFatalFailure()) return;
    EXPECT_EQ(AreaPixelWidth(*area), row.width);
    EXPECT_EQ(AreaPixelHeight(*area), row.height);

    // The centre tile holds the point, which falls on the picture's middle pixel.
    const TileMeta& centre = *area->Center->TileMeta;
    EXPECT_TRUE(centre.TileExists);
    EXPECT_LE(OutsideOfTile(centre, row.center), 0.01) << Describe(*centre.Id);
    const TileId& nw = *area->NorthWest->TileMeta->Id;
    const double middleX = (centre.Id->X - nw.X) * 200.0 + area->Center->Offset->XOffset -
                           area->NorthWest->Offset->XOffset;
    const double middleY = (nw.Y - centre.Id->Y) * 200.0 + area->Center->Offset->YOffset -
                           area->NorthWest->Offset->YOffset;
    EXPECT_NEAR(middleX, row.width / 2, 1);
    EXPECT_NEAR(middleY, row.height / 2, 1);

    // A pan asks for the centre tile by its id and must get the same facts.
    const auto again = World().GetTileMetaFromTileId(*centre.Id);
    ASSERT_TRUE(again);
    ExpectSameMeta(*again, centre, "centre tile");

    EXPECT_FALSE(area->NearestPlace.empty());
    EXPECT_EQ(area->NearestPlace, World().ConvertLonLatPtToNearestPlace(row.center));
  }
}

TEST_F(MapServiceClientTest, AreaFromRectCoversEveryPixelTheRectangleTouches) {
  const struct {
    const char* where;
    LonLatPt upperLeft, lowerRight;
    Scale scale;
  } rows[] = {
      {"Lower Manhattan", {-74.02, 40.72}, {-73.97, 40.70}, Scale::Scale4m},
      {"Hoboken", {-74.045, 40.755}, {-74.02, 40.735}, Scale::Scale1m},
      {"Mount Rainier", {-121.85, 46.9}, {-121.65, 46.8}, Scale::Scale16m},
      {"a thin strip", {-89.65, 39.80175}, {-89.60, 39.80170}, Scale::Scale2m},
      {"Oahu", {-158.3, 21.75}, {-157.6, 21.25}, Scale::Scale64m},
      {"Sydney", {151.15, -33.82}, {151.25, -33.90}, Scale::Scale8m},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.where);
    const auto area =
        World().GetAreaFromRect(row.upperLeft, row.lowerRight, Theme::Photo, row.scale);
    ASSERT_TRUE(area);
    ExpectWellFormedArea(*area, Theme::Photo, row.scale, row.where);
    if (HasFatalFailure()) return;

    // In the grid's own metres (the service's projection): the area's north-west
    // corner is that of the pixel holding the upper-left point, its south-east corner
    // that of the pixel just past the one holding the lower-right point.
    const double m = MetresPerPixel(row.scale);
    const auto ul = World().ConvertLonLatPtToUtmPt(row.upperLeft);
    const auto lr = World().ConvertLonLatPtToUtmPt(row.lowerRight);
    const auto nw = World().ConvertLonLatPtToUtmPt(*area->NorthWest->Offset->Point);
    const auto se = World().ConvertLonLatPtToUtmPt(*area->SouthEast->Offset->Point);
    ASSERT_TRUE(ul && lr && nw && se);
    ASSERT_EQ(ul->Zone, lr->Zone);
    EXPECT_EQ(nw->Zone, ul->Zone);
    EXPECT_EQ(se->Zone, ul->Zone);
    EXPECT_EQ(area->NorthWest->TileMeta->Id->Scene, ul->Zone);
    const double eps = 1e-3;
    EXPECT_LE(nw->X, ul->X + eps);
    EXPECT_GT(nw->X, ul->X - m - eps);
    EXPECT_GE(nw->Y, ul->Y - eps);
    EXPECT_LT(nw->Y, ul->Y + m + eps);
    EXPECT_GE(se->X, lr->X - eps);
    EXPECT_LT(se->X, lr->X + m + eps);
    EXPECT_LE(se->Y, lr->Y + eps);
    EXPECT_GT(se->Y, lr->Y - m - eps);

    const auto width = AreaPixelWidth(*area), height = AreaPixelHeight(*area);
    EXPECT_NEAR(static_cast<double>(width) * m, se->X - nw->X, 0.01);
    EXPECT_NEAR(static_cast<double>(height) * m, nw->Y - se->Y, 0.01);
    // Hence the picture is the rectangle's extent rounded out to whole pixels.
    const double extentX = (lr->X - ul->X) / m, extentY = (ul->Y - lr->Y) / m;
    EXPECT_GE(width, std::floor(extentX));
    EXPECT_LE(width, std::ceil(extentX) + 1);
    EXPECT_GE(height, std::floor(extentY));
    EXPECT_LE(height, std::ceil(extentY) + 1);

    EXPECT_EQ(area->NearestPlace,
              World().ConvertLonLatPtToNearestPlace(*area->Center->Offset->Point));
  }
}

TEST_F(MapServiceClientTest, AreaFromTileIdIsCentredOnThatTile) {
  const struct {
    LonLatPt point;
    Theme theme;
    Scale scale;
    int width, height;
  } rows[] = {
      {kCentralPark, Theme::Photo, Scale::Scale4m, 600, 400},
      {kHoboken, Theme::Topo, Scale::Scale8m, 201, 99},
      {kSydney, Theme::Photo, Scale::Scale64m, 5, 1000},
  };
  for (const auto& row : rows) {
    const auto meta = World().GetTileMetaFromLonLatPt(row.point, row.theme, row.scale);
    ASSERT_TRUE(meta && meta->Id);
    SCOPED_TRACE(Describe(*meta->Id));
    const auto area = World().GetAreaFromTileId(*meta->Id, row.width, row.height);
    ASSERT_TRUE(area);
    ExpectWellFormedArea(*area, row.theme, row.scale, Describe(*meta->Id));
    if (HasFatalFailure()) return;
    EXPECT_EQ(AreaPixelWidth(*area), row.width);
    EXPECT_EQ(AreaPixelHeight(*area), row.height);
    ExpectSameMeta(*area->Center->TileMeta, *meta, "centre tile");
    EXPECT_EQ(area->NearestPlace,
              World().ConvertLonLatPtToNearestPlace(*area->Center->Offset->Point));
  }
}

TEST_F(MapServiceClientTest, TileMetaFollowsTheGridOfTheProjection) {
  const struct {
    LonLatPt point;
    Theme theme;
    Scale scale;
  } rows[] = {
      {kCentralPark, Theme::Photo, Scale::Scale1m},
      {kSydney, Theme::Topo, Scale::Scale64m},
      {{-149.9003, 61.2181}, Theme::Photo, Scale::Scale8m},  // Anchorage
      {{-78.4678, -0.1807}, Theme::Topo, Scale::Scale2m},    // Quito
  };
  for (const auto& row : rows) {
    const auto meta = World().GetTileMetaFromLonLatPt(row.point, row.theme, row.scale);
    ASSERT_TRUE(meta && meta->Id && meta->NorthWest && meta->NorthEast && meta->SouthWest &&
                meta->SouthEast && meta->Center);
    const TileId& id = *meta->Id;
    SCOPED_TRACE(Describe(id));
    EXPECT_EQ(id.Theme, row.theme);
    EXPECT_EQ(id.Scale, row.scale);
    EXPECT_TRUE(meta->TileExists);
    EXPECT_LE(OutsideOfTile(*meta, row.point), 0.0);
    EXPECT_LE(OutsideOfTile(*meta, *meta->Center), -0.49);

    // Tile column and row count 200-pixel tiles of easting and northing.
    const auto utm = World().ConvertLonLatPtToUtmPt(row.point);
    ASSERT_TRUE(utm);
    const double tileMetres = 200 * MetresPerPixel(row.scale);
    EXPECT_EQ(id.Scene, utm->Zone);
    EXPECT_EQ(id.X, static_cast<int>(std::floor(utm->X / tileMetres)));
    EXPECT_EQ(id.Y, static_cast<int>(std::floor(utm->Y / tileMetres)));

    ExpectSameMeta(*World().GetTileMetaFromTileId(id), *meta, "by id");
    // Neighbours share corners, so that the tiles join without gaps.
    TileId east = id, north = id;
    east.X += 1;
    north.Y += 1;
    const auto eastMeta = World().GetTileMetaFromTileId(east);
    const auto northMeta = World().GetTileMetaFromTileId(north);
    ExpectSamePoint(eastMeta->NorthWest.get(), meta->NorthEast.get(), "east neighbour");
    ExpectSamePoint(eastMeta->SouthWest.get(), meta->SouthEast.get(), "east neighbour");
    ExpectSamePoint(northMeta->SouthWest.get(), meta->NorthWest.get(), "north neighbour");
    ExpectSamePoint(northMeta->SouthEast.get(), meta->NorthEast.get(), "north neighbour");
  }
}

TEST_F(MapServiceClientTest, TilesArePhotoJpegsAndTopoGifsOf200By200) {
  const struct {
    LonLatPt point;
    Theme theme;
    Scale scale;
  } rows[] = {
      {kCentralPark, Theme::Photo, Scale::Scale1m},
      {kCentralPark, Theme::Photo, Scale::Scale64m},
      {kSydney, Theme::Photo, Scale::Scale4m},
      {kHoboken, Theme::Topo, Scale::Scale2m},
      {{-121.76, 46.85}, Theme::Topo, Scale::Scale16m},
  };
  for (const auto& row : rows) {
    const auto meta = World().GetTileMetaFromLonLatPt(row.point, row.theme, row.scale);
    ASSERT_TRUE(meta && meta->Id);
    SCOPED_TRACE(Describe(*meta->Id));
    ASSERT_TRUE(meta->TileExists);
    const std::string text = World().GetTile(*meta->Id);
    ASSERT_FALSE(text.empty());
    bool isGif = false;
    const TBitmap24 tile = DecodeTile(text, isGif);
    EXPECT_EQ(isGif, row.theme == Theme::Topo);
    EXPECT_EQ(tile.Width(), 200);
    EXPECT_EQ(tile.Height(), 200);
    std::set<std::uint32_t> colours;
    for (int y = 0; y < tile.Height(); ++y) {
      for (int x = 0; x < tile.Width(); ++x) {
        const std::uint8_t* p = tile.Pixel(x, y);
        colours.insert(p[0] | (p[1] << 8) | (p[2] << 16));
      }
    }
    EXPECT_GE(colours.size(), 2u) << "a blank tile";
    // The same tile again is the same file.
    EXPECT_EQ(World().GetTile(*meta->Id), text);
  }
}

TEST_F(MapServiceClientTest, NoImageryWhereTheServiceHoldsNone) {
  const struct {
    const char* what;
    bool usOnly;
    LonLatPt point;
    Theme theme;
    Scale scale;
    bool exists;
  } rows[] = {
      {"Topo at Scale1m", false, kCentralPark, Theme::Topo, Scale::Scale1m, false},
      {"Topo at Scale2m", false, kCentralPark, Theme::Topo, Scale::Scale2m, true},
      {"Relief", false, kCentralPark, Theme::Relief, Scale::Scale4m, false},
      {"Paris, fifty states only", true, kParis, Theme::Photo, Scale::Scale8m, false},
      {"Manhattan, fifty states only", true, kCentralPark, Theme::Photo, Scale::Scale8m, true},
      {"Paris, everywhere", false, kParis, Theme::Photo, Scale::Scale8m, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TerraServiceSoap& service = row.usOnly ? Us() : World();
    const auto meta = service.GetTileMetaFromLonLatPt(row.point, row.theme, row.scale);
    ASSERT_TRUE(meta && meta->Id);
    EXPECT_EQ(meta->TileExists, row.exists);
    EXPECT_EQ(service.GetTile(*meta->Id).empty(), !row.exists);
    const auto area = service.GetAreaFromPt(row.point, row.theme, row.scale, 300, 200);
    ASSERT_TRUE(area && area->Center && area->Center->TileMeta);
    EXPECT_EQ(area->Center->TileMeta->TileExists, row.exists);
  }
}

TEST_F(MapServiceClientTest, PlaceSearchMatchesNameBeginningsWithoutRegardToCase) {
  const struct {
    const char* text;
    int maxItems;
    bool imagePresence;
    int count;  // -1: at least one
    const char* cityPrefix;
    const char* state;  // empty: any
  } rows[] = {
      {"san", 100, true, 100, "san", ""},
      {"SaN", 100, true, 100, "san", ""},
      {"a", 100, true, 100, "a", ""},
      {"san", 7, false, 7, "san", ""},
      {"Springfield, Illinois", 100, true, -1, "springfield", "Illinois"},
      {"springfield, IL", 100, true, -1, "springfield", "Illinois"},
      {"Hoboken, New Jersey", 100, true, -1, "hoboken", "New Jersey"},
      {"New York", 100, true, -1, "new york", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    const ArrayOfPlaceFacts list = World().GetPlaceList(row.text, row.maxItems, row.imagePresence);
    if (row.count >= 0) {
      EXPECT_EQ(static_cast<int>(list.size()), row.count);
    } else {
      EXPECT_FALSE(list.empty());
    }
    for (const auto& facts : list) {
      ASSERT_TRUE(facts && facts->Place && facts->Center);
      const std::string name = facts->Place->City + ", " + facts->Place->State;
      EXPECT_EQ(Lower(facts->Place->City).rfind(row.cityPrefix, 0), 0u) << name;
      if (*row.state) {
        EXPECT_EQ(facts->Place->State, row.state) << name;
      }
      EXPECT_EQ(facts->Place->Country, "United States") << name;
      EXPECT_TRUE(std::isfinite(facts->Center->Lon) && std::isfinite(facts->Center->Lat)) << name;
      EXPECT_GE(facts->Population, 0) << name;
      if (row.imagePresence) {
        EXPECT_FALSE(facts->AvailableThemeMask.empty()) << name;
      }
    }
  }
  // Case does not matter, and a state narrows the answers.
  EXPECT_EQ(Names(World().GetPlaceList("SaN", 100, true)),
            Names(World().GetPlaceList("san", 100, true)));
  EXPECT_EQ(Names(World().GetPlaceList("springfield, IL", 100, true)),
            Names(World().GetPlaceList("Springfield, Illinois", 100, true)));
  std::set<std::string> states;
  for (const auto& facts : World().GetPlaceList("Springfield", 100, true)) {
    states.insert(facts->Place->State);
  }
  EXPECT_GE(states.size(), 2u);
}

TEST_F(MapServiceClientTest, ImagePresenceKeepsOnlyPlacesWithImagery) {
  // Over the fifty states only, some places (on coasts, off the traced border) lie
  // outside the imagery; asking for imagery must leave exactly those out.
  const ArrayOfPlaceFacts all = Us().GetPlaceList("k", 100000, false);
  const ArrayOfPlaceFacts withImagery = Us().GetPlaceList("k", 100000, true);
  std::vector<std::string> expected;
  for (const auto& facts : all) {
    if (!facts->AvailableThemeMask.empty()) {
      expected.push_back(facts->Place->City + ", " + facts->Place->State);
    }
  }
  EXPECT_GE(withImagery.size(), 100u);
  EXPECT_EQ(Names(withImagery), expected);
}

TEST_F(MapServiceClientTest, NearestPlaceNamesTheTownItsDistanceAndDirection) {
  const struct {
    LonLatPt point;
    const char* town;  // empty: any
  } rows[] = {
      {kHoboken, "Hoboken, New Jersey"},
      {{-74.020, 40.744}, "Hoboken, New Jersey"},
      {{-74.050, 40.760}, "Hoboken, New Jersey"},
      {kCentralPark, ""},
      {{-110.55, 44.45}, ""},  // Yellowstone Lake, far from any town
      {{-157.80, 21.28}, ""},
      {{-149.9003, 61.2181}, ""},
  };
  static const char* const kCompass[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
  const std::regex pattern(R"(^(?:(\d+) km (N|NE|E|SE|S|SW|W|NW) of )?(.+), ([^,]+)$)");
  for (const auto& row : rows) {
    const std::string text = World().ConvertLonLatPtToNearestPlace(row.point);
    SCOPED_TRACE(text);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(text, match, pattern));
    if (*row.town) {
      EXPECT_EQ(match[3].str() + ", " + match[4].str(), row.town);
    }
    // The named town lies where the text says, seen from the town.
    Place place;
    place.City = match[3].str();
    place.State = match[4].str();
    const auto facts = World().GetPlaceFacts(place);
    ASSERT_TRUE(facts && facts->Center);
    const double metres = DistanceMetres(*facts->Center, row.point);
    if (!match[1].matched) {
      EXPECT_LT(metres, 1000 * 1.01);
      continue;
    }
    EXPECT_GT(metres, 1000 * 0.99);
    EXPECT_NEAR(std::stod(match[1].str()), metres / 1000, 0.5 + metres / 1000 * 0.01);
    const double bearing = BearingDegrees(*facts->Center, row.point);
    const int sector = static_cast<int>(std::floor((bearing + 22.5) / 45)) % 8;
    const int nearSector = static_cast<int>(std::floor((bearing + 22.5 + 1) / 45)) % 8;
    const int farSector = static_cast<int>(std::floor((bearing + 22.5 + 359) / 45)) % 8;
    EXPECT_TRUE(match[2] == kCompass[sector] || match[2] == kCompass[nearSector] ||
                match[2] == kCompass[farSector])
        << bearing;
  }
}

TEST_F(MapServiceClientTest, UtmConversionRoundTrips) {
  const struct {
    LonLatPt point;
    int zone;
  } rows[] = {
      {kCentralPark, 18},     {{-157.8583, 21.3069}, 4}, {kSydney, 56},
      {{-72.0001, 41.5}, 18}, {{-71.9999, 41.5}, 19},    {{-78.4678, -0.1807}, 17},
      {{179.9, -16.5}, 60},   {{-179.9, 65.0}, 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.point.Lon << ", " << row.point.Lat);
    const auto utm = World().ConvertLonLatPtToUtmPt(row.point);
    ASSERT_TRUE(utm);
    EXPECT_EQ(utm->Zone, row.zone);
    EXPECT_GT(utm->X, 100000);
    EXPECT_LT(utm->X, 900000);
    const auto back = World().ConvertUtmPtToLonLatPt(*utm);
    ASSERT_TRUE(back);
    EXPECT_NEAR(back->Lon, row.point.Lon, 1e-7);
    EXPECT_NEAR(back->Lat, row.point.Lat, 1e-7);
  }
  // Further north is a larger northing, further east a larger easting.
  const auto a = World().ConvertLonLatPtToUtmPt({-74.0, 40.7});
  const auto b = World().ConvertLonLatPtToUtmPt({-73.9, 40.8});
  EXPECT_GT(b->X, a->X);
  EXPECT_GT(b->Y, a->Y);
}

TEST_F(MapServiceClientTest, GazetteerPlacesByNameAndByRectangle) {
  // A place found by search converts to its own centre and facts.
  const ArrayOfPlaceFacts found = World().GetPlaceList("Hoboken, New Jersey", 1, true);
  ASSERT_EQ(found.size(), 1u);
  const Place& hoboken = *found[0]->Place;
  EXPECT_EQ(hoboken.City, "Hoboken");
  EXPECT_NEAR(found[0]->Center->Lon, kHoboken.Lon, 0.02);
  EXPECT_NEAR(found[0]->Center->Lat, kHoboken.Lat, 0.02);
  ExpectSamePoint(World().ConvertPlaceToLonLatPt(hoboken).get(), found[0]->Center.get(),
                  "ConvertPlaceToLonLatPt");
  const auto facts = World().GetPlaceFacts(hoboken);
  ASSERT_TRUE(facts && facts->Place);
  EXPECT_EQ(facts->Place->City, "Hoboken");
  EXPECT_EQ(facts->Place->State, "New Jersey");
  EXPECT_EQ(facts->PlaceTypeId, PlaceType::CityTown);
  EXPECT_GT(facts->Population, 10000);
  ExpectSamePoint(facts->Center.get(), found[0]->Center.get(), "GetPlaceFacts");

  const struct {
    const char* where;
    LonLatPt upperLeft, lowerRight;
    PlaceType type;
    bool some;
  } rows[] = {
      {"Manhattan", {-74.03, 40.88}, {-73.90, 40.70}, PlaceType::UnknownPlaceType, true},
      {"Manhattan towns", {-74.03, 40.88}, {-73.90, 40.70}, PlaceType::CityTown, true},
      {"Hudson County", {-74.17, 40.80}, {-73.98, 40.64}, PlaceType::UnknownPlaceType, true},
      {"mid-Atlantic", {-40.0, 30.0}, {-39.0, 29.0}, PlaceType::UnknownPlaceType, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.where);
    const int count = World().CountPlacesInRect(row.upperLeft, row.lowerRight, row.type);
    EXPECT_EQ(count > 0, row.some) << count;
    const ArrayOfPlaceFacts list =
        World().GetPlaceListInRect(row.upperLeft, row.lowerRight, row.type, 100000);
    EXPECT_EQ(static_cast<int>(list.size()), count);
    for (const auto& p : list) {
      EXPECT_GE(p->Center->Lon, row.upperLeft.Lon) << p->Place->City;
      EXPECT_LE(p->Center->Lon, row.lowerRight.Lon) << p->Place->City;
      EXPECT_LE(p->Center->Lat, row.upperLeft.Lat) << p->Place->City;
      EXPECT_GE(p->Center->Lat, row.lowerRight.Lat) << p->Place->City;
      if (row.type != PlaceType::UnknownPlaceType) {
        EXPECT_EQ(p->PlaceTypeId, row.type);
      }
    }
    // MaxItems cuts the same list short.
    const ArrayOfPlaceFacts firstTwo =
        World().GetPlaceListInRect(row.upperLeft, row.lowerRight, row.type, 2);
    ASSERT_EQ(firstTwo.size(), std::min<std::size_t>(2, list.size()));
    for (std::size_t i = 0; i < firstTwo.size(); ++i) {
      EXPECT_EQ(firstTwo[i]->Place->City, list[i]->Place->City);
    }
  }
}

TEST_F(MapServiceClientTest, ThemesAndTheirMetricsAgree) {
  const struct {
    Theme theme;
    Scale lo, hi;
  } rows[] = {
      {Theme::Photo, Scale::Scale1m, Scale::Scale64m},
      {Theme::Topo, Scale::Scale2m, Scale::Scale64m},
  };
  for (const auto& row : rows) {
    const auto info = World().GetTheme(row.theme);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->Theme, row.theme);
    EXPECT_EQ(info->LoScale, row.lo);
    EXPECT_EQ(info->HiScale, row.hi);
    EXPECT_FALSE(info->Name.empty());
  }
  const ArrayOfThemeBoundingBox boxes = World().GetLatLonMetrics(kCentralPark);
  std::set<Theme> themes;
  for (const auto& box : boxes) {
    themes.insert(box->Theme);
    EXPECT_LE(box->WestLongitude, kCentralPark.Lon);
    EXPECT_GE(box->EastLongitude, kCentralPark.Lon);
    EXPECT_LE(box->SouthLatitude, kCentralPark.Lat);
    EXPECT_GE(box->NorthLatitude, kCentralPark.Lat);
    EXPECT_EQ(box->LoScale, World().GetTheme(box->Theme)->LoScale);
  }
  EXPECT_EQ(themes, (std::set<Theme>{Theme::Photo, Theme::Topo}));
  // Outside the imagery there are no metrics.
  EXPECT_TRUE(Us().GetLatLonMetrics(kParis).empty());
}

TEST_F(MapServiceClientTest, FaultsReachTheClientWithTheirText) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string photo1m = "<theme>Photo</theme><scale>Scale1m</scale>";
  const struct {
    const char* what;
    std::string operation, parameters;  // the same request, sent by hand
    std::function<void()> call;
    const char* says;
  } rows[] = {
      {"NaN centre", "GetAreaFromPt",
       "<center><Lon>NaN</Lon><Lat>40</Lat></center>" + photo1m +
           "<displayPixWidth>10</displayPixWidth><displayPixHeight>10</displayPixHeight>",
       [&] {
         World().GetAreaFromPt({nan, 40}, Theme::Photo, Scale::Scale1m, 10, 10);
       },
       "finite"},
      {"oversize area", "GetAreaFromPt",
       mst::Point("center", -74, 40) + photo1m +
           "<displayPixWidth>2000000</displayPixWidth><displayPixHeight>10</displayPixHeight>",
       [&] {
         World().GetAreaFromPt({-74, 40}, Theme::Photo, Scale::Scale1m, 2000000, 10);
       },
       "pixels"},
      {"unknown place", "ConvertPlaceToLonLatPt",
       "<place><City>Atlantis</City><State>Nowhere</State><Country></Country></place>",
       [&] {
         World().ConvertPlaceToLonLatPt(Place{"Atlantis", "Nowhere", ""});
       },
       "Atlantis"},
      {"relief theme", "GetTheme", "<theme>Relief</theme>",
       [&] { World().GetTheme(Theme::Relief); }, "Relief"},
      {"negative search limit", "GetPlaceList",
       "<placeName>Boston</placeName><MaxItems>-1</MaxItems><imagePresence>true</imagePresence>",
       [&] { World().GetPlaceList("Boston", -1, true); }, "MaxItems"},
      {"crossed rectangle", "GetAreaFromRect",
       mst::Point("upperLeft", -73.9, 40.7) + mst::Point("lowerRight", -74.0, 40.8) + photo1m,
       [&] {
         World().GetAreaFromRect({-73.9, 40.7}, {-74.0, 40.8}, Theme::Photo, Scale::Scale1m);
       },
       "south-east"},
  };
  httplib::Client raw("127.0.0.1", world_->Port());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto reply =
        raw.Post("/terraservice.asmx", {{"SOAPAction", mst::SoapAction(row.operation)}},
                 mst::SoapRequest(row.operation, row.parameters), "text/xml");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 500);
    const std::string faultString = mst::FaultString(reply->body);
    EXPECT_NE(faultString.find(row.says), std::string::npos) << faultString;
    try {
      row.call();
      ADD_FAILURE() << "no error";
    } catch (const EQuorvilError& e) {
      EXPECT_EQ(std::string(e.what()), faultString);
    }
  }
  // The service goes on answering; an empty search is no fault but finds nothing.
  EXPECT_FALSE(World().ConvertLonLatPtToNearestPlace(kCentralPark).empty());
  EXPECT_TRUE(World().GetPlaceList("", 100, true).empty());
}

TEST_F(MapServiceClientTest, WsdlProxyReachesTheSameService) {
  const auto viaWsdl = CreateServiceProxy(true, world_->Endpoint() + "?WSDL");
  const auto direct = World().GetAreaFromPt(kCentralPark, Theme::Photo, Scale::Scale4m, 640, 480);
  const auto described =
      viaWsdl->GetAreaFromPt(kCentralPark, Theme::Photo, Scale::Scale4m, 640, 480);
  ASSERT_TRUE(direct && described);
  ExpectSameMeta(*described->NorthWest->TileMeta, *direct->NorthWest->TileMeta, "NorthWest");
  ExpectSameMeta(*described->SouthEast->TileMeta, *direct->SouthEast->TileMeta, "SouthEast");
  EXPECT_EQ(AreaPixelWidth(*described), 640);
  EXPECT_EQ(AreaPixelHeight(*described), 480);
  EXPECT_EQ(described->NearestPlace, direct->NearestPlace);
  EXPECT_EQ(Names(viaWsdl->GetPlaceList("san", 100, true)),
            Names(World().GetPlaceList("san", 100, true)));
  EXPECT_EQ(viaWsdl->GetTile(*direct->Center->TileMeta->Id),
            World().GetTile(*direct->Center->TileMeta->Id));
  // A WSDL location that names no document fails on the first call.
  const auto nowhere = CreateServiceProxy(true, world_->Endpoint() + "/nothing?WSDL");
  EXPECT_THROW(nowhere->ConvertLonLatPtToNearestPlace(kCentralPark), EQuorvilError);
}

// Stops the tile store however the test ends.
struct TileServiceGuard {
  ~TileServiceGuard() { FinalizeTileService(); }
};

TEST_F(MapServiceClientTest, TileStoreDrawsAnAreaAndCachesItsTiles) {
  const struct {
    LonLatPt center;
    Theme theme;
    Scale scale;
    int width, height;
  } rows[] = {
      {kCentralPark, Theme::Photo, Scale::Scale4m, 450, 300},
      {kHoboken, Theme::Topo, Scale::Scale2m, 321, 201},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(EnumName(row.theme));
    quorvil::testing::TTempFolder cache;
    TileServiceGuard guard;
    InitializeTileService(world_->Endpoint(), cache.Path().string(), 1000, 10);
    const auto area =
        ServiceProxy().GetAreaFromPt(row.center, row.theme, row.scale, row.width, row.height);
    ASSERT_TRUE(area);
    TBitmap24 bitmap = NewAreaBitmap(*area);
    ASSERT_EQ(bitmap.Width(), row.width);
    ASSERT_EQ(bitmap.Height(), row.height);
    std::vector<int> percents;
    EXPECT_TRUE(
        DrawAreaToBitmap(bitmap, *area, [&](bool&, int percent) { percents.push_back(percent); }));
    EXPECT_EQ(static_cast<std::int64_t>(percents.size()), AreaTileCount(*area));
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);

    std::int64_t files = 0;
    for (const auto& entry : fs::directory_iterator(cache.Path())) {
      EXPECT_EQ(entry.path().extension(), ".TMP") << entry.path();
      ++files;
    }
    EXPECT_EQ(files, AreaTileCount(*area));
    EXPECT_EQ(TileIndexCount(), AreaTileCount(*area));
    EXPECT_TRUE(fs::exists(TileFileName(*area->Center->TileMeta->Id)));

    // The tiles cover the whole picture: hardly any pixel keeps the black fill.
    std::int64_t black = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        const std::uint8_t* p = bitmap.Pixel(x, y);
        if (p[0] == 0 && p[1] == 0 && p[2] == 0) ++black;
      }
    }
    EXPECT_LT(black, static_cast<std::int64_t>(row.width) * row.height / 100);
  }
}

TEST_F(MapServiceClientTest, TileStoreRefusesATileWithoutData) {
  quorvil::testing::TTempFolder cache;
  TileServiceGuard guard;
  InitializeTileService(us_->Endpoint(), cache.Path().string(), 1000, 10);
  const auto meta = ServiceProxy().GetTileMetaFromLonLatPt(kParis, Theme::Photo, Scale::Scale8m);
  ASSERT_TRUE(meta && meta->Id);
  TMemoryStream stream;
  try {
    LoadTileToStream(stream, *meta->Id);
    ADD_FAILURE() << "no error";
  } catch (const EQuorvilError& e) {
    EXPECT_STREQ(e.what(), "LoadTileToStream: No tile data returned.");
  }
  EXPECT_TRUE(fs::is_empty(cache.Path()));
}

}  // namespace
}  // namespace quorvil
