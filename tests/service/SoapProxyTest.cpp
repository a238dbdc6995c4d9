#include <gtest/gtest.h>

#include <functional>

#include "platform/ProgramError.h"
#include "service/SoapEnvelope.h"
#include "service/SoapTestSupport.h"
#include "service/TerraServiceSoapProxy.h"

namespace quorvil {
namespace {

using test::AsmxAnswer;
using test::AsmxFault;
using test::RecordingTransport;

const std::string kNs(kTerraServiceNamespace);
const std::string kSoapNs(kSoapEnvelopeNamespace);
constexpr const char* kUrl = "http://127.0.0.1:9/terraservice.asmx";

struct Proxy {
  std::shared_ptr<RecordingTransport> wire = std::make_shared<RecordingTransport>();
  std::shared_ptr<TerraServiceSoap> service = CreateServiceProxy(false, kUrl, wire);
};

TileId MakeTileId(Theme theme, Scale scale, int scene, int x, int y) {
  TileId id;
  id.Theme = theme;
  id.Scale = scale;
  id.Scene = scene;
  id.X = x;
  id.Y = y;
  return id;
}

TEST(SoapProxyWire, EachOperationSendsItsNamesInOrderInTheServiceNamespace) {
  const LonLatPt centralPark{-73.965, 40.784};
  const LonLatPt se{-73.5, 40.25};
  const TileId id = MakeTileId(Theme::Topo, Scale::Scale64m, 18, 2377, -7);
  struct Row {
    std::string operation;
    std::function<void(TerraServiceSoap&)> call;
    std::string shape;
  };
  const std::vector<Row> rows = {
      {"GetAreaFromPt",
       [&](TerraServiceSoap& s) {
         s.GetAreaFromPt(centralPark, Theme::Topo, Scale::Scale2m, 300, 200);
       },
       "GetAreaFromPt{center{Lon=-73.965;Lat=40.784;}theme=Topo;scale=Scale2m;"
       "displayPixWidth=300;displayPixHeight=200;}"},
      {"GetAreaFromRect",
       [&](TerraServiceSoap& s) {
         s.GetAreaFromRect(centralPark, se, Theme::Photo, Scale::Scale1m);
       },
       "GetAreaFromRect{upperLeft{Lon=-73.965;Lat=40.784;}lowerRight{Lon=-73.5;Lat=40.25;}"
       "theme=Photo;scale=Scale1m;}"},
      {"GetTileMetaFromTileId", [&](TerraServiceSoap& s) { s.GetTileMetaFromTileId(id); },
       "GetTileMetaFromTileId{id{Theme=Topo;Scale=Scale64m;Scene=18;X=2377;Y=-7;}}"},
      {"ConvertLonLatPtToNearestPlace",
       [&](TerraServiceSoap& s) { s.ConvertLonLatPtToNearestPlace(centralPark); },
       "ConvertLonLatPtToNearestPlace{point{Lon=-73.965;Lat=40.784;}}"},
      {"GetPlaceList", [&](TerraServiceSoap& s) { s.GetPlaceList("Seattle, WA", 100, true); },
       "GetPlaceList{placeName=Seattle, WA;MaxItems=100;imagePresence=true;}"},
      {"GetTile", [&](TerraServiceSoap& s) { s.GetTile(id); },
       "GetTile{id{Theme=Topo;Scale=Scale64m;Scene=18;X=2377;Y=-7;}}"},
      {"GetPlaceListInRect",
       [&](TerraServiceSoap& s) { s.GetPlaceListInRect(centralPark, se, PlaceType::CityTown, 25); },
       "GetPlaceListInRect{upperleft{Lon=-73.965;Lat=40.784;}lowerright{Lon=-73.5;Lat=40.25;}"
       "ptype=CityTown;MaxItems=25;}"},
      {"CountPlacesInRect",
       [&](TerraServiceSoap& s) { s.CountPlacesInRect(centralPark, se, PlaceType::River); },
       "CountPlacesInRect{upperleft{Lon=-73.965;Lat=40.784;}lowerright{Lon=-73.5;Lat=40.25;}"
       "ptype=River;}"},
      {"GetTileMetaFromLonLatPt",
       [&](TerraServiceSoap& s) { s.GetTileMetaFromLonLatPt(se, Theme::Relief, Scale::Scale16km); },
       "GetTileMetaFromLonLatPt{point{Lon=-73.5;Lat=40.25;}theme=Relief;scale=Scale16km;}"},
      {"GetPlaceFacts",
       [&](TerraServiceSoap& s) {
         s.GetPlaceFacts(Place{"Boise", "ID", "USA"});
       },
       "GetPlaceFacts{place{City=Boise;State=ID;Country=USA;}}"},
      {"ConvertUtmPtToLonLatPt",
       [&](TerraServiceSoap& s) {
         s.ConvertUtmPtToLonLatPt(UtmPt{18, 586000.5, 4515000});
       },
       "ConvertUtmPtToLonLatPt{utm{Zone=18;X=586000.5;Y=4515000;}}"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.operation);
    Proxy proxy;
    row.call(*proxy.service);
    ASSERT_EQ(proxy.wire->Posts.size(), 1u);
    const auto& sent = proxy.wire->Posts[0];
    EXPECT_EQ(sent.Url, kUrl);
    EXPECT_EQ(sent.Action, "http://terraserver-usa.com/terraserver/" + row.operation);
    EXPECT_EQ(sent.ContentType, "text/xml; charset=utf-8");

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(sent.Body.c_str()));
    const pugi::xml_node envelope = doc.document_element();
    EXPECT_EQ(test::LocalNameOf(envelope), "Envelope");
    EXPECT_EQ(test::NamespaceOf(envelope), kSoapNs);
    const pugi::xml_node body = envelope.first_child();
    EXPECT_EQ(test::LocalNameOf(body), "Body");
    EXPECT_EQ(test::NamespaceOf(body), kSoapNs);
    EXPECT_EQ(test::Shape(body.first_child(), kNs), row.shape);
    EXPECT_FALSE(body.first_child().next_sibling());
  }
}

TEST(SoapProxyWire, TextIsEscapedAndCharactersXmlCannotCarryAreDropped) {
  Proxy proxy;
  proxy.service->GetPlaceList("A&B <C> \"D\"\x01\x1f", 5, false);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(proxy.wire->Posts[0].Body.c_str()));
  const pugi::xml_node op = doc.document_element().first_child().first_child();
  EXPECT_EQ(test::Shape(op, kNs),
            "GetPlaceList{placeName=A&B <C> \"D\";MaxItems=5;imagePresence=false;}");
}

