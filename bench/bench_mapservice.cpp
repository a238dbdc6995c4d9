// Tiles per second of the local map service: generating and encoding a tile, and
// answering GetTile from the tile cache (request parsing and answer included); and
// reading the HTTP request that carries it, whole and as a trickle of small pieces.

#include <benchmark/benchmark.h>

#include <string>

#include "mapservice/HttpRequest.h"
#include "mapservice/MapService.h"

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
