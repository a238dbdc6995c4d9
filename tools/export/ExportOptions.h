#pragma once

// The command line of quorvil-export.

#include <optional>
#include <string>

#include "imagery/ZoomLevels.h"
#include "service/TerraServiceSoapSupport.h"
#include "service/TileStore.h"

namespace quorvil {

// Exit codes; --help lists them.
inline constexpr int kExitWritten = 0;      // the whole picture was written
inline constexpr int kExitError = 1;        // an error, shown on stderr
inline constexpr int kExitUsage = 2;        // the command line is wrong
inline constexpr int kExitTilesFailed = 3;  // written, but without the tiles that failed
inline constexpr int kExitInterrupted = 4;  // Ctrl-C: the tiles drawn so far were written
inline constexpr int kExitDeclined = 5;     // "No" to the retry prompt; nothing written

struct TExportOptions {
  std::string server;       // empty: the default endpoint
  std::string cacheFolder;  // empty: the program's cache folder
  bool byCenter = false;    // --center/--size, else --rect
  LonLatPt center;
  int width = 0;
  int height = 0;
  double west = 0, north = 0, east = 0, south = 0;
  TZoomLevel zoom = kMaxZoomLevel;
  Theme theme = Theme::Photo;
  int connections = kDefaultTileConnections;  // tile downloads at once
  bool strict = false;                        // a tile without imagery is an error
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::string output;
};

// Reads the arguments (without the program name). Throws EQuorvilError with a message
// for the user when they are wrong.
TExportOptions ParseExportOptions(int argc, char** argv);

// The SaveBitmapToFile type for the file's extension (.jpg, .jpeg, .bmp), or -1.
int ExportFileType(const std::string& fileName);

// The text of --help.
std::string ExportUsage();

}  // namespace quorvil
