#include "mapservice/HttpServer.h"

#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <mutex>
#include <ostream>
#include <thread>

#include "mapservice/MapService.h"
#include "platform/ProgramError.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

namespace {

int ParseInt(const std::string& option, const std::string& text, int low, int high) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    throw EQuorvilError(option + " wants a whole number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}

std::string EndpointOf(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) +
         std::string(kServiceEndpointPath);
}

bool AsksForWsdl(const httplib::Request& req) {
  return std::any_of(req.params.begin(), req.params.end(), [](const auto& p) {
    std::string key = p.first;
    std::transform(key.begin(), key.end(), key.begin(), ::tolower);
    return key == "wsdl";
  });
}

}  // namespace

std::string UsageText() {
  return "Usage: quorvil-mapservice [options]\n"
         "Runs the local TerraService map service: SOAP 1.1 at /terraservice.asmx and its\n"
         "WSDL at /terraservice.asmx?WSDL.\n"
         "\n"
         "  --host ADDRESS     address to listen on (default 127.0.0.1; only an address\n"
         "                     named here is ever used, so the service stays on the\n"
         "                     loopback unless told otherwise)\n"
         "  --port N           port to listen on (default " +
         std::to_string(kDefaultServicePort) +
         "; 0 picks a free port)\n"
         "  --photo DATASET    serve aerial photographs from a raster dataset that GDAL\n"
         "                     reads: a GeoTIFF or COG, a VRT mosaic (gdalbuildvrt), or a\n"
         "                     GDAL WMS/WMTS/TMS description file of a tile service\n"
         "  --topo DATASET     serve topographic maps from such a dataset\n"
         "                     (without either option the imagery is synthetic land)\n"
         "  --coverage world|us  where the synthetic imagery exists: everywhere between\n"
         "                     80 S and 84 N (default), or only over the fifty states\n"
         "  --delay-ms N       wait N milliseconds before every answer\n"
         "  --log              print one line per request to standard error\n"
         "  --help             show this text\n"
         "\n"
         "Once listening it prints \"quorvil-mapservice listening on <endpoint>\".\n"
         "Exit codes: 0 after SIGINT/SIGTERM, 1 when it cannot listen, 2 on a bad command line\n"
         "or a dataset that cannot be read.\n";
}

ServerOptions ParseCommandLine(const std::vector<std::string>& args) {
  ServerOptions options;
  options.port = kDefaultServicePort;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= args.size()) throw EQuorvilError(arg + " wants a value");
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--host") {
      options.host = value();
      if (options.host.empty()) throw EQuorvilError("--host wants an address");
    } else if (arg == "--port") {
      options.port = ParseInt(arg, value(), 0, 65535);
    } else if (arg == "--coverage") {
      const std::string& text = value();
      const auto coverage = TryParseCoverage(text);
      if (!coverage) throw EQuorvilError("--coverage wants world or us, not '" + text + "'");
      options.coverage = *coverage;
    } else if (arg == "--delay-ms") {
      options.delayMs = ParseInt(arg, value(), 0, 600000);
    } else if (arg == "--log") {
      options.log = true;
    } else {
      throw EQuorvilError("Unknown option '" + arg + "' (try --help)");
    }
  }
  return options;
}

bool IsLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "::1" || host.rfind("127.", 0) == 0;
}

int RunServer(const ServerOptions& options, std::ostream& out, std::ostream& err) {
  // Signals go to one waiting thread, not to the server's threads.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  MapService service({options.coverage, kDefaultTileCacheBytes}, options.imagery);
  httplib::Server server;
  // A thread serves one kept-alive connection at a time and waits on it while it is idle.
  // A viewer keeps one connection for its service calls and up to 16 for its downloads:
  // with fewer threads than a couple of viewers open connections, the last ones wait out
  // another's idle time before they are served.
  server.new_task_queue = [] { return new httplib::ThreadPool(48); };
  server.set_payload_max_length(kMaxRequestBytes);
  server.set_read_timeout(30, 0);
  server.set_write_timeout(30, 0);
  // Headers and body leave in separate writes; without this, every answer on a kept-alive
  // connection (the client reuses one) waits out the peer's delayed ACK, ~40 ms.
  server.set_tcp_nodelay(true);

  std::string endpoint;
  std::mutex logMutex;
  const std::string path(kServiceEndpointPath);
  auto delay = [&options] {
    if (options.delayMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
  };

  server.Post(path, [&](const httplib::Request& req, httplib::Response& res) {
    SoapReply reply = service.Handle(req.get_header_value("SOAPAction"), req.body);
    delay();
    res.status = reply.status;
    res.set_content(std::move(reply.body), "text/xml; charset=utf-8");
  });
  server.Get(path, [&](const httplib::Request& req, httplib::Response& res) {
    delay();
    if (AsksForWsdl(req)) {
      res.set_content(service.Wsdl(endpoint), "text/xml; charset=utf-8");
    } else {
      res.set_content(
          "<html><body><h1>TerraService</h1><p>The local Quorvil map service. "
          "Its description is at <a href=\"?WSDL\">?WSDL</a>.</p></body></html>",
          "text/html; charset=utf-8");
    }
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.status == 413) {
      res.set_content(FaultEnvelope("soap:Client", "The request is larger than " +
                                                       std::to_string(kMaxRequestBytes) + " bytes"),
                      "text/xml; charset=utf-8");
    }
  });
  if (options.log) {
    server.set_logger([&](const httplib::Request& req, const httplib::Response& res) {
      std::string action = req.get_header_value("SOAPAction");
      if (const auto slash = action.find_last_of('/'); slash != std::string::npos) {
        action = action.substr(slash + 1);
      }
      if (!action.empty() && action.back() == '"') action.pop_back();
      std::lock_guard lock(logMutex);
      err << req.method << ' ' << req.path << (action.empty() ? "" : " " + action) << ' '
          << res.status << ' ' << res.body.size() << " bytes\n"
          << std::flush;
    });
  }

  if (!IsLoopbackHost(options.host)) {
    err << "quorvil-mapservice: listening on " << options.host
        << ", which other machines may reach\n";
  }
  int port = options.port;
  if (port == 0) {
    port = server.bind_to_any_port(options.host);
    if (port <= 0) {
      err << "quorvil-mapservice: cannot listen on " << options.host << "\n";
      return 1;
    }
  } else if (!server.bind_to_port(options.host, port)) {
    err << "quorvil-mapservice: cannot listen on " << options.host << ":" << port << "\n";
    return 1;
  }
  endpoint = EndpointOf(options.host, port);
  out << "quorvil-mapservice listening on " << endpoint << std::endl;

  std::thread stopper([&server, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
  });
  const bool ok = server.listen_after_bind();
  // A failed listen leaves the stopper waiting: wake it.
  if (stopper.joinable()) {
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
  }
  return ok ? 0 : 1;
}

}  // namespace quorvil::mapservice
