// Tiles per second of the local map service: generating and encoding a tile (beside
// encoding the same picture alone), warping and encoding one from a large GeoTIFF with
// overviews beside the synthetic land at the same scales, the GeoTIFF's tiles asked of
// the service process over HTTP (its CPU a tile beside the same warp and encode in this
// process), the same tiles through --preset usgs's description from a loopback tile
// server, and answering GetTile from the tile cache (request parsing and answer
// included); and reading the HTTP request that carries it, whole and as a trickle of
// small pieces. Under hostile load: how many ordinary requests are answered within a
// second while 1,000 clients trickle a byte every 3 s; and what one coarse tile of a
// 1,000,000 x 1,000,000-pixel VRT costs.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cpl_conv.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "imagery/JpegCodec.h"
#include "mapservice/GdalImagery.h"
#include "mapservice/HttpListener.h"
#include "mapservice/HttpRequest.h"
#include "mapservice/ImageryPreset.h"
#include "mapservice/MapService.h"
#include "support/GdalDatasets.h"
#include "support/LoopbackTileServer.h"
#include "support/MapServiceProcess.h"
#include "support/RawHttpClient.h"
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

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Central Park at 4 m (town, park, water) and the Rockies at 64 m (mountains). The
// reference: encoding the last tile's picture alone, in the same run.
void GenerateAndEncode(benchmark::State& state, Theme theme, Scale scale, double lon, double lat) {
  const TileGrid grid(CoverageKind::World);
  const Terrain terrain(Gazetteer::Instance());
  const TileRenderer renderer(terrain);
  TileId id = *grid.MetaFromPoint({lon, lat}, theme, scale)->Id;
  std::int64_t bytes = 0;
  const double start = ThreadCpuSeconds();
  for (auto _ : state) {
    ++id.X;  // a new tile every time
    bytes += static_cast<std::int64_t>(renderer.RenderTileFile(id).size());
  }
  const double perTile = (ThreadCpuSeconds() - start) / static_cast<double>(state.iterations());
  const GroundTile ground = terrain.SampleTile(id.Scene, id.Scale, id.X, id.Y);
  const TBitmap24 photo = RenderPhoto(ground);
  const std::vector<std::uint8_t> topo = RenderTopo(ground);
  constexpr int kEncodes = 100;
  const double encodeStart = ThreadCpuSeconds();
  for (int i = 0; i < kEncodes; ++i) {
    benchmark::DoNotOptimize(theme == Theme::Topo
                                 ? EncodeGif(topo, kTilePixels, kTilePixels, TopoPalette())
                                 : EncodeJpeg(photo, kPhotoJpegQuality));
  }
  const double encode = (ThreadCpuSeconds() - encodeStart) / kEncodes;
  state.SetItemsProcessed(state.iterations());
  state.counters["bytes_per_tile"] = static_cast<double>(bytes) / state.iterations();
  state.counters["encode_alone_ms"] = 1e3 * encode;
  state.counters["x_reference"] = perTile / encode;
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

const std::string& LargeGeoTiffPath() {
  static const testing::TTempFolder folder;
  static const std::string path = [] {
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
    return std::string(folder / "ortho.tif");
  }();
  return path;
}

const GdalImagery& LargeGeoTiff() {
  static const GdalImagery imagery({LargeGeoTiffPath(), ""});
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

// CPU time of every thread of a process so far, from the scheduler's figures.
double ProcessCpuSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double total = 0;
  if (DIR* dir = opendir(tasks.c_str())) {
    while (const dirent* e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream in(tasks + "/" + e->d_name + "/schedstat");
      double ns = 0;
      if (in >> ns) total += ns * 1e-9;
    }
    closedir(dir);
  }
  return total;
}

// GetTile of the GeoTIFF's 1 m tiles asked of the service process over one kept-alive
// connection, each tile once (its tile cache never answers): the service's CPU a tile,
// beside the same warp and encode in this process.
void GeoTiffGetTileHttp(benchmark::State& state) {
  if (testing::kMapServicePath == nullptr) {
    state.SkipWithError("built without the service program");
    return;
  }
  static testing::ServiceProcess service({"--photo", LargeGeoTiffPath(), "--port", "0"});
  static int next = 0;
  constexpr Scale scale = Scale::Scale1m;
  const int tiles = static_cast<int>(kRasterSide / (MetresPerPixel(scale) * kTilePixels));
  const int firstX = static_cast<int>(kRasterWest / (MetresPerPixel(scale) * kTilePixels));
  const int firstY = static_cast<int>(kRasterNorth / (MetresPerPixel(scale) * kTilePixels)) - 1;
  auto tileOf = [&](int k) {
    k %= tiles * tiles;
    return TileId{Theme::Photo, scale, 18, firstX + k % tiles, firstY - k / tiles};
  };
  testing::TRawHttpClient client(service.Port());
  if (!client.Connected()) {
    state.SkipWithError("the service did not start");
    return;
  }
  auto ask = [&client](const TileId& id) {
    const std::string body = TileRequest(id);
    client.Send(
        "POST /terraservice.asmx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Content-Type: text/xml; charset=utf-8\r\n"
        "SOAPAction: \"http://terraserver-usa.com/terraserver/GetTile\"\r\n"
        "Content-Length: " +
        std::to_string(body.size()) + "\r\n\r\n" + body);
    return client.ReadAnswer();
  };
  const int first = next;
  std::int64_t bytes = 0;
  const double start = ProcessCpuSeconds(service.Pid());
  for (auto _ : state) {
    const std::string answer = ask(tileOf(next++));
    if (!answer.starts_with("HTTP/1.1 200 ")) {
      state.SkipWithError("GetTile failed");
      break;
    }
    bytes += static_cast<std::int64_t>(answer.size());
  }
  const double serverPerTile =
      (ProcessCpuSeconds(service.Pid()) - start) / static_cast<double>(state.iterations());
  // The reference: the same tiles, at most 200 of them, warped and encoded here from a
  // dataset opened afresh, so that its blocks are read anew as the service read them.
  const int count = std::min(200, next - first);
  const GdalImagery fresh({LargeGeoTiffPath(), ""});
  const double referenceStart = ThreadCpuSeconds();
  for (int k = first; k < first + count; ++k) benchmark::DoNotOptimize(fresh.TileFile(tileOf(k)));
  const double reference = (ThreadCpuSeconds() - referenceStart) / std::max(count, 1);
  state.SetItemsProcessed(state.iterations());
  state.counters["answer_bytes"] = static_cast<double>(bytes) / state.iterations();
  state.counters["server_cpu_ms"] = 1e3 * serverPerTile;
  state.counters["in_process_ms"] = 1e3 * reference;
  state.counters["x_reference"] = serverPerTile / reference;
}
// A fixed count, so that five repetitions still ask for new tiles only (2,500 of them).
BENCHMARK(GeoTiffGetTileHttp)->Iterations(300)->Unit(benchmark::kMillisecond)->UseRealTime();

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

// A loopback connection to the port, blocking, or -1.
int Connect(int port, std::chrono::milliseconds timeout) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval tv{static_cast<time_t>(timeout.count() / 1000),
             static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// 1,000 clients each send a byte of a request every 3 s, reconnecting whenever the
// service ends their connection (408 after 10 s); meanwhile an ordinary GetTheme request
// every 100 ms. Reports the share of those answered within a second.
void SlowClients(benchmark::State& state) {
  RaiseDescriptorLimit();
  const int slowCount = static_cast<int>(state.range(0));
  HttpListener::Options options;
  options.workers = 16;
  std::unique_ptr<HttpListener> listener;
  listener = std::make_unique<HttpListener>(
      options,
      [](const HttpRequest& req) {
        const SoapReply reply = Service().Handle(req.Header("SOAPAction"), req.body);
        return HttpResponse{reply.status, "text/xml; charset=utf-8", reply.body, {}, false};
      },
      [](const HttpRequest&, int status, const std::string& why) {
        return HttpResponse{status, "text/plain", why, {}, false};
      });
  const int port = listener->Bind("127.0.0.1", 0);
  std::thread runner([&] { listener->Run(); });
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
      "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><GetTheme xmlns=\"" +
      std::string(kTerraServiceNamespace) +
      "\"><theme>Photo</theme></GetTheme></soap:Body></soap:Envelope>";
  const std::string request = "POST /terraservice.asmx HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  const std::string trickle =
      "POST /terraservice.asmx HTTP/1.1\r\nX-Slow: " + std::string(1000, 'a');
  for (auto _ : state) {
    std::atomic<bool> done{false};
    std::thread slow([&] {
      struct Slow {
        int fd = -1;
        std::size_t at = 0;
      };
      std::vector<Slow> clients(slowCount);
      const auto start = std::chrono::steady_clock::now();
      for (long round = 0; !done; ++round) {
        // Each client's turn comes every 3 s, spread over the 3 s.
        for (int i = 0; i < slowCount && !done; ++i) {
          const auto due = start + std::chrono::milliseconds(3000 * round + 3000L * i / slowCount);
          std::this_thread::sleep_until(due);
          Slow& c = clients[i];
          char buffer[512];
          if (c.fd >= 0 && ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
            ::close(c.fd);  // answered (408) or closed: reconnect
            c.fd = -1;
          }
          if (c.fd < 0) {
            c.fd = Connect(port, std::chrono::milliseconds(500));
            c.at = 0;
          }
          if (c.fd >= 0 && ::send(c.fd, trickle.data() + c.at++ % trickle.size(), 1,
                                  MSG_NOSIGNAL | MSG_DONTWAIT) != 1) {
            ::close(c.fd);
            c.fd = -1;
          }
        }
      }
      for (Slow& c : clients) {
        if (c.fd >= 0) ::close(c.fd);
      }
    });
    // Once every slow client holds a connection, and past their first 408s.
    std::this_thread::sleep_for(std::chrono::seconds(4));
    int asked = 0, answered = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(state.range(1));
    while (std::chrono::steady_clock::now() < end) {
      ++asked;
      const auto sent = std::chrono::steady_clock::now();
      const int fd = Connect(port, std::chrono::milliseconds(1000));
      std::string answer;
      if (fd >= 0 && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
                         static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
      }
      if (fd >= 0) ::close(fd);
      if (answer.starts_with("HTTP/1.1 200 ") &&
          std::chrono::steady_clock::now() - sent <= std::chrono::seconds(1)) {
        ++answered;
      }
      std::this_thread::sleep_until(sent + std::chrono::milliseconds(100));
    }
    done = true;
    slow.join();
    state.counters["answered_within_1s_pct"] = 100.0 * answered / std::max(asked, 1);
    state.counters["requests"] = asked;
  }
  listener->Stop();
  runner.join();
}
// Slow clients, seconds of ordinary requests: past the 10 s request deadline, so that
// the slow clients reconnect.
BENCHMARK(SlowClients)->Args({1000, 12})->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// One 64 m tile from the middle of a 1,000,000 x 1,000,000 VRT of bytes or of 16-bit
// values (a new tile each time), and the peak memory of the process after it.
void HugeVrtTile(benchmark::State& state, const char* type) {
  static const testing::TTempFolder folder;
  testing::WriteGeoTiff(
      {folder / "small.tif", "EPSG:32618", 0, 5000000, 10000, 100, 100},
      [](int x, int y, int band) { return static_cast<std::uint8_t>(band == 0 ? x * 2 : y * 2); });
  const std::string source = std::string(type) == "Byte" ? "small.tif" : "small16.tif";
  if (source != "small.tif") {
    testing::Translate(folder / "small.tif", folder / source,
                       {"-ot", type, "-scale", "0", "255", "0", "4095"});
  }
  const std::string vrt = folder / (std::string(type) + ".vrt");
  testing::WriteHugeVrt(vrt, folder / source, type);
  const auto opened = std::chrono::steady_clock::now();
  const GdalImagery imagery({vrt, ""});
  const double openSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - opened).count();
  int next = 0;
  for (auto _ : state) {
    const int k = next++;
    benchmark::DoNotOptimize(
        imagery.TileFile({Theme::Photo, Scale::Scale64m, 18, 30 + k % 20, 340 + k / 20 % 20}));
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["open_s"] = openSeconds;
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}
BENCHMARK_CAPTURE(HugeVrtTile, Bytes64m, "Byte")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(HugeVrtTile, Bits16At64m, "UInt16")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvil::mapservice
