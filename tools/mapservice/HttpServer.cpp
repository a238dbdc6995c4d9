#include "mapservice/HttpServer.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <ostream>
#include <thread>

#include "mapservice/HttpListener.h"
#include "mapservice/ImageryPreset.h"
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

std::string Lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool AsksForWsdl(const HttpRequest& req) {
  std::string_view query = req.query;
  while (!query.empty()) {
    const std::size_t amp = std::min(query.find('&'), query.size());
    const std::string_view field = query.substr(0, amp);
    if (Lowered(field.substr(0, field.find('='))) == "wsdl") return true;
    query.remove_prefix(std::min(amp + 1, query.size()));
  }
  return false;
}

constexpr const char* kXmlContentType = "text/xml; charset=utf-8";

// Every refusal is a SOAP fault, so that a SOAP client can read why.
HttpResponse Refusal(int status, const std::string& why) {
  HttpResponse res;
  res.status = status;
  res.contentType = kXmlContentType;
  res.body = FaultEnvelope(status >= 500 ? "soap:Server" : "soap:Client", why);
  return res;
}

HttpResponse Route(const MapService& service, const std::string& endpoint, const HttpRequest& req,
                   const DatasetGate& gate) {
  if (req.path != kServiceEndpointPath) {
    return Refusal(404, "There is nothing at " + req.path + "; the service is at " +
                            std::string(kServiceEndpointPath));
  }
  HttpResponse res;
  res.contentType = kXmlContentType;
  if (req.method == "POST") {
    SoapReply reply = service.Handle(req.Header("SOAPAction"), req.body, gate);
    res.status = reply.status;
    res.body = std::move(reply.body);
  } else if (req.method == "GET" || req.method == "HEAD") {
    // Range is not honoured: every answer is small, and many ranges would multiply it.
    if (AsksForWsdl(req)) {
      res.body = service.Wsdl(endpoint);
    } else {
      res.contentType = "text/html; charset=utf-8";
      res.body =
          "<html><body><h1>TerraService</h1><p>The local Quorvil map service. "
          "Its description is at <a href=\"?WSDL\">?WSDL</a>.</p></body></html>";
    }
  } else {
    res = Refusal(405, "The service answers GET, HEAD and POST, not " + req.method);
    res.headers.emplace_back("Allow", "GET, HEAD, POST");
  }
  return res;
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
         "                     (without either option the imagery is synthetic land)\n" +
         PresetUsageText() +
         "  --coverage world|us  where the synthetic imagery exists: everywhere between\n"
         "                     80 S and 84 N (default), or only over the fifty states\n"
         "  --delay-ms N       wait N milliseconds before every answer\n"
         "  --dataset-timeout-ms N  answer a tile that the datasets have not made within\n"
         "                     N milliseconds with a fault (default 20000)\n"
         "  --log              print one line per request to standard error\n"
         "  --help             show this text\n"
         "  --version          show the program's version\n"
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
    } else if (arg == "--version") {
      options.version = true;
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
    } else if (arg == "--dataset-timeout-ms") {
      options.datasetTimeoutMs = ParseInt(arg, value(), 100, 600000);
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

  // Connections hold no thread while idle: the open descriptors bound them.
  RaiseDescriptorLimit();
  MapService service({options.coverage, kDefaultTileCacheBytes}, options.imagery);
  std::string endpoint;
  std::mutex logMutex;
  HttpListener::Options listenerOptions;
  listenerOptions.limits.maxBodyBytes = kMaxRequestBytes;
  // A viewer downloads up to 16 tiles at once. Tiles made from the datasets wait on their
  // reads (a remote server may never answer) on workers of their own, with a deadline.
  listenerOptions.workers = 16;
  listenerOptions.slowWorkers = 16;
  listenerOptions.slowTimeout = std::chrono::milliseconds(options.datasetTimeoutMs);
  std::unique_ptr<HttpListener> listener;
  auto answer = [&](const HttpRequest& req, const DatasetGate& gate) {
    HttpResponse res = Route(service, endpoint, req, gate);
    if (options.delayMs > 0) listener->Sleep(std::chrono::milliseconds(options.delayMs));
    return res;
  };
  // Dataset work goes on where the request was read when a slow place is free: no second
  // thread, no second reading of the request.
  const DatasetGate slowPlace = [] { return HttpListener::TakeSlowWork(); };
  auto handler = [&](const HttpRequest& req) {
    try {
      return answer(req, slowPlace);
    } catch (const EDatasetWork&) {
      throw ESlowWork();
    }
  };
  listenerOptions.slowHandler = [&](const HttpRequest& req) { return answer(req, {}); };
  HttpListener::Logger logger;
  if (options.log) {
    // GDAL's own messages and the whole text of imagery faults.
    auto note = [&logMutex, &err](const std::string& text) {
      std::lock_guard lock(logMutex);
      err << text << "\n" << std::flush;
    };
    SetGdalLog(note);
    service.SetLog(note);
    // The listener logs a request before its answer leaves: a client that has its answer
    // finds the request in the log.
    logger = [&](const HttpRequest& req, const HttpResponse& res) {
      std::string action = req.Header("SOAPAction");
      if (const auto slash = action.find_last_of('/'); slash != std::string::npos) {
        action = action.substr(slash + 1);
      }
      if (!action.empty() && action.back() == '"') action.pop_back();
      std::lock_guard lock(logMutex);
      err << (req.method.empty() ? "-" : req.method) << ' ' << (req.path.empty() ? "-" : req.path)
          << (action.empty() ? "" : " " + action) << ' ' << res.status << ' ' << res.body.size()
          << " bytes\n"
          << std::flush;
    };
  }
  listener = std::make_unique<HttpListener>(
      listenerOptions, handler,
      [](const HttpRequest&, int status, const std::string& why) { return Refusal(status, why); },
      logger);

  if (!IsLoopbackHost(options.host)) {
    err << "quorvil-mapservice: listening on " << options.host
        << ", which other machines may reach\n";
  }
  const int port = listener->Bind(options.host, options.port);
  if (port <= 0) {
    err << "quorvil-mapservice: cannot listen on " << options.host;
    if (options.port != 0) err << ":" << options.port;
    err << "\n";
    return 1;
  }
  endpoint = EndpointOf(options.host, port);
  out << "quorvil-mapservice listening on " << endpoint << std::endl;

  std::thread stopper([&listener, stopSignals] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    CancelDatasetWork();
    listener->Stop();
  });
  const bool ok = listener->Run();
  if (listener->Abandoned()) {
    // A dataset read that hangs still uses the service: leave without waiting for it.
    out.flush();
    err.flush();
    std::_Exit(ok ? 0 : 1);
  }
  // A failed run leaves the stopper waiting: wake it.
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return ok ? 0 : 1;
}

}  // namespace quorvil::mapservice