TEST(SoapProxyFactory, AddressesAndModes) {
  struct Row {
    bool useWsdl;
    std::string address, url, wsdl;
  };
  const std::vector<Row> rows = {
      {false, "", "http://127.0.0.1:47015/terraservice.asmx", ""},
      {true, "", "", "http://127.0.0.1:47015/terraservice.asmx?WSDL"},
      {false, "http://maps.example:8080/terraservice.asmx",
       "http://maps.example:8080/terraservice.asmx", ""},
      {true, "http://maps.example/terraservice.asmx?WSDL", "",
       "http://maps.example/terraservice.asmx?WSDL"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.address + (row.useWsdl ? " wsdl" : ""));
    // Once with the program's own HTTP transport, once with one handed in that was used
    // before in the other mode.
    auto used = std::make_shared<RecordingTransport>();
    used->SetURL("http://stale/");
    used->SetWSDLLocation("http://stale/?WSDL");
    for (auto given : {std::shared_ptr<SoapTransport>(), std::shared_ptr<SoapTransport>(used)}) {
      auto service = CreateServiceProxy(row.useWsdl, row.address, given);
      auto* proxy = dynamic_cast<TerraServiceSoapProxy*>(service.get());
      ASSERT_NE(proxy, nullptr);
      if (given) {
        EXPECT_EQ(&proxy->Transport(), given.get());
      }
      EXPECT_EQ(proxy->Transport().URL(), row.url);
      EXPECT_EQ(proxy->Transport().WSDLLocation(), row.wsdl);
      if (row.useWsdl) {
        EXPECT_EQ(proxy->Transport().Service(), "TerraService");
        EXPECT_EQ(proxy->Transport().Port(), "TerraServiceSoap");
      }
    }
  }
}

