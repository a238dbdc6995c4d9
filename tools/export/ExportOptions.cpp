#include "ExportOptions.h"

#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "imagery/ImageSupport.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

// Numbers separated by `separator`, read without regard to the locale.
std::vector<double> Numbers(const std::string& option, std::string_view text, char separator,
                            std::size_t count) {
  std::vector<double> values;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    const std::string_view part = text.substr(start, end - start);
    double value = 0;
    const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || result.ec != std::errc() || result.ptr != part.data() + part.size()) {
      throw EQuorvilError(option + " wants " + std::to_string(count) + " numbers separated by \"" +
                          separator + "\", not \"" + std::string(text) + "\"");
    }
    values.push_back(value);
    if (end == text.size()) break;
    start = end + 1;
  }
  if (values.size() != count) {
    throw EQuorvilError(option + " wants " + std::to_string(count) + " numbers separated by \"" +
                        separator + "\", not \"" + std::string(text) + "\"");
  }
  return values;
}

int PixelCount(const std::string& option, double value) {
  // Asked this way round, NaN fails too, before it could reach the cast.
  if (!(value >= 1 && value <= 100000) || value != static_cast<int>(value)) {
    throw EQuorvilError(option + " wants whole numbers of pixels from 1 to 100000");
  }
  return static_cast<int>(value);
}

// A longitude and a latitude in degrees; NaN and infinities fail every comparison.
bool OnEarth(double longitude, double latitude) {
  return longitude >= -180 && longitude <= 180 && latitude >= -90 && latitude <= 90;
}

}  // namespace

int ExportFileType(const std::string& fileName) {
  const auto dot = fileName.rfind('.');
  std::string extension = dot == std::string::npos ? "" : fileName.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == "jpg" || extension == "jpeg") return kSaveAsJpeg;
  if (extension == "bmp") return kSaveAsBitmap;
  return -1;
}

TExportOptions ParseExportOptions(int argc, char** argv) {
  TExportOptions options;
  bool haveCenter = false, haveSize = false, haveRect = false;
  for (int i = 0; i < argc; ++i) {
    std::string option = argv[i];
    std::optional<std::string> inlineValue;
    if (option.starts_with("--") && option.find('=') != std::string::npos) {
      inlineValue = option.substr(option.find('=') + 1);
      option = option.substr(0, option.find('='));
    }
    const auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argc) throw EQuorvilError(option + " needs a value");
      return argv[++i];
    };
    if (option == "--help" || option == "-h") {
      options.help = true;
    } else if (option == "--version") {
      options.version = true;
    } else if (option == "--server") {
      options.server = value();
    } else if (option == "--cache") {
      options.cacheFolder = value();
      if (options.cacheFolder.empty()) throw EQuorvilError("--cache needs a folder");
    } else if (option == "--center") {
      const auto v = Numbers(option, value(), ',', 2);
      if (!OnEarth(v[0], v[1]))
        throw EQuorvilError(
            "--center wants a longitude from -180 to 180 and a latitude from -90 "
            "to 90 degrees");
      options.center = {v[0], v[1]};
      haveCenter = true;
    } else if (option == "--size") {
      const auto v = Numbers(option, value(), 'x', 2);
      options.width = PixelCount(option, v[0]);
      options.height = PixelCount(option, v[1]);
      haveSize = true;
    } else if (option == "--rect") {
      const auto v = Numbers(option, value(), ',', 4);
      if (!OnEarth(v[0], v[1]) || !OnEarth(v[2], v[3]))
        throw EQuorvilError(
            "--rect wants longitudes from -180 to 180 and latitudes from -90 "
            "to 90 degrees");
      if (!(v[0] < v[2]) || !(v[1] > v[3]))
        throw EQuorvilError(
            "--rect wants its west side west of its east side and its north "
            "side north of its south side");
      options.west = v[0];
      options.north = v[1];
      options.east = v[2];
      options.south = v[3];
      haveRect = true;
    } else if (option == "--zoom") {
      const std::string text = value();
      const auto level = ParseZoomLevel(text);
      if (!level) {
        throw EQuorvilError("--zoom wants 10 to 16 or a resolution such as 4m, not \"" + text +
                            "\"");
      }
      options.zoom = *level;
    } else if (option == "--theme") {
      const std::string text = value();
      if (text == "photo") {
        options.theme = Theme::Photo;
      } else if (text == "topo") {
        options.theme = Theme::Topo;
      } else {
        throw EQuorvilError("--theme wants photo or topo, not \"" + text + "\"");
      }
    } else if (option == "--connections") {
      const std::string text = value();
      int count = 0;
      const auto result = std::from_chars(text.data(), text.data() + text.size(), count);
      if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() ||
          count < 1 || count > kMaxTileConnections) {
        throw EQuorvilError("--connections wants a whole number from 1 to " +
                            std::to_string(kMaxTileConnections) + ", not \"" + text + "\"");
      }
      options.connections = count;
    } else if (option == "--strict") {
      options.strict = true;
    } else if (option == "--quiet" || option == "-q") {
      options.quiet = true;
    } else if (option == "-o" || option == "--output") {
      options.output = value();
    } else {
      throw EQuorvilError("unknown option \"" + option + "\"");
    }
  }
  if (options.help || options.version) return options;
  if (haveRect == (haveCenter || haveSize))
    throw EQuorvilError("give either --center and --size, or --rect");
  if (!haveRect && !(haveCenter && haveSize))
    throw EQuorvilError("--center and --size go together");
  if (options.output.empty()) throw EQuorvilError("-o FILE is missing");
  if (ExportFileType(options.output) < 0) {
    throw EQuorvilError("the file \"" + options.output +
                        "\" has no picture type: name it .jpg, .jpeg or .bmp");
  }
  options.byCenter = !haveRect;
  return options;
}

