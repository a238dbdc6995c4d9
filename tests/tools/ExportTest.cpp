#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "imagery/JpegCodec.h"
#include "imagery/MosaicSupport.h"
#include "support/GdalDatasets.h"
#include "support/GifWriter.h"
#include "support/HostileSoapServer.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

extern char** environ;

namespace quorvil {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Starts a program with stdin from /dev/null and stdout, stderr into files.
pid_t Start(const std::vector<std::string>& args, const std::string& out, const std::string& err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? pid : -1;
}

struct TRun {
  int code = -1;
  std::string out, err;
  long peakKilobytes = 0;  // the tool's largest resident size, as last seen while it ran
};

// VmHWM of a running process; 0 once it has ended. (The rusage of a spawned child would
// count the parent's memory, which the child shared until its exec.)
long PeakKilobytesOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmHWM:" && status >> value) return value;
  }
  return 0;
}

TRun RunTool(const std::vector<std::string>& args, const testing::TTempFolder& temp) {
  TRun run;
  const pid_t pid = Start(args, temp / "run.out", temp / "run.err");
  if (pid < 0) return run;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    run.peakKilobytes = std::max(run.peakKilobytes, PeakKilobytesOf(pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadText(temp / "run.out");
  run.err = ReadText(temp / "run.err");
  return run;
}

#if defined(QUORVIL_EXPORT_PATH)

TEST(ExportTool, HelpNamesEveryOptionAndExitCode) {
  testing::TTempFolder temp;
  const TRun run = RunTool({QUORVIL_EXPORT_PATH, "--help"}, temp);
  EXPECT_EQ(run.code, 0);
  for (const char* part :
       {"--server", "--cache", "--center", "--size", "--rect", "--zoom", "--theme", "--connections",
        "--strict", "--quiet", "-o", "Exit codes:", "  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 "})
    EXPECT_NE(run.out.find(part), std::string::npos) << part;
}

TEST(ExportTool, WrongCommandLinesAreRefused) {
  testing::TTempFolder temp;
  const std::vector<std::vector<std::string>> cases = {
      {"--center", "1,2", "-o", "x.jpg"},
      {"--rect", "1,2,3", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10", "--rect", "1,2,3,4", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10"},
      {"--center", "1,2", "--size", "10x10", "-o", "x.png"},
      {"--center", "1,2", "--size", "0x10", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10", "--zoom", "9", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10", "--theme", "relief", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10", "--connections", "0", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10", "--connections", "17", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "10x10", "--connections", "4x", "-o", "x.jpg"},
      {"--bogus"},
      {"--center", "nan,nan", "--size", "10x10", "-o", "x.jpg"},
      {"--center", "inf,40", "--size", "10x10", "-o", "x.jpg"},
      {"--center", "-73,91", "--size", "10x10", "-o", "x.jpg"},
      {"--center", "1,2", "--size", "nanx10", "-o", "x.jpg"},
      {"--rect", "nan,41,-73,40", "-o", "x.jpg"},
      {"--rect", "-74,41,-73,-infinity", "-o", "x.jpg"},
      {"--rect", "-1e308,41,1e308,40", "-o", "x.jpg"},
      {"--rect", "-74,41,-181,40", "-o", "x.jpg"},
      {"--rect", "-73,41,-74,40", "-o", "x.jpg"},  // west of east swapped
      {"--rect", "-74,40,-73,41", "-o", "x.jpg"},  // north and south swapped
      {"--rect", "-74,41,-74,40", "-o", "x.jpg"},  // no width
  };
  for (auto args : cases) {
    args.insert(args.begin(), QUORVIL_EXPORT_PATH);
    const TRun run = RunTool(args, temp);
    EXPECT_EQ(run.code, 2) << args[1];
    EXPECT_NE(run.err.find("quorvil-export: "), std::string::npos) << run.err;
  }
}

TEST(ExportTool, UnreachableServiceWithoutATerminalIsTheSilentAbort) {
  testing::TTempFolder temp;
  const TRun run = RunTool(
      {QUORVIL_EXPORT_PATH, "--server", "http://127.0.0.1:1/terraservice.asmx", "--cache",
       temp / "Cache", "--center", "-73.965,40.784", "--size", "300x200", "-o", temp / "out.jpg"},
      temp);
  EXPECT_EQ(run.code, 5);
  EXPECT_EQ(run.err, "");
  EXPECT_FALSE(fs::exists(temp / "out.jpg"));
}

// Every file in the cache folder is a whole tile.
void ExpectEveryCachedTileDecodes(const std::string& folder) {
  if (!fs::exists(folder)) return;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string bytes = ReadText(entry.path());
    TMemoryStream stream;
    stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    EXPECT_NO_THROW(DecodeTileStream(stream)) << entry.path();
  }
}

int CountFiles(const std::string& folder) {
  int count = 0;
  if (fs::exists(folder))
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
  return count;
}

// Hostile answers: each ends in a clear message or a correct picture, with no more
// tiles fetched than the picture needs, and a cache of whole tiles.
TEST(ExportTool, HostileAnswersEndInAClearMessageOrACorrectPicture) {
  using testing::AreaReply;
  using testing::FaultReply;
  using testing::THostileReply;
  using testing::TileReply;
  const auto goodTile = TileReply(EncodeJpeg(testing::Pattern(200, 200, 5), 90));
  auto cutFile = EncodeJpeg(testing::Pattern(200, 200, 6), 90);
  cutFile.resize(cutFile.size() / 2);
  testing::TGifPicture hugeScreen;
  hugeScreen.screenWidth = hugeScreen.screenHeight = 10000;
  hugeScreen.width = hugeScreen.height = 1;
  hugeScreen.palette = {{0, 0, 0}, {1, 2, 3}};
  hugeScreen.pixels = {1};
  const std::string escapes = "\x1b]0;owned\x07\x1b[2J\x1b[31mTile server on fire";

  // 400 x 300 pixels from pixel (10, 20) of tile (100, 500): 3 x 2 tiles.
  const std::vector<std::string> byCenter = {"--center", "-73.965,40.784", "--size", "400x300"};
  const std::vector<std::string> byRect = {"--rect", "-73.975,40.790,-73.955,40.778", "--zoom",
                                           "10"};
  const auto honestArea = AreaReply("GetAreaFromPt", {100, 500, 10, 20}, {102, 499, 10, 120});
  const struct {
    const char* name;
    std::vector<std::string> ground;
    THostileReply area, tile;
    int code;
    std::string message;  // a part of stderr
    int tiles;            // GetTile requests, at most
    std::vector<std::string> options = {};
  } cases[] = {
      {"honest answers", byCenter, honestArea, goodTile, 0, "", 6},
      {"corner tiles at the extreme integers", byCenter,
       AreaReply("GetAreaFromPt", {INT_MIN, INT_MAX, 0, 0}, {INT_MAX, INT_MIN, 0, 0}), goodTile, 1,
       "spans 4294967296 x 4294967296 tiles", 0},
      {"3001 x 3001 tiles for 400 x 300 pixels", byCenter,
       AreaReply("GetAreaFromPt", {0, 3000, 0, 0}, {3000, 0, 0, 0}), goodTile, 1,
       "spans 3001 x 3001 tiles, but a picture of 400 x 300 pixels needs 2 x 2", 0},
      {"2000000000 x 1 pixels for a rectangle", byRect,
       AreaReply("GetAreaFromRect", {0, 0, 0, 0}, {10000000, 0, 0, 1}, "Scale1m"), goodTile, 1,
       "its picture of 2000000000 x 1 pixels is larger than the rectangle", 0},
      {"south-east corner north-west of the north-west one", byCenter,
       AreaReply("GetAreaFromPt", {100, 500, 10, 20}, {99, 501, 10, 120}), goodTile, 1,
       "lies west or north of its north-west tile", 0},
      {"absurd pixel offsets", byCenter,
       AreaReply("GetAreaFromPt", {100, 500, 1000000, -7}, {102, 499, 10, 120}), goodTile, 1,
       "the pixel (1000000, -7) of its north-west corner lies outside its tile", 0},
      {"GIF tile declaring a 10000 x 10000 screen", byCenter, honestArea,
       TileReply(testing::EncodeGif(hugeScreen)), 3, "10000 x 10000 pixels, not 200 x 200", 24},
      {"JPEG tile of 1000 x 1000", byCenter, honestArea,
       TileReply(EncodeJpeg(testing::Pattern(1000, 1000, 2), 20)), 3,
       "1000 x 1000 pixels, not 200 x 200", 24},
      {"cut-off JPEG tile", byCenter, honestArea, TileReply(cutFile), 3,
       "Premature end of JPEG file", 24},
      {"tile answer over 256 KB", byCenter, honestArea,
       TileReply(std::vector<std::uint8_t>(300000, 0x41)), 3, "a tile has at most 262144 bytes",
       24},
      {"tile answer of 5 MB, refused as it arrives",
       byCenter,
       honestArea,
       {200, std::string(5 << 20, 'A')},
       3,
       "a tile has at most 262144 bytes",
       24},
      {"fault with terminal escapes", byCenter, honestArea, FaultReply(escapes), 3,
       "]0;owned[2J[31mTile server on fire", 12},
      {"fault of 300 KB", byCenter, honestArea, FaultReply(std::string(300000, 'F')), 3,
       std::string(1000, 'F') + "\u2026.", 12},
      {"no imagery", byCenter, honestArea, TileReply({}), 0,
       "6 of 6 tiles had no imagery, 0 could not be downloaded", 6},
      {"no imagery, --strict",
       byCenter,
       honestArea,
       TileReply({}),
       1,
       "LoadTileToStream: No tile data returned.",
       6,
       {"--strict"}},
  };
  testing::TTempFolder temp;
  long peak = 0;
  // One connection: the tile counts are those of one download at a time; sixteen: no
  // corrupt tile in the cache and a bounded peak however many answers arrive at once.
  for (std::size_t k = 0; k < 2 * std::size(cases); ++k) {
    const std::size_t i = k / 2;
    const char* connections = k % 2 == 0 ? "1" : "16";
    const auto& c = cases[i];
    SCOPED_TRACE(std::string(c.name) + ", " + connections + " connections");
    testing::THostileSoapServer server;
    server.On("GetAreaFromPt", c.area);
    server.On("GetAreaFromRect", c.area);
    // Far more tiles than any case needs end in a fault, so that an export that follows
    // a hostile area fails here instead of downloading for hours.
    server.On("GetTile", [&server, tile = c.tile](const std::string&) {
      return server.Requests("GetTile") > 30 ? FaultReply("too many tiles") : tile;
    });
    const std::string cache = temp / ("Cache" + std::to_string(i) + connections);
    const std::string output = temp / ("out" + std::to_string(i) + connections + ".jpg");
    std::vector<std::string> args = {QUORVIL_EXPORT_PATH, "--server", server.Endpoint(),
                                     "--cache",           cache,      "--connections",
                                     connections};
    args.insert(args.end(), c.ground.begin(), c.ground.end());
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {"-o", output});
    const TRun run = RunTool(args, temp);
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err.substr(0, 2000);
    EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
    EXPECT_LT(run.err.size(), 1200u);
    EXPECT_LE(server.Requests("GetTile"), c.tiles);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's shadow and quarantine are not the export's
    EXPECT_LT(run.peakKilobytes, 64 * 1024);
#endif
    peak = std::max(peak, run.peakKilobytes);
    ExpectEveryCachedTileDecodes(cache);
    if (c.code == 0 || c.code == 3) {
      if (c.code == 0) {
        EXPECT_EQ(server.Requests("GetTile"), c.tiles);
      }
      // Only the honest tiles are kept; nothing of a missing or corrupt one.
      EXPECT_EQ(CountFiles(cache), c.message.empty() ? c.tiles : 0);
      const std::string file = ReadText(output);
      const TBitmap24 picture =
          DecodeJpeg(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
      EXPECT_EQ(picture.Width(), 400);
      EXPECT_EQ(picture.Height(), 300);
    } else {
      EXPECT_FALSE(fs::exists(output));
      EXPECT_EQ(CountFiles(cache), 0);
    }
  }
  std::printf("Largest resident size of an export against a hostile service: %ld KB\n", peak);
}

#endif

#if defined(QUORVIL_EXPORT_PATH) && defined(QUORVIL_MAPSERVICE_PATH)

// The local map service on an ephemeral port, logging one line per request.
class TMapService {
 public:
  explicit TMapService(const testing::TTempFolder& temp, int delayMs = 0,
                       const std::vector<std::string>& more = {})
      : out_(temp / "service.out"), err_(temp / "service.err") {
    std::vector<std::string> args = {QUORVIL_MAPSERVICE_PATH, "--port", "0", "--log", "--delay-ms",
                                     std::to_string(delayMs)};
    args.insert(args.end(), more.begin(), more.end());
    pid_ = Start(args, out_, err_);
    const std::regex listening("listening on (\\S+)");
    for (int i = 0; i < 200 && pid_ > 0 && endpoint_.empty(); ++i) {
      std::smatch match;
      const std::string text = ReadText(out_);
      if (std::regex_search(text, match, listening)) {
        endpoint_ = match[1];
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
      }
    }
  }
  ~TMapService() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Endpoint() const { return endpoint_; }
  // Requests logged so far for the operation (a whole word: GetTile is not
  // GetTileMetaFromTileId).
  int Requests(const std::string& operation) const {
    const std::string log = ReadText(err_);
    const std::regex word("\\b" + operation + "\\b");
    return static_cast<int>(
        std::distance(std::sregex_iterator(log.begin(), log.end(), word), std::sregex_iterator()));
  }

 private:
  std::string out_, err_;
  pid_t pid_ = -1;
  std::string endpoint_;
};

TEST(ExportTool, SecondExportOfTheSameGroundComesFromTheCache) {
  testing::TTempFolder temp;
  TMapService service(temp);
  ASSERT_FALSE(service.Endpoint().empty()) << ReadText(temp / "service.err");

  const struct {
    const char* name;
    std::vector<std::string> ground;
    const char* file;
  } cases[] = {
      {"photo by rectangle",
       {"--rect", "-73.975,40.790,-73.955,40.778", "--zoom", "4m"},
       "park.jpg"},
      {"topographic map by centre",
       {"--center", "-73.965,40.784", "--size", "500x300", "--zoom", "13", "--theme", "topo"},
       "park.bmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {QUORVIL_EXPORT_PATH, "--server",     service.Endpoint(),
                                     "--cache",           temp / "Cache", "--quiet"};
    args.insert(args.end(), c.ground.begin(), c.ground.end());
    args.push_back("-o");

    const int before = service.Requests("GetTile");
    auto first = args;
    first.push_back(temp / (std::string("first-") + c.file));
    const TRun one = RunTool(first, temp);
    ASSERT_EQ(one.code, 0) << one.err;
    EXPECT_EQ(one.err, "");
    const int downloaded = service.Requests("GetTile") - before;
    EXPECT_GT(downloaded, 1);

    auto second = args;
    second.push_back(temp / (std::string("second-") + c.file));
    const TRun two = RunTool(second, temp);
    ASSERT_EQ(two.code, 0) << two.err;
    EXPECT_EQ(service.Requests("GetTile") - before, downloaded);  // no GetTile the second time

    const std::string a = ReadText(temp / (std::string("first-") + c.file));
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(a, ReadText(temp / (std::string("second-") + c.file)));
    if (std::string(c.file).ends_with(".jpg")) {
      const TBitmap24 picture =
          DecodeJpeg(reinterpret_cast<const std::uint8_t*>(a.data()), a.size());
      EXPECT_GT(picture.Width(), 200);
      EXPECT_GT(picture.Height(), 200);
    } else {
      EXPECT_EQ(a.substr(0, 2), "BM");
      EXPECT_EQ(a.size(), 54u + 500u * 3 * 300);
    }
  }
  int cached = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(temp / "Cache")) ++cached;
  EXPECT_EQ(cached, service.Requests("GetTile"));
}

