// Runs the built quorvil-mapservice on an ephemeral loopback port and talks HTTP to it.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/MapServiceTestSupport.h"
#include "support/RawHttpClient.h"

namespace quorvil::mapservice {
namespace {

using namespace quorvil::mapservice::testing;

class MapServiceServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!kMapServicePath) GTEST_SKIP() << "quorvil-mapservice is not built";
  }

  static httplib::Result Post(httplib::Client& client, const std::string& op,
                              const std::string& body) {
    httplib::Headers headers{{"SOAPAction", SoapAction(op)}};
    return client.Post("/terraservice.asmx", headers, body, "text/xml; charset=utf-8");
  }
};

TEST_F(MapServiceServerTest, ServesSoapAndItsWsdlOnAnEphemeralPort) {
  ServiceProcess service({"--port", "0"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  const std::string endpoint =
      "http://127.0.0.1:" + std::to_string(service.Port()) + "/terraservice.asmx";
  EXPECT_EQ(service.Line(), "quorvil-mapservice listening on " + endpoint);
  httplib::Client client("127.0.0.1", service.Port());

  const auto wsdl = client.Get("/terraservice.asmx?WSDL");
  ASSERT_TRUE(wsdl);
  EXPECT_EQ(wsdl->status, 200);
  EXPECT_NE(wsdl->body.find("location=\"" + endpoint + "\""), std::string::npos);

  const auto area =
      Post(client, "GetAreaFromPt",
           SoapRequest("GetAreaFromPt", Point("center", -73.965, 40.784) +
                                            "<theme>Photo</theme><scale>Scale4m</scale>"
                                            "<displayPixWidth>640</displayPixWidth>"
                                            "<displayPixHeight>480</displayPixHeight>"));
  ASSERT_TRUE(area);
  EXPECT_EQ(area->status, 200);
  EXPECT_NE(area->get_header_value("Content-Type").find("text/xml"), std::string::npos);
  pugi::xml_document doc;
  EXPECT_TRUE(ResultOf(doc, area->body, "GetAreaFromPt").child("NearestPlace"));
}

TEST_F(MapServiceServerTest, BadRequestsGetFaultsAndTheServiceLivesOn) {
  ServiceProcess service({"--port", "0"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  httplib::Client client("127.0.0.1", service.Port());
  const struct {
    std::string op, body, fault;
  } cases[] = {
      {"GetTile", "<soap:Envelope><broken", "Malformed XML"},
      {"Explode", SoapRequest("Explode", ""), "Unknown operation"},
      {"GetAreaFromPt", SoapRequest("GetAreaFromPt", "<center><Lon>NaN</Lon><Lat>1</Lat></center>"),
       "finite"},
      {"GetAreaFromPt",
       SoapRequest(
           "GetAreaFromPt",
           Point("center", -74, 40) +
               "<theme>Photo</theme><scale>Scale1m</scale>"
               "<displayPixWidth>2000000</displayPixWidth><displayPixHeight>10</displayPixHeight>"),
       "pixels"},
      {"GetTile", SoapRequest("GetTile", Id("Sepia", "Scale4m", 18, 1, 1)), "not a Theme"},
  };
  for (const auto& c : cases) {
    const auto reply = Post(client, c.op, c.body);
    ASSERT_TRUE(reply) << c.body;
    EXPECT_EQ(reply->status, 500) << c.body;
    EXPECT_NE(FaultString(reply->body).find(c.fault), std::string::npos) << reply->body;
  }
  // Bodies over the fixed limit are refused unread.
  const auto huge = Post(client, "GetTile", std::string(3 << 20, ' '));
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->status, 413);
  const auto after = client.Get("/terraservice.asmx?wsdl");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, 200);
}

TEST_F(MapServiceServerTest, ServesSeveralClientsAtOnce) {
  ServiceProcess service({"--port", "0", "--coverage", "us"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  std::vector<std::string> tiles(6);
  std::vector<std::thread> clients;
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    clients.emplace_back([&, i] {
      httplib::Client client("127.0.0.1", service.Port());
      const auto reply = Post(
          client, "GetTile",
          SoapRequest("GetTile", Id("Photo", "Scale8m", 18, 366 + static_cast<int>(i % 3), 2822)));
      if (reply && reply->status == 200) {
        pugi::xml_document doc;
        tiles[i] = ResultOf(doc, reply->body, "GetTile").child_value();
      }
    });
  }
  for (auto& c : clients) c.join();
  for (std::size_t i = 0; i < tiles.size(); ++i) {
    EXPECT_FALSE(tiles[i].empty()) << i;
    EXPECT_EQ(tiles[i], tiles[i % 3]) << i;
  }
  // Outside the fifty states there is no imagery with --coverage us.
  httplib::Client client("127.0.0.1", service.Port());
  const auto paris =
      Post(client, "GetTile", SoapRequest("GetTile", Id("Photo", "Scale8m", 31, 282, 3368)));
  ASSERT_TRUE(paris);
  pugi::xml_document doc;
  EXPECT_STREQ(ResultOf(doc, paris->body, "GetTile").child_value(), "");
}

using namespace std::chrono_literals;
using quorvil::testing::TRawHttpClient;
using Clock = std::chrono::steady_clock;

TEST_F(MapServiceServerTest, TricklingClientsDoNotStopTheOthers) {
  ServiceProcess service({"--port", "0"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  std::atomic<bool> done{false};
  std::vector<std::thread> tricklers;
  for (int i = 0; i < 16; ++i) {
    tricklers.emplace_back([&, i] {
      TRawHttpClient slow(service.Port());
      const std::string request = i % 2 == 0 ? "GET /terraservice.asmx?WSDL HTTP/1.1\r\nHost: x"
                                             : "POST /terraservice.asmx HTTP/1.1\r\n"
                                               "Content-Length: 900000000\r\n\r\n<soap:Envelope";
      for (std::size_t at = 0; !done && at < request.size(); ++at) {
        if (!slow.Send(request.substr(at, 1))) break;
        std::this_thread::sleep_for(100ms);
      }
    });
  }
  // More clients in the middle of a request than a fixed bound of 128 would hold.
  std::vector<std::unique_ptr<TRawHttpClient>> silent;
  for (int i = 0; i < 300; ++i) {
    silent.push_back(std::make_unique<TRawHttpClient>(service.Port()));
    ASSERT_TRUE(silent.back()->Send("GET /terraservice.asmx?WSDL HTTP/1.1\r\n"));
  }
  std::this_thread::sleep_for(300ms);
  httplib::Client client("127.0.0.1", service.Port());
  client.set_read_timeout(1, 0);
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    const auto reply = Post(client, "GetTheme", SoapRequest("GetTheme", "<theme>Photo</theme>"));
    ASSERT_TRUE(reply) << i;
    EXPECT_EQ(reply->status, 200);
    EXPECT_LT(Clock::now() - start, 1s) << i;
    std::this_thread::sleep_for(200ms);
  }
  done = true;
  for (auto& t : tricklers) t.join();
}

TEST_F(MapServiceServerTest, AChunkedBodyOverTheLimitIsRefusedAndMemoryStaysBounded) {
  ServiceProcess service({"--port", "0"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  const long before = service.PeakMemoryKb();
  ASSERT_GT(before, 0);
  TRawHttpClient client(service.Port());
  ASSERT_TRUE(
      client.Send("POST /terraservice.asmx HTTP/1.1\r\nTransfer-Encoding: chunked\r\n"
                  "\r\n"));
  // 64 MiB offered in chunks of 64 kB: refused once the first megabyte is passed.
  const std::string chunk = "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
  std::size_t sent = 0;
  while (sent < (64u << 20) && client.Send(chunk)) sent += 0x10000;
  const std::string answer = client.ReadUntilClosed();
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 413 ")) << answer.substr(0, 200);
  EXPECT_NE(FaultString(answer.substr(answer.find("\r\n\r\n") + 4))
                .find("The request is larger than 1048576 bytes"),
            std::string::npos)
      << answer;
  EXPECT_LT(sent, 16u << 20);
  EXPECT_LT(service.PeakMemoryKb() - before, 16 << 10);
  // A chunk that declares a gigabyte is refused before a byte of it comes.
  TRawHttpClient declared(service.Port());
  ASSERT_TRUE(
      declared.Send("POST /terraservice.asmx HTTP/1.1\r\nTransfer-Encoding: chunked\r\n"
                    "\r\n40000000\r\n"));
  EXPECT_TRUE(declared.ReadAnswer().starts_with("HTTP/1.1 413 "));
}

TEST_F(MapServiceServerTest, RangeIsIgnoredAndTheWholeSmallBodyComes) {
  ServiceProcess service({"--port", "0"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  httplib::Client client("127.0.0.1", service.Port());
  const auto whole = client.Get("/terraservice.asmx?WSDL");
  ASSERT_TRUE(whole);
  // 2,700 ranges of the whole body in an 8 kB request.
  std::string ranges = "bytes=0-";
  for (int i = 1; i < 2700; ++i) ranges += ",0-";
  const auto ranged = client.Get("/terraservice.asmx?WSDL", {{"Range", ranges}});
  ASSERT_TRUE(ranged);
  EXPECT_EQ(ranged->status, 200);
  EXPECT_EQ(ranged->body.size(), whole->body.size());
  EXPECT_TRUE(ranged->body == whole->body);
  EXPECT_FALSE(ranged->has_header("Content-Range"));
}

TEST_F(MapServiceServerTest, RefusedRequestsStillGetAProperAnswer) {
  ServiceProcess service({"--port", "0"});
  ASSERT_GT(service.Port(), 0) << service.Line();
  const std::string form = "a=" + std::string(9000, 'b');
  const std::string multipart = "--x\r\nContent-Disposition: form-data; name=a\r\n\r\n1\r\n--x--";
  const struct {
    const char* what;
    std::string request;
    int status;
    std::string fault;
  } rows[] = {
      {"form-encoded body",
       "POST /terraservice.asmx HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
       "Content-Length: " +
           std::to_string(form.size()) + "\r\n\r\n" + form,
       500, "Malformed XML"},
      {"multipart body",
       "POST /terraservice.asmx HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=x\r\n"
       "Content-Length: " +
           std::to_string(multipart.size()) + "\r\n\r\n" + multipart,
       500, "Malformed XML"},
      {"declared body too large",
       "POST /terraservice.asmx HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n", 413,
       "The request is larger than 1048576 bytes"},
      {"negative length", "POST /terraservice.asmx HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400,
       "is not a byte count"},
      {"unknown coding", "POST /terraservice.asmx HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n", 501,
       "chunked"},
      {"not HTTP", "\x16\x03\x01\x02\x01\r\n\r\n", 400, "method target version"},
      {"elsewhere", "GET /admin HTTP/1.1\r\n\r\n", 404, "the service is at /terraservice.asmx"},
      {"another method", "DELETE /terraservice.asmx HTTP/1.1\r\n\r\n", 405, "not DELETE"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TRawHttpClient client(service.Port());
    ASSERT_TRUE(client.Send(row.request));
    const std::string answer = client.ReadAnswer();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 " + std::to_string(row.status) + " ")) << answer;
    const std::size_t body = answer.find("\r\n\r\n");
    ASSERT_NE(body, std::string::npos) << answer;
    EXPECT_NE(FaultString(answer.substr(body + 4)).find(row.fault), std::string::npos) << answer;
  }
}

TEST_F(MapServiceServerTest, SigtermAndCtrlCEndItWithinASecond) {
  for (const int signal : {SIGTERM, SIGINT}) {
    for (const bool delayed : {false, true}) {
      SCOPED_TRACE(std::to_string(signal) + (delayed ? ", answers delayed" : ""));
      std::vector<std::string> args{"--port", "0"};
      if (delayed) args.insert(args.end(), {"--delay-ms", "60000"});
      ServiceProcess service(args);
      ASSERT_GT(service.Port(), 0) << service.Line();
      // A client holds a kept-alive connection, or waits for its delayed answer.
      TRawHttpClient client(service.Port());
      ASSERT_TRUE(client.Send("GET /terraservice.asmx HTTP/1.1\r\n\r\n"));
      if (!delayed) {
        EXPECT_TRUE(client.ReadAnswer().starts_with("HTTP/1.1 200 OK"));
      }
      std::this_thread::sleep_for(100ms);
      const auto start = Clock::now();
      service.Signal(signal);
      EXPECT_EQ(service.Wait(), 0);
      EXPECT_LT(Clock::now() - start, 1s);
    }
  }
}

TEST_F(MapServiceServerTest, CommandLine) {
  const struct {
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {{"--help"}, 0},           {{"--port", "70000"}, 2}, {{"--coverage", "mars"}, 2},
      {{"--delay-ms", "-3"}, 2}, {{"--frobnicate"}, 2},
  };
  for (const auto& c : cases) {
    ServiceProcess run(c.args);
    EXPECT_EQ(run.Wait(), c.exitCode) << c.args[0];
  }
}

}  // namespace
}  // namespace quorvil::mapservice