std::string ExportUsage() {
  return R"(Usage: quorvil-export [--server URL] [--cache DIR]
                      (--center LON,LAT --size WxH | --rect WEST,NORTH,EAST,SOUTH)
                      [--zoom LEVEL] [--theme photo|topo] [--connections N]
                      [--strict] [--quiet] -o FILE

Assembles a picture of the map from the map service's tiles, as the viewer does, and
writes it as a JPEG (quality 100) or a 24-bit BMP file, chosen by the file's extension
(.jpg, .jpeg or .bmp). Tiles are kept in the tile cache, so a second export of the same
ground needs no download.

  --server URL      the map service's SOAP endpoint (default: the local map service,
                    http://127.0.0.1:47015/terraservice.asmx)
  --cache DIR       the tile cache folder (default: "Cache" beside the program when it
                    can be written there, else $XDG_CACHE_HOME/Quorvil/Cache)
  --center LON,LAT  the centre of the picture in decimal degrees (west and south
                    negative), together with
  --size WxH        the picture's size in pixels, e.g. 800x600
  --rect W,N,E,S    or the ground to cover: west and east longitude, north and south
                    latitude; the picture then has the size of that ground
  --zoom LEVEL      10 to 16, or the resolution: 1m, 2m, 4m, 8m, 16m, 32m, 64m
                    ("4 Meters" works too); default 16 (64 metres per pixel)
  --theme T         photo (aerial photograph, default) or topo (topographic map)
  --connections N   tiles downloaded at once, 1 to 16, each over a kept-alive
                    connection of its own (default 8; 1 fetches one after another)
  --strict          a tile the service has no imagery for is an error: nothing is
                    written (by default that part of the picture stays black, or
                    white with --rect, and the tile is counted)
  --quiet, -q       no progress bar and no notes on stderr
  -o, --output FILE the picture file to write
  --help, -h        this text
  --version         the program's version

While it runs, a progress bar shows on stderr when stderr is a terminal. When a call to
the service fails, it asks on the terminal whether to try again; without a terminal on
stdin the answer is "No". A tile that cannot be downloaded is tried again a few times
while the others are drawn. When tiles had no imagery or failed, one line on stderr
counts them. Ctrl-C stops after the tile being drawn and writes the part
drawn so far. After the export the cache is trimmed when it holds more than its limit
of 466 tiles (4 MB at 9000 bytes a tile), by the oldest tiles plus 10 % of the limit.

Exit codes:
  0  the picture was written (ground without imagery left as it is, see --strict)
  1  an error, described on stderr; nothing was written
  2  the command line is wrong
  3  tiles could not be downloaded; the picture was written without them
  4  interrupted by Ctrl-C; the tiles drawn until then were written
  5  a failed service call was not retried ("No"); nothing was written, nothing shown
)";
}

}  // namespace quorvil