const char* kWsdl = R"(<?xml version="1.0" encoding="utf-8"?>
<wsdl:definitions xmlns:wsdl="http://schemas.xmlsoap.org/wsdl/"
    xmlns:soap="http://schemas.xmlsoap.org/wsdl/soap/"
    xmlns:soap12="http://schemas.xmlsoap.org/wsdl/soap12/"
    targetNamespace="http://terraserver-usa.com/terraserver/">
  <wsdl:service name="OtherService">
    <wsdl:port name="TerraServiceSoap" binding="tns:X"><soap:address location="http://wrong/1" /></wsdl:port>
  </wsdl:service>
  <wsdl:service name="TerraService">
    <wsdl:port name="TerraServiceSoap12" binding="tns:Y"><soap12:address location="http://wrong/2" /></wsdl:port>
    <wsdl:port name="TerraServiceSoap" binding="tns:Z">
      <soap:address location="http://10.0.0.7:8000/terraservice.asmx" />
    </wsdl:port>
  </wsdl:service>
</wsdl:definitions>)";

TEST(SoapProxyFactory, WsdlModeFetchesTheDocumentOnceAndPostsToItsAddress) {
  auto wire = std::make_shared<RecordingTransport>();
  wire->GetAnswer = {200, kWsdl};
  auto service = CreateServiceProxy(true, "http://host/terraservice.asmx?WSDL", wire);
  EXPECT_TRUE(wire->Gets.empty());  // nothing happens before the first call
  service->ConvertLonLatPtToNearestPlace({1, 2});
  service->GetTile({});
  ASSERT_EQ(wire->Gets.size(), 1u);
  EXPECT_EQ(wire->Gets[0], "http://host/terraservice.asmx?WSDL");
  ASSERT_EQ(wire->Posts.size(), 2u);
  EXPECT_EQ(wire->Posts[0].Url, "http://10.0.0.7:8000/terraservice.asmx");
  EXPECT_EQ(wire->Posts[1].Url, "http://10.0.0.7:8000/terraservice.asmx");
}

TEST(SoapProxyFactory, WsdlProblemsShowAtTheFirstCall) {
  struct Row {
    HttpAnswer answer;
    std::string message;
  };
  const std::vector<Row> rows = {
      {{404, "not here"}, "HTTP status 404"},
      {{200, "<html><body>hello"}, "not well-formed"},
      {{200, "<definitions><service name=\"TerraService\"/></definitions>"},
       "no address for port TerraServiceSoap of service TerraService"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    auto wire = std::make_shared<RecordingTransport>();
    wire->GetAnswer = row.answer;
    auto service = CreateServiceProxy(true, "http://host/x?WSDL", wire);
    try {
      service->GetTile({});
      ADD_FAILURE() << "no error";
    } catch (const EQuorvilError& error) {
      EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("http://host/x?WSDL"), std::string::npos);
    }
    EXPECT_TRUE(wire->Posts.empty());
  }
}

