// Tiles per second of the local map service: generating and encoding a tile, warping
// and encoding one from a large GeoTIFF with overviews beside the synthetic land at the
// same scales, the same tiles through --preset usgs's description from a loopback tile
// server, and answering GetTile from the tile cache (request parsing and answer
// included); and reading the HTTP request that carries it, whole and as a trickle of
// small pieces.

#include <benchmark/benchmark.h>
#include <cpl_conv.h>

#include <fstream>
#include <memory>
#include <string>

#include "mapservice/GdalImagery.h"
#include "mapservice/HttpRequest.h"
#include "mapservice/ImageryPreset.h"
#include "mapservice/MapService.h"
#include "support/GdalDatasets.h"
#include "support/LoopbackTileServer.h"
#include "support/TempFolder.h"

namespace quorvil::mapservice {
namespace {

const MapService& Service() {
  static const MapService service({CoverageKind::World, 256ll << 20});
  return service;
}

std::string TileRequest(const TileId& id) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><GetTile xmlns=\"" +
         std::string(kTerraServiceNamespace) + "\"><id><Theme>" + std::string(EnumName(id.Theme)) +
         "</Theme><Scale>" + std::string(EnumName(id.Scale)) + "</Scale><Scene>" +
         std::to_string(id.Scene) + "</Scene><X>" + std::to_string(id.X) + "</X><Y>" +
         std::to_string(id.Y) + "</Y></id></GetTile></soap:Body></soap:Envelope>";
}

// Central Park at 4 m (town, park, water) and the Rockies at 64 m (mountains).
void GenerateAndEncode(benchmark::State& state, Theme theme, Scale scale, double lon, double lat) {
  const TileGrid grid(CoverageKind::World);
  const Terrain terrain(Gazetteer::Instance());
  const TileRenderer renderer(terrain);
  TileId id = *grid.MetaFromPoint({lon, lat}, theme, scale)->Id;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    ++id.X;  // a new tile every time
    bytes += static_cast<std::int64_t>(renderer.RenderTileFile(id).size());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes_per_tile"] = static_cast<double>(bytes) / state.iterations();
}
BENCHMARK_CAPTURE(GenerateAndEncode, PhotoCentralPark4m, Theme::Photo, Scale::Scale4m, -73.965,
                  40.784)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GenerateAndEncode, TopoCentralPark4m, Theme::Topo, Scale::Scale4m, -73.965,
                  40.784)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GenerateAndEncode, PhotoRockies64m, Theme::Photo, Scale::Scale64m, -105.68, 40.34)
    ->Unit(benchmark::kMillisecond);

// The same ground as synthetic land, for the comparison with the GeoTIFF below.
BENCHMARK_CAPTURE(GenerateAndEncode, PhotoSynthetic1m, Theme::Photo, Scale::Scale1m, -75.0, 40.6)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GenerateAndEncode, PhotoSynthetic16m, Theme::Photo, Scale::Scale16m, -75.0, 40.6)
    ->Unit(benchmark::kMillisecond);

// A 10,000 x 10,000-pixel orthophoto at 1 m in UTM zone 18 (10 km square at its central
// meridian), tiled, with overviews down to 1:32; made once, removed at exit.
constexpr double kRasterWest = 500000, kRasterNorth = 4500000;
constexpr int kRasterSide = 10000;

const GdalImagery& LargeGeoTiff() {
  static const testing::TTempFolder folder;
  static const GdalImagery imagery = [] {
    testing::TRasterSpec raster(folder / "ortho.tif", "EPSG:32618", kRasterWest, kRasterNorth, 1,
                                kRasterSide, kRasterSide);
    raster.tiled = true;
    raster.overviews = {2, 4, 8, 16, 32};
    // Fields of a few hundred metres with texture in them, as an orthophoto has.
    testing::WriteGeoTiff(raster, [](int x, int y, int band) {
      const int field = ((x / 300) * 7 + (y / 200) * 13) % 5;
      const int texture = ((x * 31) ^ (y * 17)) & 15;
      return static_cast<std::uint8_t>(60 + field * 30 + texture + band * 20);
    });
    return GdalImagery({folder / "ortho.tif", ""});
  }();
  return imagery;
}

// The preset's photographs from a loopback tile server: the shipped description with its
// host replaced; GDAL's disk cache off, so that every new tile is fetched.
const GdalImagery& PresetTileService() {
  static const testing::TTempFolder folder;
  static testing::TLoopbackTileServer server(400);
  static const GdalImagery imagery = [] {
    CPLSetConfigOption("GDAL_ENABLE_WMS_CACHE", "NO");
    std::ifstream in(PresetFolder() + "/usgs-imagery.xml");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string shipped = "https://basemap.nationalmap.gov";
    text.replace(text.find(shipped), shipped.size(),
                 "http://127.0.0.1:" + std::to_string(server.Port()));
    std::ofstream(folder / "usgs-imagery.xml") << text;
    return GdalImagery({folder / "usgs-imagery.xml", ""});
  }();
  return imagery;
}

void GeoTiffTile(benchmark::State& state, Scale scale, bool remote) {
  const GdalImagery& imagery = remote ? PresetTileService() : LargeGeoTiff();
  const int tiles = static_cast<int>(kRasterSide / (MetresPerPixel(scale) * kTilePixels));
  const int firstX = static_cast<int>(kRasterWest / (MetresPerPixel(scale) * kTilePixels));
  const int firstY = static_cast<int>(kRasterNorth / (MetresPerPixel(scale) * kTilePixels)) - 1;
  int next = 0;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    const int k = next++ % (tiles * tiles);
    const TileId id{Theme::Photo, scale, 18, firstX + k % tiles, firstY - k / tiles};
    bytes += static_cast<std::int64_t>(imagery.TileFile(id).size());
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes_per_tile"] = static_cast<double>(bytes) / state.iterations();
}
BENCHMARK_CAPTURE(GeoTiffTile, Photo1m, Scale::Scale1m, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GeoTiffTile, Photo16m, Scale::Scale16m, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GeoTiffTile, PresetUsgs1m, Scale::Scale1m, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(GeoTiffTile, PresetUsgs16m, Scale::Scale16m, true)->Unit(benchmark::kMillisecond);

void CachedGetTile(benchmark::State& state) {
  const TileId id{Theme::Photo, Scale::Scale4m, 18, 732, 5644};
  const std::string request = TileRequest(id);
  Service().Handle("", request);  // fills the cache
  for (auto _ : state) {
    SoapReply reply = Service().Handle("", request);
    benchmark::DoNotOptimize(reply.body.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CachedGetTile)->Unit(benchmark::kMicrosecond);

void ReadHttpRequest(benchmark::State& state) {
  const std::string body = TileRequest({Theme::Photo, Scale::Scale4m, 18, 732, 5644});
  const std::string request =
      "POST /terraservice.asmx HTTP/1.1\r\nHost: 127.0.0.1:47015\r\nAccept: */*\r\n"
      "Accept-Encoding: deflate, gzip, br\r\nContent-Type: text/xml; charset=utf-8\r\n"
      "SOAPAction: \"http://terraserver-usa.com/terraserver/GetTile\"\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  const auto piece = static_cast<std::size_t>(state.range(0));
  HttpRequestParser parser;
  for (auto _ : state) {
    parser.Reset();
    for (std::size_t at = 0; at < request.size(); at += piece) {
      parser.Feed(std::string_view(request).substr(at, piece));
    }
    benchmark::DoNotOptimize(parser.Request().body.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(request.size()));
}
BENCHMARK(ReadHttpRequest)->Arg(1 << 16)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace quorvil::mapservice