// Past the edge of the user's own photograph there are no tiles: the export draws the rest
// and counts them, and only --strict makes that an error.
TEST(ExportTool, GroundPastADatasetsEdgeIsCountedAndAnErrorOnlyWhenStrict) {
  testing::TTempFolder temp;
  const std::string photo = temp / "edge.tif";
  testing::WriteGeoTiff({photo, "EPSG:4326", -74.0, 40.79, 0.0001, 200, 200},
                        [](int x, int y, int band) { return std::uint8_t(band * 60 + (x ^ y)); });
  TMapService service(temp, 0, {"--photo", photo});
  ASSERT_FALSE(service.Endpoint().empty()) << ReadText(temp / "service.err");
  for (const bool strict : {false, true}) {
    const std::string ground = "--rect=-74.03,40.80,-73.96,40.76";
    const TRun run =
        RunTool({QUORVIL_EXPORT_PATH, "--server=" + service.Endpoint(), ground, "--zoom=8m",
                 "--cache=" + temp / "Cache", strict ? "--strict" : "-q", "-o", temp / "edge.jpg"},
                temp);
    EXPECT_EQ(run.code, strict ? 1 : 0) << run.err;
    EXPECT_EQ(run.err, strict ? "LoadTileToStream: No tile data returned.\n" : "");
    EXPECT_EQ(fs::exists(temp / "edge.jpg"), !strict);
    if (!strict) {
      // Tiles without imagery stay as an output picture starts: white, not black.
      const std::string file = ReadText(temp / "edge.jpg");
      const TBitmap24 picture =
          DecodeJpeg(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
      const std::uint8_t* corner = picture.Pixel(picture.Width() - 1, 0);
      EXPECT_GT(std::min({corner[0], corner[1], corner[2]}), 240);
    }
    fs::remove(temp / "edge.jpg");
  }
}

TEST(ExportTool, OneConnectionAndEightGiveTheSamePicture) {
  testing::TTempFolder temp;
  TMapService service(temp, 5);
  ASSERT_FALSE(service.Endpoint().empty()) << ReadText(temp / "service.err");
  const struct {
    const char* theme;
    const char* zoom;
  } cases[] = {{"photo", "4m"}, {"topo", "2m"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.theme);
    std::vector<std::string> pictures;
    for (const char* connections : {"1", "8"}) {
      const std::string cache = temp / (std::string("Cache-") + c.theme + connections);
      const std::string file = temp / (std::string(c.theme) + connections + ".bmp");
      const TRun run =
          RunTool({QUORVIL_EXPORT_PATH, "--server", service.Endpoint(), "--cache", cache,
                   "--center", "-73.965,40.784", "--size", "900x700", "--zoom", c.zoom, "--theme",
                   c.theme, "--connections", connections, "--quiet", "-o", file},
                  temp);
      ASSERT_EQ(run.code, 0) << run.err;
      pictures.push_back(ReadText(file));
      for (const auto& entry : fs::directory_iterator(cache))
        EXPECT_EQ(entry.path().extension(), ".TMP") << entry.path();  // no temporary left
    }
    EXPECT_EQ(pictures[0].size(), 54u + 900u * 3 * 700);
    EXPECT_TRUE(pictures[0] == pictures[1]);
  }
}

TEST(ExportTool, ACacheThatCannotBeWrittenIsSaidOnceAndThePictureWritten) {
  testing::TTempFolder temp;
  TMapService service(temp);
  ASSERT_FALSE(service.Endpoint().empty()) << ReadText(temp / "service.err");
  temp.Write("file");
  const TRun run = RunTool(
      {QUORVIL_EXPORT_PATH, "--server", service.Endpoint(), "--cache", temp / "file/Cache",
       "--center", "-73.965,40.784", "--size", "500x300", "--zoom", "4m", "-o", temp / "out.jpg"},
      temp);
  EXPECT_EQ(run.code, 0) << run.err;
  // One line, however many tiles could not be kept.
  EXPECT_TRUE(run.err.starts_with("Tiles are not being kept: Cannot write the cache file \"" +
                                  temp / "file/Cache/"))
      << run.err;
  EXPECT_TRUE(run.err.ends_with(".TMP\": Not a directory\n")) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  const std::string file = ReadText(temp / "out.jpg");
  const TBitmap24 picture =
      DecodeJpeg(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
  EXPECT_EQ(picture.Width(), 500);
}

TEST(ExportTool, CtrlCStopsAfterTheCurrentTileAndWritesWhatWasDrawn) {
  testing::TTempFolder temp;
  TMapService service(temp, 100);
  ASSERT_FALSE(service.Endpoint().empty()) << ReadText(temp / "service.err");
  const pid_t pid = Start(
      {QUORVIL_EXPORT_PATH, "--server", service.Endpoint(), "--cache", temp / "Cache", "--center",
       "-73.965,40.784", "--size", "1600x1200", "--zoom", "10", "-o", temp / "part.jpg"},
      temp / "run.out", temp / "run.err");
  ASSERT_GT(pid, 0);
  for (int i = 0; i < 400 && service.Requests("GetTile") < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 4) << ReadText(temp / "run.err");
  EXPECT_LT(service.Requests("GetTile"), 9 * 7);  // stopped well before the last tile
  const std::string file = ReadText(temp / "part.jpg");
  const TBitmap24 picture =
      DecodeJpeg(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
  EXPECT_EQ(picture.Width(), 1600);
  EXPECT_EQ(picture.Height(), 1200);
}

#endif

}  // namespace
}  // namespace quorvil
