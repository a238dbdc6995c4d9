// The map service serving the user's own imagery: small datasets made with GDAL (one in
// a UTM zone, one in longitude and latitude, one with a palette, a tile service on the
// loopback), served by the built quorvil-mapservice and read back through the program's
// own SOAP client.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "imagery/Bitmap24.h"
#include "imagery/GifCodec.h"
#include "imagery/JpegCodec.h"
#include "mapservice/ImageryPreset.h"
#include "mapservice/UtmProjection.h"
#include "platform/ProgramError.h"
#include "service/TerraServiceSoapSupport.h"
#include "settings/ImageryCredit.h"
#include "support/ErrorMessage.h"
#include "support/GdalDatasets.h"
#include "support/LoopbackTileServer.h"
#include "support/MapServiceTestSupport.h"
#include "support/SilentServer.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

namespace mst = mapservice::testing;
using mapservice::UtmForward;
using mapservice::UtmInverse;

constexpr int kZone = 18;
constexpr int kCell = 100;  // dataset pixels per pattern cell
constexpr int kSide = 1000;
constexpr double kMercatorCell = 400;  // metres of the tile service's pattern cells

struct TRgb {
  int r = 0, g = 0, b = 0;
};

TRgb CellColour(int i, int j) { return {30 + 20 * i, 30 + 20 * j, (i + j) % 2 ? 220 : 40}; }

const std::vector<std::uint8_t> kTopoPalette = {200, 30,  30,  30, 160, 30, 30, 30,
                                                200, 220, 200, 40, 150, 80, 20, 20,
                                                150, 150, 120, 30, 140, 90, 90, 90};
int TopoIndex(int i, int j) { return (i + 2 * j) % 8; }
TRgb TopoColour(int i, int j) {
  const int k = TopoIndex(i, j) * 3;
  return {kTopoPalette[k], kTopoPalette[k + 1], kTopoPalette[k + 2]};
}

// How a dataset places its pixels on the ground.
enum class TPlacement { Utm, Geographic };

struct TDataset {
  TPlacement placement;
  double originX, originY, pixelSize;
};

// Ground 50 m off the tile grid's 200 m lines, so that tile edges fall inside cells.
constexpr TDataset kUtm{TPlacement::Utm, 580050, 4519950, 1};
constexpr TDataset kGeographic{TPlacement::Geographic, -73.99, 40.71, 1e-5};

// The dataset's pixel (column, row) under a ground point.
std::pair<double, double> DatasetPixel(const TDataset& d, double lon, double lat) {
  if (d.placement == TPlacement::Geographic) {
    return {(lon - d.originX) / d.pixelSize, (d.originY - lat) / d.pixelSize};
  }
  const auto utm = UtmForward({lon, lat}, kZone);
  return {(utm.Easting - d.originX) / d.pixelSize, (d.originY - utm.Northing) / d.pixelSize};
}

// The ground point of the centre of cell (i, j).
LonLatPt CellCentre(const TDataset& d, int i, int j) {
  const double x = (i + 0.5) * kCell * d.pixelSize, y = (j + 0.5) * kCell * d.pixelSize;
  if (d.placement == TPlacement::Geographic) return {d.originX + x, d.originY - y};
  const auto p = UtmInverse({kZone, d.originX + x, d.originY - y});
  return {p.Lon, p.Lat};
}

// The ground point at the centre of pixel (x, y) of a tile.
LonLatPt TilePixelPoint(const TileId& id, int x, int y) {
  const double m = std::ldexp(1.0, static_cast<int>(id.Scale) - 10);
  const auto p =
      UtmInverse({id.Scene, (id.X * 200 + x + 0.5) * m, ((id.Y + 1) * 200 - y - 0.5) * m});
  return {p.Lon, p.Lat};
}

// The tile pixel under a ground point.
std::pair<int, int> PixelOfPoint(const TileId& id, const LonLatPt& p) {
  const double m = std::ldexp(1.0, static_cast<int>(id.Scale) - 10);
  const auto utm = UtmForward({p.Lon, p.Lat}, id.Scene);
  return {static_cast<int>(std::floor(utm.Easting / m - id.X * 200.0)),
          static_cast<int>(std::floor((id.Y + 1) * 200.0 - utm.Northing / m))};
}

TRgb At(const TBitmap24& tile, int x, int y) {
  const std::uint8_t* p = tile.Pixel(x, y);
  return {p[2], p[1], p[0]};
}

