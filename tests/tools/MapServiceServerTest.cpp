// Runs the built quorvil-mapservice on an ephemeral loopback port and talks HTTP to it.

#include <gtest/gtest.h>
#include <httplib.h>

#include <string>
#include <thread>
#include <vector>

#include "support/MapServiceTestSupport.h"

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
