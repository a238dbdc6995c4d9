#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/ProgramError.h"
#include "service/SoapEnvelope.h"
#include "service/SoapTestSupport.h"
#include "service/TerraServiceSoapProxy.h"

namespace quorvil {
namespace {

using namespace std::chrono_literals;

// A tiny map service on a free loopback port: answers GetTile and
// ConvertLonLatPtToNearestPlace, serves a WSDL, and has a path that answers late.
class LoopbackService {
 public:
  struct Seen {
    int remotePort;
    std::string action, contentType, body;
  };

  LoopbackService() {
    server_.set_keep_alive_timeout(1);
    server_.Post("/terraservice.asmx", [this](const httplib::Request& req, httplib::Response& res) {
      std::string action = req.get_header_value("SOAPAction");
      {
        std::lock_guard lock(mutex_);
        seen_.push_back({req.remote_port, action, req.get_header_value("Content-Type"), req.body});
      }
      if (action == "\"http://terraserver-usa.com/terraserver/GetTile\"") {
        res.set_content(test::AsmxAnswer("GetTile", "/9j/4AAQSkZJRg=="), "text/xml; charset=utf-8");
      } else if (action ==
                 "\"http://terraserver-usa.com/terraserver/ConvertLonLatPtToNearestPlace\"") {
        res.set_content(test::AsmxAnswer("ConvertLonLatPtToNearestPlace", "Central Park, NY"),
                        "text/xml; charset=utf-8");
      } else {
        res.status = 500;
        res.set_content(test::AsmxFault("Unknown SOAPAction " + action), "text/xml");
      }
    });
    server_.Get("/terraservice.asmx", [this](const httplib::Request&, httplib::Response& res) {
      res.set_content(
          "<definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
          "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\"><service name=\"TerraService\">"
          "<port name=\"TerraServiceSoap\"><soap:address location=\"" +
              Url("/terraservice.asmx") + "\"/></port></service></definitions>",
          "text/xml");
    });
    server_.Post("/slow.asmx", [this](const httplib::Request&, httplib::Response& res) {
      std::unique_lock lock(mutex_);
      released_.wait_for(lock, 10s, [this] { return release_; });
      res.set_content(test::AsmxAnswer("GetTile", "late"), "text/xml");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }

  ~LoopbackService() {
    {
      std::lock_guard lock(mutex_);
      release_ = true;
    }
    released_.notify_all();
    server_.stop();
    thread_.join();
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int Port() const { return port_; }
  std::vector<Seen> SeenRequests() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable released_;
  bool release_ = false;
  std::vector<Seen> seen_;
};

// A loopback port that nobody listens on: bound for a moment, never listened on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const EQuorvilError& error) {
    return error.what();
  }
  return "(no error)";
}

TEST(SoapTransportHttp, CallsTravelOverOneKeptAliveConnection) {
  LoopbackService service;
  {
    auto proxy = CreateServiceProxy(false, service.Url("/terraservice.asmx"));
    EXPECT_EQ(proxy->GetTile({}), "/9j/4AAQSkZJRg==");
    EXPECT_EQ(proxy->ConvertLonLatPtToNearestPlace({-73.965, 40.784}), "Central Park, NY");
  }
  const auto seen = service.SeenRequests();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].action, "\"http://terraserver-usa.com/terraserver/GetTile\"");
  EXPECT_EQ(seen[0].contentType, "text/xml; charset=utf-8");
  EXPECT_NE(seen[1].body.find("<Lon>-73.965</Lon><Lat>40.784</Lat>"), std::string::npos);
  EXPECT_EQ(seen[0].remotePort, seen[1].remotePort);  // the same connection
}

TEST(SoapTransportHttp, WsdlModeFindsTheEndpointOverHttp) {
  LoopbackService service;
  auto proxy = CreateServiceProxy(true, service.Url("/terraservice.asmx?WSDL"));
  EXPECT_EQ(proxy->GetTile({}), "/9j/4AAQSkZJRg==");
  EXPECT_EQ(service.SeenRequests().size(), 1u);
}

TEST(SoapTransportHttp, FailuresEndInReadableErrors) {
  LoopbackService service;
  const std::string refusedUrl =
      "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/terraservice.asmx";

  struct Row {
    std::string url, message;
  };
  const std::vector<Row> rows = {
      {service.Url("/terraservice.asmx"), "Unknown SOAPAction"},  // fault under status 500
      {service.Url("/missing.asmx"), "answered with HTTP status 404"},
      {refusedUrl, "No answer from the map service at " + refusedUrl + ": Failed to connect"},
      {"http://quorvil-no-such-host.invalid/terraservice.asmx", "resolve"},
      {service.Url("/slow.asmx"), "timed out"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.url);
    auto transport = std::make_shared<CurlSoapTransport>();
    transport->SetTimeouts(2000ms, 300ms);
    auto proxy = CreateServiceProxy(false, row.url, transport);
    const std::string message = MessageOf([&] { proxy->GetTheme(Theme::Topo); });
    EXPECT_NE(message.find(row.message), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace quorvil