int Distance(const TRgb& a, const TRgb& b) {
  return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

double Luma(const TRgb& c) { return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b; }

std::string Text(const TRgb& c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

std::vector<std::uint8_t> TileFile(TerraServiceSoap& service, const TileId& id) {
  return mst::Base64Decode(service.GetTile(id));
}

bool IsGif(const std::vector<std::uint8_t>& file) {
  return file.size() > 4 && std::string(file.begin(), file.begin() + 4) == "GIF8";
}

TBitmap24 DecodeTile(const std::vector<std::uint8_t>& file) {
  return IsGif(file) ? DecodeGif(file.data(), file.size()) : DecodeJpeg(file.data(), file.size());
}

// Web Mercator metres of a point and back.
std::pair<double, double> Mercator(const LonLatPt& p) {
  const double r = 6378137.0, k = 3.14159265358979323846 / 180;
  return {r * p.Lon * k, r * std::log(std::tan(3.14159265358979323846 / 4 + p.Lat * k / 2))};
}
LonLatPt FromMercator(double x, double y) {
  const double r = 6378137.0, k = 3.14159265358979323846 / 180;
  return {x / r / k, (2 * std::atan(std::exp(y / r)) - 3.14159265358979323846 / 2) / k};
}
TRgb MercatorColour(double x, double y) {
  const auto c = testing::MercatorColour(x, y, kMercatorCell);
  return {c.r, c.g, c.b};
}

// A GDAL description of the tile service: the whole Mercator world down to level 17.
std::string TileServiceDescription(int port) {
  return "<GDAL_WMS><Service name=\"TMS\"><ServerUrl>http://127.0.0.1:" + std::to_string(port) +
         "/${z}/${x}/${y}.jpg</ServerUrl></Service><DataWindow>"
         "<UpperLeftX>-20037508.34</UpperLeftX><UpperLeftY>20037508.34</UpperLeftY>"
         "<LowerRightX>20037508.34</LowerRightX><LowerRightY>-20037508.34</LowerRightY>"
         "<TileLevel>17</TileLevel><TileCountX>1</TileCountX><TileCountY>1</TileCountY>"
         "<YOrigin>top</YOrigin></DataWindow><Projection>EPSG:3857</Projection>"
         "<BlockSizeX>256</BlockSizeX><BlockSizeY>256</BlockSizeY><BandsCount>3</BandsCount>"
         "</GDAL_WMS>";
}

class GdalImageryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (mst::kMapServicePath == nullptr) return;
    // Loopback requests of the tile service never go through a proxy.
    setenv("NO_PROXY", "127.0.0.1", 1);
    temp_ = std::make_unique<testing::TTempFolder>();
    const auto rgb = [](int x, int y, int band) {
      const TRgb c = CellColour(x / kCell, y / kCell);
      return static_cast<std::uint8_t>(band == 0 ? c.r : band == 1 ? c.g : c.b);
    };
    testing::WriteGeoTiff({*temp_ / "utm.tif", "EPSG:32618", kUtm.originX, kUtm.originY,
                           kUtm.pixelSize, kSide, kSide},
                          rgb);
    testing::WriteGeoTiff({*temp_ / "geo.tif", "EPSG:4326", kGeographic.originX,
                           kGeographic.originY, kGeographic.pixelSize, kSide, kSide},
                          rgb);
    testing::TRasterSpec palette(*temp_ / "palette.tif", "EPSG:32618", kUtm.originX, kUtm.originY,
                                 kUtm.pixelSize, kSide, kSide, 1);
    palette.palette = kTopoPalette;
    testing::WriteGeoTiff(palette, [](int x, int y, int) {
      return static_cast<std::uint8_t>(TopoIndex(x / kCell, y / kCell));
    });
    xyz_ = std::make_unique<testing::TLoopbackTileServer>(kMercatorCell);
    std::ofstream(*temp_ / "xyz.xml") << TileServiceDescription(xyz_->Port());

    utm_ = std::make_unique<mst::ServiceProcess>(std::vector<std::string>{
        "--port", "0", "--photo", *temp_ / "utm.tif", "--topo", *temp_ / "palette.tif"});
    geo_ = std::make_unique<mst::ServiceProcess>(std::vector<std::string>{
        "--port", "0", "--photo", *temp_ / "geo.tif", "--topo", *temp_ / "utm.tif"});
    tiles_ = std::make_unique<mst::ServiceProcess>(
        std::vector<std::string>{"--port", "0", "--photo", *temp_ / "xyz.xml"});
    // The UTM photograph again in 16 bits a colour, as scanners and some programmes write.
    testing::Translate(*temp_ / "utm.tif", *temp_ / "utm16.tif",
                       {"-ot", "UInt16", "-scale", "0", "255", "0", "65535"});
    // A map of few flat colours: 800 m squares.
    testing::WriteGeoTiff({*temp_ / "flat.tif", "EPSG:32618", 580000, 4520000, 1, 1600, 1600},
                          [](int x, int y, int band) {
                            return static_cast<std::uint8_t>(band == 0   ? 90 + x / 800 * 70
                                                             : band == 1 ? 50 + y / 800 * 90
                                                                         : 33);
                          });
    wide_ = std::make_unique<mst::ServiceProcess>(std::vector<std::string>{
        "--port", "0", "--photo", *temp_ / "utm16.tif", "--topo", *temp_ / "flat.tif"});
  }
  static void TearDownTestSuite() {
    utm_.reset();
    geo_.reset();
    tiles_.reset();
    wide_.reset();
    xyz_.reset();
    temp_.reset();
  }
  void SetUp() override {
    if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
    for (const auto* process : {utm_.get(), geo_.get(), tiles_.get(), wide_.get()}) {
      ASSERT_FALSE(process->Endpoint().empty()) << process->Line();
    }
  }

  static std::shared_ptr<TerraServiceSoap> Proxy(const mst::ServiceProcess& process) {
    return CreateServiceProxy(false, process.Endpoint());
  }

  // The service of a dataset: photographs from it (and topographic maps from the other).
  static const mst::ServiceProcess& ServiceOf(const TDataset& d) {
    return d.placement == TPlacement::Utm ? *utm_ : *geo_;
  }

  static inline std::unique_ptr<testing::TTempFolder> temp_;
  static inline std::unique_ptr<testing::TLoopbackTileServer> xyz_;
  static inline std::unique_ptr<mst::ServiceProcess> utm_, geo_, tiles_, wide_;
};

