// quorvil-mapservice: the local TerraService map service.

#include <iostream>
#include <string>
#include <vector>

#include "mapservice/HttpServer.h"
#include "platform/ProgramError.h"

int main(int argc, char** argv) {
  using namespace quorvil::mapservice;
  ServerOptions options;
  try {
    options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const quorvil::EQuorvilError& e) {
    std::cerr << "quorvil-mapservice: " << e.what() << "\n";
    return 2;
  }
  if (options.help) {
    std::cout << UsageText();
    return 0;
  }
  return RunServer(options, std::cout, std::cerr);
}
