#pragma once

// The executable's side: command-line options and the HTTP server that carries the
// SOAP endpoint and the WSDL document.

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapservice/Coverage.h"
#include "mapservice/GdalImagery.h"

namespace quorvil::mapservice {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 0;  // set from the default endpoint unless --port says otherwise
  CoverageKind coverage = CoverageKind::World;
  int delayMs = 0;
  int datasetTimeoutMs = 20000;
  bool log = false;
  bool help = false;
  bool version = false;
  // The user's own imagery, opened by the program entry; null: the synthetic land.
  std::shared_ptr<const GdalImagery> imagery;
};

// Throws EQuorvilError with a readable message on a bad command line.
ServerOptions ParseCommandLine(const std::vector<std::string>& args);
std::string UsageText();

bool IsLoopbackHost(const std::string& host);

// Serves until SIGINT or SIGTERM. Prints "quorvil-mapservice listening on <endpoint>"
// to `out` once it listens. Returns the process exit code.
int RunServer(const ServerOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quorvil::mapservice