TEST_F(GdalImageryTest, TileAtAKnownPointHasTheDatasetsColourThere) {
  const struct {
    const TDataset* dataset;
    int i, j;
    Scale scale;
    bool wide = false;  // the 16-bit copy
  } rows[] = {
      {&kUtm, 3, 4, Scale::Scale1m},        {&kUtm, 8, 1, Scale::Scale1m},
      {&kUtm, 5, 5, Scale::Scale4m},        {&kUtm, 2, 7, Scale::Scale2m},
      {&kGeographic, 3, 4, Scale::Scale1m}, {&kGeographic, 6, 2, Scale::Scale2m},
      {&kGeographic, 7, 8, Scale::Scale8m}, {&kUtm, 3, 4, Scale::Scale1m, true},
      {&kUtm, 9, 9, Scale::Scale2m, true},
  };
  for (const auto& row : rows) {
    const auto service = Proxy(row.wide ? *wide_ : ServiceOf(*row.dataset));
    const LonLatPt point = CellCentre(*row.dataset, row.i, row.j);
    const auto meta = service->GetTileMetaFromLonLatPt(point, Theme::Photo, row.scale);
    ASSERT_TRUE(meta && meta->Id);
    SCOPED_TRACE(std::string(EnumName(row.scale)) + " cell " + std::to_string(row.i) + "," +
                 std::to_string(row.j));
    EXPECT_TRUE(meta->TileExists);
    const std::vector<std::uint8_t> file = TileFile(*service, *meta->Id);
    ASSERT_FALSE(file.empty());
    ASSERT_FALSE(IsGif(file)) << "a photograph is a JPEG";
    const TBitmap24 tile = DecodeTile(file);
    ASSERT_EQ(tile.Width(), 200);
    ASSERT_EQ(tile.Height(), 200);
    const auto [x, y] = PixelOfPoint(*meta->Id, point);
    ASSERT_TRUE(x >= 0 && x < 200 && y >= 0 && y < 200) << x << "," << y;
    const TRgb want = CellColour(row.i, row.j);
    EXPECT_LE(Distance(At(tile, x, y), want), 12) << Text(At(tile, x, y)) << " vs " << Text(want);
  }
}

// Every pattern edge that crosses a block of 2 x 2 tiles lies where the dataset puts it
// (to a pixel), and the pixels on both sides of each tile edge agree.
TEST_F(GdalImageryTest, NeighbouringTilesJoinWithoutASeam) {
  for (const TDataset* d : {&kUtm, &kGeographic}) {
    const LonLatPt corner = CellCentre(*d, 4, 4);
    auto meta = Proxy(ServiceOf(*d))->GetTileMetaFromLonLatPt(corner, Theme::Photo, Scale::Scale1m);
    ASSERT_TRUE(meta && meta->Id);
    // The four tiles come at once, as the viewer's tile store fetches them.
    TileId ids[4];
    TBitmap24 tiles[4];
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k) {
      ids[k] = *meta->Id;
      ids[k].X += k % 2;
      ids[k].Y -= k / 2;
      threads.emplace_back([&, k] {
        const auto own = Proxy(ServiceOf(*d));
        const std::vector<std::uint8_t> file = TileFile(*own, ids[k]);
        if (!file.empty()) tiles[k] = DecodeTile(file);
      });
    }
    for (auto& t : threads) t.join();
    for (const TBitmap24& tile : tiles) ASSERT_EQ(tile.Width(), 200);

    // A 400 x 400 picture of the block, and where the dataset's cell edges cross it.
    auto pixel = [&](int x, int y) { return At(tiles[(y / 200) * 2 + x / 200], x % 200, y % 200); };
    auto cellOf = [&](int x, int y) {
      const TileId& id = ids[(y / 200) * 2 + x / 200];
      const LonLatPt p = TilePixelPoint(id, x % 200, y % 200);
      const auto [col, row] = DatasetPixel(*d, p.Lon, p.Lat);
      return std::pair{static_cast<int>(std::floor(col / kCell)),
                       static_cast<int>(std::floor(row / kCell))};
    };
    int edges = 0;
    for (int y = 10; y < 400; y += 37) {
      for (int x = 5; x < 395; ++x) {
        const auto [i0, j0] = cellOf(x - 1, y);
        const auto [i1, j1] = cellOf(x, y);
        if (i0 == i1 || j0 != j1) continue;
        // Brightness steps between the cells (JPEG keeps it at full resolution, unlike the
        // colour): it crosses its middle here, give or take a pixel.
        const double middle = (Luma(CellColour(i0, j0)) + Luma(CellColour(i1, j1))) / 2;
        int crossing = -1;
        for (int s = x - 4; s <= x + 4; ++s) {
          if ((Luma(pixel(s - 1, y)) < middle) != (Luma(pixel(s, y)) < middle)) {
            crossing = s;
            break;
          }
        }
        EXPECT_LE(std::abs(crossing - x), 1) << "edge at " << x << "," << y;
        ++edges;
      }
    }
    EXPECT_GE(edges, 20);
    // The tile edges run through cells: both sides show the same colour.
    double across = 0;
    for (int k = 0; k < 400; ++k) {
      across += Distance(pixel(199, k), pixel(200, k)) + Distance(pixel(k, 199), pixel(k, 200));
    }
    EXPECT_LT(across / 800, 6);
  }
}

