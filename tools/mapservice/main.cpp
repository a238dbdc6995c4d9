// quorvil-mapservice: the local TerraService map service.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "mapservice/GdalImagery.h"
#include "mapservice/HttpServer.h"
#include "platform/ProgramError.h"
#include "settings/VersionSupport.h"

int main(int argc, char** argv) {
  using namespace quorvil::mapservice;
  ServerOptions options;
  ImageryPaths imagery;
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    imagery = TakeImageryOptions(args);
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
    try {
      options.imagery = std::make_shared<const GdalImagery>(imagery);
    } catch (const quorvil::EQuorvilError& e) {
      std::cerr << "quorvil-mapservice: " << e.what() << "\n";
      return 2;
    }
  }
  return RunServer(options, std::cout, std::cerr);
}
