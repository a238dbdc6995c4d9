#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "mapservice/MapService.h"
#include "support/MapServiceTestSupport.h"

namespace quorvil::mapservice {
namespace {

using namespace quorvil::mapservice::testing;

const MapService& World() {
  static const MapService service({CoverageKind::World, 8 << 20});
  return service;
}

TEST(MapServiceTest, AnswersLookLikeAnAsmxService) {
  for (bool prefixed : {false, true}) {
    for (bool withAction : {false, true}) {
      const SoapReply reply = World().Handle(
          withAction ? SoapAction("ConvertLonLatPtToNearestPlace") : "",
          SoapRequest("ConvertLonLatPtToNearestPlace", Point("point", -74.0324, 40.744), prefixed));
      ASSERT_EQ(reply.status, 200) << reply.body;
      pugi::xml_document doc;
      const pugi::xml_node result = ResultOf(doc, reply.body, "ConvertLonLatPtToNearestPlace");
      ASSERT_TRUE(result) << reply.body;
      EXPECT_STREQ(result.child_value(), "Hoboken, New Jersey");
      EXPECT_STREQ(result.parent().attribute("xmlns").value(),
                   std::string(kTerraServiceNamespace).c_str());
    }
  }
}

TEST(MapServiceTest, FaultsCarryAReason) {
  const std::string area =
      Point("center", -73.965, 40.784) + "<theme>Photo</theme><scale>Scale4m</scale>";
  const struct {
    std::string action, body, fault;
  } cases[] = {
      {"", "<soap:Envelope", "Malformed XML"},
      {"", "", "Malformed XML"},
      {"", "<html/>", "not a SOAP 1.1 envelope"},
      {"", SoapRequest("DropTables", ""), "Unknown operation: DropTables"},
      {"\"http://elsewhere/GetTile\"", SoapRequest("GetTile", ""), "SOAPAction"},
      {SoapAction("GetTile"), SoapRequest("GetTheme", "<theme>Photo</theme>"),
       "SOAPAction names GetTile"},
      {"", SoapRequest("GetAreaFromPt", Point("center", -73.965, 40.784)), "theme: missing"},
      {"", SoapRequest("GetAreaFromPt", "<center><Lon>NaN</Lon><Lat>40</Lat></center>"),
       "center.Lon"},
      {"", SoapRequest("GetAreaFromPt", "<center><Lon>west</Lon><Lat>40</Lat></center>"),
       "not a number"},
      {"",
       SoapRequest(
           "GetAreaFromPt",
           area +
               "<displayPixWidth>1000001</displayPixWidth><displayPixHeight>5</displayPixHeight>"),
       "1000000 pixels"},
      {"",
       SoapRequest("GetAreaFromPt",
                   area + "<displayPixWidth>5</displayPixWidth><displayPixHeight>2147483648</"
                          "displayPixHeight>"),
       "32-bit integer"},
      {"", SoapRequest("GetAreaFromPt", Point("center", 1, 2) + "<theme>Aerial</theme>"),
       "'Aerial' is not a Theme"},
      {"", SoapRequest("GetTile", Id("Photo", "Scale3m", 18, 1, 1)), "'Scale3m' is not a Scale"},
      {"",
       SoapRequest("CountPlacesInRect", Point("upperleft", -75, 41) + Point("lowerright", -73, 40) +
                                            "<ptype>Town</ptype>"),
       "not a PlaceType"},
      {"",
       SoapRequest(
           "GetPlaceList",
           "<placeName>a</placeName><MaxItems>-1</MaxItems><imagePresence>true</imagePresence>"),
       "MaxItems"},
      {"",
       SoapRequest(
           "GetPlaceList",
           "<placeName> </placeName><MaxItems>5</MaxItems><imagePresence>maybe</imagePresence>"),
       "imagePresence"},
      {"", SoapRequest("ConvertPlaceToLonLatPt", "<place><City>Xyzzyville</City></place>"),
       "Xyzzyville"},
      {"", SoapRequest("ConvertUtmPtToLonLatPt", "<utm><Zone>61</Zone><X>500000</X><Y>0</Y></utm>"),
       "zone"},
      {"", SoapRequest("GetTheme", "<theme>Relief</theme>"), "Relief"},
      {"", SoapRequest("GetTileMetaFromTileId", Id("Photo", "Scale4m", 0, 1, 1)), "Scene 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const SoapReply reply = World().Handle(c.action, c.body);
    EXPECT_EQ(reply.status, 500);
    EXPECT_NE(FaultString(reply.body).find(c.fault), std::string::npos) << reply.body;
  }
}

TEST(MapServiceTest, TilesAreBase64ImageFiles) {
  const MapService us({CoverageKind::UnitedStates, 8 << 20});
  const struct {
    const MapService* service;
    std::string id;
    std::string magic;  // empty: no data
  } cases[] = {
      {&World(), Id("Photo", "Scale4m", 18, 732, 5644), "\xFF\xD8\xFF"},
      {&World(), Id("Topo", "Scale8m", 18, 366, 2822), "GIF8"},
      {&World(), Id("Topo", "Scale1m", 18, 2928, 22579), ""},  // no topographic map at 1 m
      {&World(), Id("Relief", "Scale4m", 18, 732, 5644), ""},
      {&us, Id("Photo", "Scale4m", 18, 732, 5644), "\xFF\xD8\xFF"},
      {&us, Id("Photo", "Scale8m", 31, 282, 3368), ""},  // Paris
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    const SoapReply reply = c.service->Handle(SoapAction("GetTile"), SoapRequest("GetTile", c.id));
    ASSERT_EQ(reply.status, 200) << reply.body;
    pugi::xml_document doc;
    const std::vector<std::uint8_t> file =
        Base64Decode(ResultOf(doc, reply.body, "GetTile").child_value());
    if (c.magic.empty()) {
      EXPECT_TRUE(file.empty());
    } else {
      ASSERT_GE(file.size(), 100u);
      EXPECT_EQ(std::string(file.begin(), file.begin() + c.magic.size()), c.magic);
      EXPECT_LT(file.size(), 20000u);
    }
  }
}

TEST(MapServiceTest, TilesComeFromTheCacheAndAgreeAcrossThreads) {
  const MapService service({CoverageKind::World, 1 << 20});
  const std::string request = SoapRequest("GetTile", Id("Photo", "Scale2m", 18, 1464, 11290));
  const std::string first = service.Handle("", request).body;
  EXPECT_EQ(service.Cache().Count(), 1u);
  std::vector<std::string> answers(6);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < answers.size(); ++i) {
    threads.emplace_back([&, i] {
      // Half ask for the cached tile, half for tiles of their own.
      answers[i] =
          service
              .Handle("", i % 2 ? request
                                : SoapRequest("GetTile", Id("Photo", "Scale2m", 18,
                                                            1465 + static_cast<int>(i), 11290)))
              .body;
    });
  }
  for (auto& t : threads) t.join();
  for (std::size_t i = 1; i < answers.size(); i += 2) EXPECT_EQ(answers[i], first);
  EXPECT_EQ(service.Cache().Count(), 4u);
  EXPECT_LE(service.Cache().Bytes(), 1 << 20);
}

TEST(MapServiceTest, TileCacheStaysWithinItsBound) {
  TileCache cache(1000);
  for (int x = 0; x < 20; ++x) {
    cache.Put({Theme::Photo, Scale::Scale1m, 18, x, 0},
              std::make_shared<const std::string>(300, 'a'));
  }
  EXPECT_EQ(cache.Count(), 3u);
  EXPECT_EQ(cache.Bytes(), 900);
  EXPECT_TRUE(cache.Find({Theme::Photo, Scale::Scale1m, 18, 19, 0}));
  EXPECT_FALSE(cache.Find({Theme::Photo, Scale::Scale1m, 18, 0, 0}));
  cache.Put({Theme::Photo, Scale::Scale1m, 18, 99, 0},
            std::make_shared<const std::string>(2000, 'b'));
  EXPECT_FALSE(cache.Find({Theme::Photo, Scale::Scale1m, 18, 99, 0}));
}

TEST(MapServiceTest, EveryOperationAnswers) {
  const std::string rect = Point("upperleft", -74.1, 40.9) + Point("lowerright", -73.9, 40.6);
  const struct {
    std::string op, params, expectChild;  // a child element the result must hold, or text
  } cases[] = {
      {"ConvertLonLatPtToUtmPt", Point("point", -75, 0), "Zone"},
      {"ConvertUtmPtToLonLatPt", "<utm><Zone>18</Zone><X>500000</X><Y>0</Y></utm>", "Lon"},
      {"ConvertPlaceToLonLatPt", "<place><City>Hoboken</City><State>New Jersey</State></place>",
       "Lat"},
      {"CountPlacesInRect", rect + "<ptype>UnknownPlaceType</ptype>", ""},
      {"GetAreaFromPt",
       Point("center", -73.965, 40.784) +
           "<theme>Photo</theme><scale>Scale4m</scale><displayPixWidth>800</"
           "displayPixWidth><displayPixHeight>600</displayPixHeight>",
       "NearestPlace"},
      {"GetAreaFromRect",
       Point("upperLeft", -74.0, 40.8) + Point("lowerRight", -73.95, 40.76) +
           "<theme>Photo</theme><scale>Scale8m</scale>",
       "SouthEast"},
      {"GetAreaFromTileId",
       Id("Topo", "Scale8m", 18, 366, 2822) +
           "<displayPixWidth>400</displayPixWidth><displayPixHeight>300</displayPixHeight>",
       "Center"},
      {"GetLatLonMetrics", Point("point", -73.965, 40.784), "ThemeBoundingBox"},
      {"GetPlaceFacts",
       "<place><City>Trenton</City><State>NJ</State><Country>United States</Country></place>",
       "Population"},
      {"GetPlaceList",
       "<placeName>Central "
       "Park</placeName><MaxItems>100</MaxItems><imagePresence>true</imagePresence>",
       "PlaceFacts"},
      {"GetPlaceListInRect", rect + "<ptype>ParkBeach</ptype><MaxItems>2</MaxItems>", "PlaceFacts"},
      {"GetTheme", "<theme>Topo</theme>", "HiScale"},
      {"GetTileMetaFromLonLatPt",
       Point("point", -73.965, 40.784) + "<theme>Photo</theme><scale>Scale1m</scale>",
       "TileExists"},
      {"GetTileMetaFromTileId", Id("Photo", "Scale4m", 18, 732, 5644), "Capture"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.op);
    const SoapReply reply = World().Handle(SoapAction(c.op), SoapRequest(c.op, c.params));
    ASSERT_EQ(reply.status, 200) << reply.body;
    pugi::xml_document doc;
    const pugi::xml_node result = ResultOf(doc, reply.body, c.op);
    ASSERT_TRUE(result) << reply.body;
    if (c.expectChild.empty()) {
      EXPECT_GT(std::stoi(result.child_value()), 10);
    } else {
      EXPECT_TRUE(result.child(c.expectChild.c_str())) << reply.body;
    }
  }
  pugi::xml_document doc;
  const pugi::xml_node inRect =
      ResultOf(doc,
               World()
                   .Handle("", SoapRequest("GetPlaceListInRect",
                                           rect + "<ptype>ParkBeach</ptype><MaxItems>2</MaxItems>"))
                   .body,
               "GetPlaceListInRect");
  EXPECT_EQ(
      std::distance(inRect.children("PlaceFacts").begin(), inRect.children("PlaceFacts").end()), 2);
  // A blank name finds nothing, as an unknown one does, instead of a fault.
  for (const char* blank : {"<placeName/>", "<placeName> </placeName>"}) {
    const SoapReply reply = World().Handle(
        "", SoapRequest(
                "GetPlaceList",
                std::string(blank) + "<MaxItems>5</MaxItems><imagePresence>true</imagePresence>"));
    ASSERT_EQ(reply.status, 200) << reply.body;
    EXPECT_FALSE(ResultOf(doc, reply.body, "GetPlaceList").child("PlaceFacts")) << reply.body;
  }
}

TEST(MapServiceTest, WsdlDescribesEveryOperation) {
  const std::string endpoint = "http://127.0.0.1:12345/terraservice.asmx";
  const std::string wsdl = World().Wsdl(endpoint);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(wsdl.c_str()));
  const auto ops =
      doc.select_nodes("/wsdl:definitions/wsdl:portType[@name='TerraServiceSoap']/wsdl:operation");
  EXPECT_EQ(ops.size(), 16u);
  for (const auto& op : ops) {
    const std::string name = op.node().attribute("name").value();
    const std::string action =
        doc.select_node(("/wsdl:definitions/wsdl:binding/wsdl:operation[@name='" + name +
                         "']/soap:operation")
                            .c_str())
            .node()
            .attribute("soapAction")
            .value();
    EXPECT_EQ(action, std::string(kTerraServiceNamespace) + name);
    // Every operation's request element is declared, and the real service answers it.
    EXPECT_TRUE(doc.select_node(("//s:schema/s:element[@name='" + name + "']").c_str())) << name;
    const SoapReply reply = World().Handle("", SoapRequest(name, ""));
    EXPECT_EQ(FaultString(reply.body).find("Unknown operation"), std::string::npos) << name;
  }
  EXPECT_STREQ(doc.select_node("//wsdl:service[@name='TerraService']/"
                               "wsdl:port[@name='TerraServiceSoap']/soap:address")
                   .node()
                   .attribute("location")
                   .value(),
               endpoint.c_str());
  // The case of the corner parameters differs between operations.
  EXPECT_TRUE(
      doc.select_node("//s:element[@name='GetAreaFromRect']//s:element[@name='upperLeft']"));
  EXPECT_TRUE(
      doc.select_node("//s:element[@name='CountPlacesInRect']//s:element[@name='upperleft']"));
  EXPECT_TRUE(doc.select_node("//s:element[@name='GetPlaceList']//s:element[@name='MaxItems']"));
}

}  // namespace
}  // namespace quorvil::mapservice