TEST_F(GdalImageryTest, GroundOutsideTheDatasetHasNoTileAndItsEdgeIsWhite) {
  const auto service = Proxy(*utm_);
  const struct {
    const char* what;
    LonLatPt point;
    Theme theme;
    Scale scale;
    bool exists;
  } rows[] = {
      {"inside", CellCentre(kUtm, 5, 5), Theme::Photo, Scale::Scale1m, true},
      {"a kilometre east", CellCentre(kUtm, 20, 5), Theme::Photo, Scale::Scale1m, false},
      {"far away", {2.35, 48.86}, Theme::Photo, Scale::Scale8m, false},
      {"topo inside", CellCentre(kUtm, 5, 5), Theme::Topo, Scale::Scale2m, true},
      {"topo at 1 m", CellCentre(kUtm, 5, 5), Theme::Topo, Scale::Scale1m, false},
      {"relief", CellCentre(kUtm, 5, 5), Theme::Relief, Scale::Scale4m, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto meta = service->GetTileMetaFromLonLatPt(row.point, row.theme, row.scale);
    ASSERT_TRUE(meta && meta->Id);
    EXPECT_EQ(meta->TileExists, row.exists);
    EXPECT_EQ(service->GetTile(*meta->Id).empty(), !row.exists);
    const auto area = service->GetAreaFromPt(row.point, row.theme, row.scale, 300, 200);
    ASSERT_TRUE(area && area->Center && area->Center->TileMeta);
    EXPECT_EQ(area->Center->TileMeta->TileExists, row.exists);
  }

  // The dataset's west edge runs 50 m into the tiles of its first column.
  const auto meta =
      service->GetTileMetaFromLonLatPt(CellCentre(kUtm, 0, 3), Theme::Photo, Scale::Scale1m);
  const TBitmap24 tile = DecodeTile(TileFile(*service, *meta->Id));
  ASSERT_EQ(tile.Width(), 200);
  const auto [x, y] = PixelOfPoint(*meta->Id, CellCentre(kUtm, 0, 3));
  EXPECT_LE(Distance(At(tile, 20, y), {255, 255, 255}), 6) << Text(At(tile, 20, y));
  EXPECT_LE(Distance(At(tile, x, y), CellColour(0, 3)), 12) << Text(At(tile, x, y));
}

TEST_F(GdalImageryTest, ThemesAndAreasSayWhatIsThere) {
  const auto service = Proxy(*utm_);
  const auto photo = service->GetTheme(Theme::Photo);
  ASSERT_TRUE(photo);
  EXPECT_NE(photo->Description.find("utm.tif"), std::string::npos) << photo->Description;
  EXPECT_NE(photo->Description.find("1 m per pixel"), std::string::npos) << photo->Description;
  const auto topo = service->GetTheme(Theme::Topo);
  ASSERT_TRUE(topo);
  EXPECT_NE(topo->Description.find("palette.tif"), std::string::npos) << topo->Description;

  // With photographs only, there is no topographic map at all.
  const auto photoOnly = Proxy(*tiles_);
  EXPECT_THROW(photoOnly->GetTheme(Theme::Topo), EQuorvilError);
  const LonLatPt inside = CellCentre(kUtm, 5, 5);
  const auto area = photoOnly->GetAreaFromPt(inside, Theme::Photo, Scale::Scale4m, 300, 200);
  ASSERT_TRUE(area);
  EXPECT_TRUE(area->OverlappingThemeInfos.empty());

  // Where both datasets lie, the photograph's area names the map, and not elsewhere.
  const struct {
    LonLatPt point;
    std::size_t overlapping;
  } rows[] = {{inside, 1}, {{inside.Lon + 0.05, inside.Lat}, 0}};
  for (const auto& row : rows) {
    const auto a = service->GetAreaFromPt(row.point, Theme::Photo, Scale::Scale4m, 300, 200);
    ASSERT_TRUE(a);
    ASSERT_EQ(a->OverlappingThemeInfos.size(), row.overlapping);
    if (row.overlapping) {
      EXPECT_EQ(a->OverlappingThemeInfos[0]->Theme, Theme::Topo);
    }
  }
}

TEST_F(GdalImageryTest, TopoTilesAreGifsWithTheDatasetsColours) {
  const struct {
    const char* what;
    const mst::ServiceProcess* process;
    bool ownPalette;
    int tolerance;
  } rows[] = {
      {"palette dataset", utm_.get(), true, 0},
      {"colour dataset, median-cut palette", geo_.get(), false, 20},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const auto service = Proxy(*row.process);
    for (const auto& [i, j] : {std::pair{2, 3}, std::pair{6, 6}, std::pair{7, 1}}) {
      const LonLatPt point = CellCentre(kUtm, i, j);
      const auto meta = service->GetTileMetaFromLonLatPt(point, Theme::Topo, Scale::Scale2m);
      ASSERT_TRUE(meta && meta->TileExists);
      const std::vector<std::uint8_t> file = TileFile(*service, *meta->Id);
      ASSERT_TRUE(IsGif(file));
      const TBitmap24 tile = DecodeTile(file);
      ASSERT_EQ(tile.Width(), 200);
      const auto [x, y] = PixelOfPoint(*meta->Id, point);
      const TRgb want = row.ownPalette ? TopoColour(i, j) : CellColour(i, j);
      EXPECT_LE(Distance(At(tile, x, y), want), row.tolerance)
          << Text(At(tile, x, y)) << " vs " << Text(want);
      if (!row.ownPalette) continue;
      // Nothing but the dataset's colours and the white of uncovered ground.
      std::set<int> allowed = {0xFFFFFF};
      for (std::size_t k = 0; k < kTopoPalette.size(); k += 3) {
        allowed.insert(kTopoPalette[k] << 16 | kTopoPalette[k + 1] << 8 | kTopoPalette[k + 2]);
      }
      for (int py = 0; py < 200; ++py) {
        for (int px = 0; px < 200; ++px) {
          const TRgb c = At(tile, px, py);
          ASSERT_TRUE(allowed.count(c.r << 16 | c.g << 8 | c.b)) << Text(c);
        }
      }
    }
  }
}

// Colours few enough for one palette stay exactly as they are, on every tile.
TEST_F(GdalImageryTest, TopoTilesOfFewColoursKeepThemExactly) {
  const auto service = Proxy(*wide_);
  const struct {
    TileId id;
    TRgb colour;
  } rows[] = {
      {{Theme::Topo, Scale::Scale2m, kZone, 1451, 11298}, {90, 50, 33}},
      {{Theme::Topo, Scale::Scale2m, kZone, 1453, 11296}, {160, 140, 33}},
  };
  for (const auto& row : rows) {
    const std::vector<std::uint8_t> file = TileFile(*service, row.id);
    ASSERT_TRUE(IsGif(file));
    const TBitmap24 tile = DecodeTile(file);
    ASSERT_EQ(tile.Width(), 200);
    for (int y = 0; y < 200; y += 7) {
      for (int x = 0; x < 200; x += 7) ASSERT_EQ(Text(At(tile, x, y)), Text(row.colour));
    }
  }
}

TEST_F(GdalImageryTest, TileServiceDescriptionIsServed) {
  const auto service = Proxy(*tiles_);
  const int before = xyz_->Requests();
  const auto [mx, my] = Mercator({-73.965, 40.784});
  for (Scale scale : {Scale::Scale1m, Scale::Scale8m, Scale::Scale64m}) {
    SCOPED_TRACE(EnumName(scale));
    // The middle of a pattern cell, a few cells apart at each scale.
    const double cx = (std::floor(mx / kMercatorCell) + 0.5) * kMercatorCell;
    const double cy =
        (std::floor(my / kMercatorCell) + 0.5 + static_cast<int>(scale)) * kMercatorCell;
    const LonLatPt point = FromMercator(cx, cy);
    const auto meta = service->GetTileMetaFromLonLatPt(point, Theme::Photo, scale);
    ASSERT_TRUE(meta && meta->TileExists);
    const TBitmap24 tile = DecodeTile(TileFile(*service, *meta->Id));
    ASSERT_EQ(tile.Width(), 200);
    const auto [x, y] = PixelOfPoint(*meta->Id, point);
    const TRgb want = MercatorColour(cx, cy);
    // At 64 m a pixel spans a sixth of a cell, so the middle still has the cell's colour.
    EXPECT_LE(Distance(At(tile, x, y), want), 14) << Text(At(tile, x, y)) << " vs " << Text(want);
  }
  EXPECT_GT(xyz_->Requests(), before);
}

TEST_F(GdalImageryTest, UnreadableDatasetStopsTheStartNamingTheFile) {
  const testing::TTempFolder temp;
  temp.Write("damaged.tif", std::string("II*\0", 4) + std::string(500, 'x'));
  temp.Write("plain.txt", "not a picture");
  const testing::TRasterSpec nowhere{temp / "nowhere.tif", "", 0, 0, 1, 10, 10};
  testing::WriteGeoTiff(nowhere, [](int, int, int) { return std::uint8_t{7}; });
  const struct {
    std::vector<std::string> args;
    std::string named, says;
  } rows[] = {
      {{"--photo", temp / "damaged.tif"}, temp / "damaged.tif", "Cannot open"},
      {{"--topo", temp / "missing.tif"}, temp / "missing.tif", "Cannot open"},
      {{"--photo", temp / "plain.txt"}, temp / "plain.txt", "Cannot open"},
      {{"--photo", temp / "nowhere.tif"}, temp / "nowhere.tif", "no place on the ground"},
      {{"--photo"}, "--photo", "wants a dataset"},
      {{"--topo", temp / "nowhere.tif", "--topo", temp / "plain.txt"}, "--topo", "only once"},
      {{"--preset", "mars"}, "--preset", "wants usgs"},
      {{"--preset", "usgs", "--photo", temp / "plain.txt"}, "--preset usgs", "leave out --photo"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.named);
    std::vector<std::string> args = {"--port", "0"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    mst::ServiceProcess process(args, temp / "err.txt");
    EXPECT_EQ(process.Wait(), 2);
    EXPECT_EQ(process.Endpoint(), "");
    std::ifstream in(temp / "err.txt");
    const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(err.find(row.named), std::string::npos) << err;
    EXPECT_NE(err.find(row.says), std::string::npos) << err;
  }
}

// A mosaic whose eastern file is damaged after it was built: tiles there are a fault
// that names the file, and the service goes on serving the rest.
TEST_F(GdalImageryTest, UnreadablePartOfADatasetIsAFaultAndTheServiceGoesOn) {
  const testing::TTempFolder temp;
  const auto colour = [](int, int, int band) { return static_cast<std::uint8_t>(60 + band * 50); };
  testing::WriteGeoTiff({temp / "west.tif", "EPSG:32618", 580000, 4520000, 1, 400, 400}, colour);
  testing::WriteGeoTiff({temp / "east.tif", "EPSG:32618", 580400, 4520000, 1, 400, 400}, colour);
  testing::BuildVrt(temp / "mosaic.vrt", {temp / "west.tif", temp / "east.tif"});
  temp.Write("east.tif", std::string(300, 'x'));
  mst::ServiceProcess process({"--port", "0", "--log", "--photo", temp / "mosaic.vrt"},
                              temp / "err.txt");
  ASSERT_FALSE(process.Endpoint().empty()) << process.Line();
  const auto service = CreateServiceProxy(false, process.Endpoint());
  const std::string serverPath = temp / "east.tif";
  const TileId west{Theme::Photo, Scale::Scale1m, kZone, 2900, 22599};
  const TileId east{Theme::Photo, Scale::Scale1m, kZone, 2903, 22599};
  for (int round = 0; round < 2; ++round) {
    EXPECT_FALSE(service->GetTile(west).empty());
    try {
      service->GetTile(east);
      ADD_FAILURE() << "the damaged part gave a tile";
    } catch (const EQuorvilError& e) {
      EXPECT_NE(std::string(e.what()).find("east.tif"), std::string::npos) << e.what();
      // The client hears the dataset as the command line named it, not the server's files.
      EXPECT_NE(std::string(e.what()).find("Cannot read the dataset " + temp / "mosaic.vrt"),
                std::string::npos)
          << e.what();
      EXPECT_EQ(std::string(e.what()).find(serverPath), std::string::npos) << e.what();
    }
  }
  // The log keeps the whole text; GDAL's own messages reach it only through the log.
  std::ifstream in(temp / "err.txt");
  const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(err.find(serverPath), std::string::npos) << err;
  EXPECT_EQ(err.find("ERROR "), std::string::npos) << err;
}

// A tile service whose server never answers: its tiles are faults by their deadline, the
// other requests are answered meanwhile, and a stop does not wait for the hung reads.
TEST_F(GdalImageryTest, ASilentTileServerHoldsNeitherTheServiceNorItsStop) {
  const testing::TSilentServer silent;
  const testing::TTempFolder temp;
  const std::string url = silent.Url();
  std::ofstream(temp / "silent.xml")
      << TileServiceDescription(std::atoi(url.c_str() + url.rfind(':') + 1));
  mst::ServiceProcess process(
      {"--port", "0", "--photo", temp / "silent.xml", "--dataset-timeout-ms", "1500"});
  ASSERT_FALSE(process.Endpoint().empty()) << process.Line();
  // More tiles than there are workers.
  std::atomic<int> faults{0};
  std::vector<std::thread> tiles;
  for (int i = 0; i < 20; ++i) {
    tiles.emplace_back([&, i] {
      httplib::Client client("127.0.0.1", process.Port());
      const auto reply =
          client.Post("/terraservice.asmx", {{"SOAPAction", mst::SoapAction("GetTile")}},
                      mst::SoapRequest("GetTile", mst::Id("Photo", "Scale1m", 18, 2900 + i, 22599)),
                      "text/xml; charset=utf-8");
      if (reply && reply->status == 500 &&
          mst::FaultString(reply->body) == "The imagery did not answer within 2 s") {
        ++faults;
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  httplib::Client client("127.0.0.1", process.Port());
  client.set_read_timeout(1, 0);
  const auto wsdl = client.Get("/terraservice.asmx?WSDL");
  ASSERT_TRUE(wsdl);
  EXPECT_EQ(wsdl->status, 200);
  const auto places =
      client.Post("/terraservice.asmx", {{"SOAPAction", mst::SoapAction("GetPlaceList")}},
                  mst::SoapRequest("GetPlaceList",
                                   "<placeName>Boston</placeName><MaxItems>5</MaxItems>"
                                   "<imagePresence>true</imagePresence>"),
                  "text/xml; charset=utf-8");
  ASSERT_TRUE(places);
  EXPECT_EQ(places->status, 200);
  for (auto& t : tiles) t.join();
  EXPECT_EQ(faults, 20);
  // The reads behind them still wait on the server.
  const auto start = std::chrono::steady_clock::now();
  process.Signal(SIGTERM);
  EXPECT_EQ(process.Wait(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// A small file of a huge raster, of bytes and of 16 bits: start-up reads no more than a
// sample, and a coarse tile reads the raster decimated.
TEST_F(GdalImageryTest, AHugeRasterCostsLittleToOpenAndToTile) {
  const testing::TTempFolder temp;
  testing::WriteGeoTiff(
      {temp / "small.tif", "EPSG:32618", 0, 5000000, 10000, 100, 100},
      [](int x, int y, int band) { return static_cast<std::uint8_t>(band == 0 ? x * 2 : y * 2); });
  testing::Translate(temp / "small.tif", temp / "small16.tif",
                     {"-ot", "UInt16", "-scale", "0", "255", "0", "4095"});
  for (const auto& [file, type] : {std::pair{"small.tif", "Byte"}, {"small16.tif", "UInt16"}}) {
    SCOPED_TRACE(type);
    testing::WriteHugeVrt(temp / "huge.vrt", temp / file, type);
    mst::ServiceProcess process({"--port", "0", "--photo", temp / "huge.vrt"});
    ASSERT_FALSE(process.Endpoint().empty()) << process.Line();
    EXPECT_LT(process.PeakMemoryKb(), 150 << 10);
    const auto service = Proxy(process);
    // 64 m a pixel near the middle: 12.8 km of ground, 164 million source pixels.
    EXPECT_EQ(DecodeTile(TileFile(*service, {Theme::Photo, Scale::Scale64m, 18, 39, 351})).Width(),
              200);
    EXPECT_LT(process.PeakMemoryKb(), 256 << 10);
  }
}

// The shipped descriptions of --preset usgs with only their host replaced by a loopback
// tile server's, and the service started with the preset.
class UsgsPresetTest : public ::testing::Test {
 protected:
  static constexpr double kCell = 1600;  // metres of the pattern's cells

  static void SetUpTestSuite() {
    if (mst::kMapServicePath == nullptr) return;
    setenv("NO_PROXY", "127.0.0.1", 1);
    temp_ = std::make_unique<testing::TTempFolder>();
    tiles_ = std::make_unique<testing::TLoopbackTileServer>(kCell, std::chrono::seconds(4));
    live_ = Start("live", "127.0.0.1:" + std::to_string(tiles_->Port()));
    dead_ = Start("dead", "127.0.0.1:1");
  }
  static void TearDownTestSuite() {
    live_.reset();
    dead_.reset();
    tiles_.reset();
    temp_.reset();
  }
  static std::unique_ptr<mst::ServiceProcess> Start(const std::string& name,
                                                    const std::string& host) {
    const std::filesystem::path folder = *temp_ / name;
    std::filesystem::create_directories(folder);
    for (const char* file : {"usgs-imagery.xml", "usgs-topo.xml"}) {
      std::ifstream in(mapservice::PresetFolder() + "/" + file);
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const std::string shipped = "https://basemap.nationalmap.gov";
      text.replace(text.find(shipped), shipped.size(), "http://" + host);
      std::ofstream(folder / file) << text;
    }
    // The slow answer outlasts a stall time-out shortened for the test.
    setenv("QUORVIL_IMAGERY_DIR", folder.c_str(), 1);
    setenv("XDG_CACHE_HOME", (folder / "cache").c_str(), 1);
    setenv("GDAL_HTTP_LOW_SPEED_TIME", "2", 1);
    auto process = std::make_unique<mst::ServiceProcess>(
        std::vector<std::string>{"--port", "0", "--preset", "usgs"});
    for (const char* v : {"QUORVIL_IMAGERY_DIR", "XDG_CACHE_HOME", "GDAL_HTTP_LOW_SPEED_TIME"})
      unsetenv(v);
    return process;
  }
  void SetUp() override {
    if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "quorvil-mapservice is not built";
    ASSERT_FALSE(live_->Endpoint().empty()) << live_->Line();
  }
  // The middle of a pattern cell near Central Park, `shift` cells north.
  static LonLatPt CellPoint(int shift) {
    const auto [mx, my] = Mercator({-73.965, 40.784});
    return FromMercator((std::floor(mx / kCell) + 0.5) * kCell,
                        (std::floor(my / kCell) + 0.5 + shift) * kCell);
  }
  static TRgb Want(const LonLatPt& p) {
    const auto [mx, my] = Mercator(p);
    const auto c = testing::MercatorColour(mx, my, kCell);
    return {c.r, c.g, c.b};
  }

  static inline std::unique_ptr<testing::TTempFolder> temp_;
  static inline std::unique_ptr<testing::TLoopbackTileServer> tiles_;
  static inline std::unique_ptr<mst::ServiceProcess> live_, dead_;
};

// Each scale reads one zoom level of the tile service, the coarsest as fine as the view
// (never finer than the deepest, 16), a handful of remote tiles a tile.
TEST_F(UsgsPresetTest, EachScaleReadsItsZoomLevelWithTheRightColoursAndNoSeams) {
  const auto service = CreateServiceProxy(false, live_->Endpoint());
  const struct {
    Scale scale;
    int level;
  } rows[] = {{Scale::Scale1m, 16}, {Scale::Scale4m, 15}, {Scale::Scale64m, 11}};
  int shift = 0;
  for (const auto& row : rows) {
    for (Theme theme : {Theme::Photo, Theme::Topo}) {
      if (theme == Theme::Topo && row.scale == Scale::Scale1m) continue;  // maps start at 2 m
      SCOPED_TRACE(std::string(EnumName(row.scale)) + " " + std::string(EnumName(theme)));
      const LonLatPt point = CellPoint(++shift);
      tiles_->TakeCounts();
      const auto meta = service->GetTileMetaFromLonLatPt(point, theme, row.scale);
      ASSERT_TRUE(meta && meta->TileExists);
      const TBitmap24 tile = DecodeTile(TileFile(*service, *meta->Id));
      const std::map<int, int> counts = tiles_->TakeCounts();
      ASSERT_EQ(counts.size(), 1u);
      EXPECT_EQ(counts.begin()->first, row.level);
      EXPECT_LE(counts.begin()->second, 4);
      const auto [x, y] = PixelOfPoint(*meta->Id, point);
      EXPECT_LE(Distance(At(tile, x, y), Want(point)), 20) << Text(At(tile, x, y));
      if (row.scale != Scale::Scale1m || theme != Theme::Photo) continue;
      // The neighbours east and south join it without a seam.
      TileId east = *meta->Id, south = *meta->Id;
      ++east.X;
      --south.Y;
      const TBitmap24 e = DecodeTile(TileFile(*service, east));
      const TBitmap24 s = DecodeTile(TileFile(*service, south));
      double across = 0;
      for (int k = 0; k < 200; ++k) {
        across += Distance(At(tile, 199, k), At(e, 0, k)) + Distance(At(tile, k, 199), At(s, k, 0));
      }
      EXPECT_LT(across / 400, 6);
    }
  }
  EXPECT_EQ(AskDataSource(live_->Endpoint()),
            "U.S. Geological Survey, The National Map (Public domain; place names from GeoNames "
            "(CC BY 4.0)).");
  EXPECT_EQ(tiles_->UserAgent().rfind("Quorvil/", 0), 0u) << tiles_->UserAgent();
  EXPECT_TRUE(std::filesystem::exists(*temp_ / "live/cache/Quorvil/gdal"));
}

// A failing tile service is a fault naming the cause, for that tile only; nothing of the
// failure stays, so the same tile comes whole once the service answers again.
TEST_F(UsgsPresetTest, FailedRemoteTileIsAFaultNamingTheCauseAndIsNotKept) {
  using F = testing::TLoopbackTileServer::TFailure;
  const std::string host = "127.0.0.1:" + std::to_string(tiles_->Port());
  const struct {
    F failure;
    const mst::ServiceProcess* process;
    std::string says;
  } rows[] = {
      {F::Status500, live_.get(), "Cannot fetch imagery from " + host + ": HTTP status 500"},
      {F::Slow, live_.get(), "Cannot fetch imagery from " + host + ": time-out"},
      {F::Reset, live_.get(), "Cannot fetch imagery from " + host + ": connection broken off"},
      {F::None, dead_.get(), "Cannot fetch imagery from 127.0.0.1:1: connection refused"},
  };
  int shift = 40;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.says);
    const auto service = CreateServiceProxy(false, row.process->Endpoint());
    const LonLatPt point = CellPoint(++shift);
    // The tile's id from its ground: asking the service would fetch it already.
    const auto utm = UtmForward({point.Lon, point.Lat}, kZone);
    const TileId id{Theme::Photo, Scale::Scale2m, kZone, static_cast<int>(utm.Easting / 400),
                    static_cast<int>(utm.Northing / 400)};
    tiles_->Fail(row.failure);
    for (Theme theme : {Theme::Photo, Theme::Topo}) {
      TileId themed = id;
      themed.Theme = theme;
      EXPECT_EQ(testing::MessageOf([&] { service->GetTile(themed); }), row.says);
    }
    tiles_->Fail(F::None);
    if (row.process != live_.get()) continue;
    const TBitmap24 tile = DecodeTile(TileFile(*service, id));
    const auto [x, y] = PixelOfPoint(id, point);
    EXPECT_LE(Distance(At(tile, x, y), Want(point)), 20) << Text(At(tile, x, y));
  }
}

}  // namespace
}  // namespace quorvil