TEST(SoapProxyAnswers, FaultsAndHttpErrorsBecomeReadableErrors) {
  struct Row {
    HttpAnswer answer;
    std::string message;  // exact for faults, a part of it otherwise
    bool fault;
  };
  const std::vector<Row> rows = {
      {{500, AsmxFault("Server was unable to process request. ---&gt; Tile not found")},
       "Server was unable to process request. ---> Tile not found",
       true},
      {{200, AsmxFault("Fault under a success status")}, "Fault under a success status", true},
      {{500, AsmxFault("")}, "The map service reported a fault (soap:Server)", true},
      {{500, AsmxFault("\x1b]0;owned\x07\x1b[2J&#27;[31mred\ntext")},
       "]0;owned[2J[31mred text",
       true},
      {{500, AsmxFault(std::string(5000, 'f'))}, std::string(1000, 'f') + "\u2026", true},
      {{404, "<html><body>Not Found</body></html>"},
       "The map service at http://127.0.0.1:9/terraservice.asmx answered with HTTP status 404",
       false},
      {{503, ""}, "HTTP status 503", false},
      {{200, "Service Unavailable"}, "not well-formed XML", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    Proxy proxy;
    proxy.wire->PostAnswer = row.answer;
    try {
      proxy.service->GetTile(MakeTileId(Theme::Photo, Scale::Scale1m, 1, 2, 3));
      ADD_FAILURE() << "no error";
    } catch (const ESoapFault& fault) {
      EXPECT_TRUE(row.fault);
      EXPECT_EQ(fault.what(), row.message);
      EXPECT_EQ(fault.FaultCode(), "soap:Server");
    } catch (const EQuorvilError& error) {
      EXPECT_FALSE(row.fault);
      EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
    }
  }
}

TEST(SoapProxyAnswers, ResultsReachTheCaller) {
  Proxy proxy;
  proxy.wire->PostAnswer = {200, AsmxAnswer("GetPlaceList", R"(
      <PlaceFacts><Place><City>Seattle</City><State>Washington</State><Country>USA</Country></Place>
        <Center><Lon>-122.33</Lon><Lat>47.61</Lat></Center><AvailableThemeMask>7</AvailableThemeMask>
        <PlaceTypeId>CityTown</PlaceTypeId><Population>563374</Population></PlaceFacts>
      <PlaceFacts xsi:nil="true" />
      <Unexpected>skipped</Unexpected>
      <PlaceFacts><Place><City>Seattle Heights</City></Place></PlaceFacts>)")};
  const ArrayOfPlaceFacts places = proxy.service->GetPlaceList("Seattle", 100, true);
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0]->Place->City, "Seattle");
  EXPECT_EQ(places[0]->Place->State, "Washington");
  EXPECT_EQ(places[0]->Place->Country, "USA");
  EXPECT_EQ(places[0]->Center->Lon, -122.33);
  EXPECT_EQ(places[0]->Center->Lat, 47.61);
  EXPECT_EQ(places[0]->AvailableThemeMask, "7");
  EXPECT_EQ(places[0]->PlaceTypeId, PlaceType::CityTown);
  EXPECT_EQ(places[0]->Population, 563374);
  EXPECT_EQ(places[1]->Place->City, "Seattle Heights");
  EXPECT_EQ(places[1]->Center, nullptr);

  proxy.wire->PostAnswer = {200, AsmxAnswer("GetTile", "R0lGOD\nlhAQAB")};
  EXPECT_EQ(proxy.service->GetTile({}), "R0lGOD\nlhAQAB");
  proxy.wire->PostAnswer = {200, AsmxAnswer("ConvertLonLatPtToNearestPlace", "Central Park, NY")};
  EXPECT_EQ(proxy.service->ConvertLonLatPtToNearestPlace({}), "Central Park, NY");
  proxy.wire->PostAnswer = {200, AsmxAnswer("CountPlacesInRect", "42")};
  EXPECT_EQ(proxy.service->CountPlacesInRect({}, {}, PlaceType::Lake), 42);
  proxy.wire->PostAnswer = {200,
                            AsmxAnswer("GetLatLonMetrics",
                                       "<ThemeBoundingBox><Theme>Relief</Theme><Sparseness>3"
                                       "</Sparseness><ProjectionId>UtmNad27</ProjectionId>"
                                       "<SouthLatitude>-1e-3</SouthLatitude></ThemeBoundingBox>")};
  const ArrayOfThemeBoundingBox boxes = proxy.service->GetLatLonMetrics({});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]->Theme, Theme::Relief);
  EXPECT_EQ(boxes[0]->Sparseness, 3);
  EXPECT_EQ(boxes[0]->ProjectionId, ProjectionType::UtmNad27);
  EXPECT_EQ(boxes[0]->SouthLatitude, -0.001);
  // A tile answer is refused beyond 256 KB of file, before it is decoded; line breaks
  // and the padding do not count.
  // 349524 digits are 262143 bytes.
  const struct {
    std::string base64;
    bool refused;
  } tiles[] = {{std::string(349524, 'A') + "AA==", false},
               {std::string(349524, 'A') + "AAA=", true},
               {std::string(349524, 'A') + std::string(100000, '\n'), false},
               {std::string(1 << 24, 'Q'), true}};
  for (const auto& t : tiles) {
    proxy.wire->PostAnswer = {200, AsmxAnswer("GetTile", t.base64)};
    if (t.refused) {
      try {
        proxy.service->GetTile({});
        ADD_FAILURE() << "no error for " << t.base64.size();
      } catch (const EQuorvilError& error) {
        EXPECT_NE(std::string(error.what()).find("a tile has at most 262144 bytes"),
                  std::string::npos)
            << error.what();
      }
    } else {
      EXPECT_EQ(proxy.service->GetTile({}).size(), t.base64.size());
    }
  }
  // An answer of another operation is not taken for this one's.
  EXPECT_THROW(proxy.service->GetTile({}), EQuorvilError);
}

}  // namespace
}  // namespace quorvil
