// quorvil-mapservice: the local TerraService map service.

#include <malloc.h>

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapservice/GdalImagery.h"
#include "mapservice/GdalNetwork.h"
#include "mapservice/HttpServer.h"
#include "mapservice/ImageryPreset.h"
#include "platform/ProgramError.h"
#include "settings/VersionSupport.h"

int main(int argc, char** argv) {
  using namespace quorvil::mapservice;
  // Every tile takes and frees a few megabytes (warp buffers, lattices): freed memory is
  // kept for the next tile rather than handed back and faulted in anew each time.
  mallopt(M_MMAP_THRESHOLD, 16 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  ServerOptions options;
  ImageryPaths imagery;
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    imagery = TakeImageryOptions(args);
    if (std::optional<ImageryPaths> preset = TakePresetOption(args, imagery)) imagery = *preset;
    options = ParseCommandLine(args);
  } catch (const quorvil::EQuorvilError& e) {
    std::cerr << "quorvil-mapservice: " << e.what() << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  if (options.version) {
    std::cout << "quorvil-mapservice "
              << quorvil::FileVersionToString(quorvil::GetFileVersion("/proc/self/exe")) << "\n";
    return 0;
  }
  // The datasets are read before the service listens, so that a bad one stops it at once.
  if (!imagery.Empty()) {
    ConfigureGdalNetwork();
    // The tile cache keeps the answers; the dataset's blocks serve only the neighbouring
    // tiles being made. A bounded block cache recycles its memory, where GDAL's default
    // (a twentieth of the RAM) would go on taking fresh pages tile after tile.
    SetBlockCacheBytes(64ll << 20);
    try {
      options.imagery = std::make_shared<const GdalImagery>(imagery);
    } catch (const EImageryError& e) {
      // The one who starts the service hears GDAL's whole text.
      std::cerr << "quorvil-mapservice: " << (e.Detail().empty() ? e.what() : e.Detail()) << "\n";
      return 2;
    } catch (const quorvil::EQuorvilError& e) {
      std::cerr << "quorvil-mapservice: " << e.what() << "\n";
      return 2;
    }
  }
  return RunServer(options, std::cout, std::cerr);
}
