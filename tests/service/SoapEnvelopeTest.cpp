#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "platform/ProgramError.h"
#include "service/SoapEnvelope.h"
#include "service/SoapTestSupport.h"

namespace quorvil {
namespace {

using test::AsmxAnswer;
using test::AsmxEnvelope;

// A GetAreaFromPt answer the way an .asmx service writes it: another prefix for the
// envelope, blanks between elements, fields the client does not know.
const std::string kAreaAnswer = R"(<?xml version="1.0" encoding="utf-8"?>
<s:Envelope xmlns:s="http://schemas.xmlsoap.org/soap/envelope/"
            xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
  <s:Body>
    <GetAreaFromPtResponse xmlns="http://terraserver-usa.com/terraserver/">
      <GetAreaFromPtResult>
        <NorthWest>
          <TileMeta>
            <Id><Theme>Photo</Theme><Scale>Scale4m</Scale><Scene>18</Scene><X>733</X><Y>5643</Y></Id>
            <TileExists>true</TileExists>
            <NorthWest><Lon>-73.97</Lon><Lat>40.79</Lat></NorthWest>
            <NorthEast><Lon>-73.96</Lon><Lat>40.79</Lat></NorthEast>
            <SouthWest><Lon>-73.97</Lon><Lat>40.78</Lat></SouthWest>
            <SouthEast><Lon>-73.96</Lon><Lat>40.78</Lat></SouthEast>
            <Center><Lon>-73.965</Lon><Lat>40.785</Lat></Center>
            <Capture>1995-04-02T00:00:00</Capture>
            <FutureField><Nested>1</Nested></FutureField>
          </TileMeta>
          <Offset><Point><Lon>-73.968</Lon><Lat>40.788</Lat></Point><XOffset>57</XOffset><YOffset>143</YOffset></Offset>
        </NorthWest>
        <NorthEast><TileMeta><Id><X>735</X></Id></TileMeta></NorthEast>
        <SouthWest xsi:nil="true" />
        <SouthEast><Offset><XOffset>12</XOffset><YOffset>199</YOffset></Offset></SouthEast>
        <Center><TileMeta><TileExists>1</TileExists><Capture xsi:nil="true" /></TileMeta></Center>
        <NearestPlace>New York, New York, United States</NearestPlace>
        <OverlappingThemeInfos>
          <OverlappingThemeInfo>
            <LocalTheme>false</LocalTheme><Theme>Topo</Theme><Point><Lon>1</Lon><Lat>2</Lat></Point>
            <ThemeName>USGS Topo Map</ThemeName><Capture>1979-01-01T00:00:00</Capture>
            <ProjectionId>UtmNad83</ProjectionId><LoScale>Scale2m</LoScale><HiScale>Scale128m</HiScale>
            <Url>http://example/topo</Url>
          </OverlappingThemeInfo>
          <SomethingElse />
          <OverlappingThemeInfo><Theme>Relief</Theme></OverlappingThemeInfo>
        </OverlappingThemeInfos>
      </GetAreaFromPtResult>
    </GetAreaFromPtResponse>
  </s:Body>
</s:Envelope>)";

TEST(SoapEnvelopeAnswer, AreaIsReadFieldByFieldSkippingWhatItDoesNotKnow) {
  const SoapAnswer answer(kAreaAnswer, "GetAreaFromPt");
  const auto area = ReadAreaBoundingBox(answer.Result());
  ASSERT_NE(area, nullptr);

  const AreaCoordinate& nw = *area->NorthWest;
  const TileMeta& meta = *nw.TileMeta;
  EXPECT_EQ(meta.Id->Theme, Theme::Photo);
  EXPECT_EQ(meta.Id->Scale, Scale::Scale4m);
  EXPECT_EQ(meta.Id->Scene, 18);
  EXPECT_EQ(meta.Id->X, 733);
  EXPECT_EQ(meta.Id->Y, 5643);
  EXPECT_TRUE(meta.TileExists);
  EXPECT_EQ(meta.NorthWest->Lon, -73.97);
  EXPECT_EQ(meta.NorthEast->Lon, -73.96);
  EXPECT_EQ(meta.SouthWest->Lat, 40.78);
  EXPECT_EQ(meta.SouthEast->Lat, 40.78);
  EXPECT_EQ(meta.Center->Lon, -73.965);
  EXPECT_EQ(meta.Center->Lat, 40.785);
  EXPECT_EQ(meta.Capture->XSDateTime, "1995-04-02T00:00:00");
  EXPECT_EQ(nw.Offset->Point->Lat, 40.788);
  EXPECT_EQ(nw.Offset->XOffset, 57);
  EXPECT_EQ(nw.Offset->YOffset, 143);

  // Missing fields keep their defaults; missing or nil records stay null.
  const TileMeta& ne = *area->NorthEast->TileMeta;
  EXPECT_EQ(ne.Id->X, 735);
  EXPECT_EQ(ne.Id->Theme, Theme::Photo);
  EXPECT_EQ(ne.Id->Scale, Scale::Scale1m);
  EXPECT_FALSE(ne.TileExists);
  EXPECT_EQ(ne.NorthWest, nullptr);
  EXPECT_EQ(area->NorthEast->Offset, nullptr);
  EXPECT_EQ(area->SouthWest, nullptr);
  EXPECT_EQ(area->SouthEast->TileMeta, nullptr);
  EXPECT_EQ(area->SouthEast->Offset->YOffset, 199);
  EXPECT_EQ(area->SouthEast->Offset->Point, nullptr);
  EXPECT_TRUE(area->Center->TileMeta->TileExists);
  EXPECT_EQ(area->Center->TileMeta->Capture, nullptr);

  EXPECT_EQ(area->NearestPlace, "New York, New York, United States");
  ASSERT_EQ(area->OverlappingThemeInfos.size(), 2u);
  const OverlappingThemeInfo& topo = *area->OverlappingThemeInfos[0];
  EXPECT_FALSE(topo.LocalTheme);
  EXPECT_EQ(topo.Theme, Theme::Topo);
  EXPECT_EQ(topo.Point->Lat, 2);
  EXPECT_EQ(topo.ThemeName, "USGS Topo Map");
  EXPECT_EQ(topo.Capture->XSDateTime, "1979-01-01T00:00:00");
  EXPECT_EQ(topo.ProjectionId, ProjectionType::UtmNad83);
  EXPECT_EQ(topo.LoScale, Scale::Scale2m);
  EXPECT_EQ(topo.HiScale, Scale::Scale128m);
  EXPECT_EQ(topo.Url, "http://example/topo");
  EXPECT_EQ(area->OverlappingThemeInfos[1]->Theme, Theme::Relief);
}

TEST(SoapEnvelopeAnswer, ALeftOutOrNilResultIsNull) {
  for (const std::string& xml :
       {AsmxEnvelope("<GetAreaFromPtResponse xmlns=\"http://terraserver-usa.com/terraserver/\"/>"),
        AsmxEnvelope("<GetAreaFromPtResponse xmlns=\"http://terraserver-usa.com/terraserver/\">"
                     "<GetAreaFromPtResult xsi:nil=\"true\"/></GetAreaFromPtResponse>")}) {
    const SoapAnswer answer(xml, "GetAreaFromPt");
    EXPECT_EQ(ReadAreaBoundingBox(answer.Result()), nullptr);
    EXPECT_EQ(ReadText(answer.Result()), "");
    EXPECT_EQ(ReadInt(answer.Result()), 0);
  }
}

TEST(SoapEnvelopeAnswer, TextKeepsEscapesCdataAndNonAsciiText) {
  const SoapAnswer answer(AsmxAnswer("GetTile", "a&lt;b&amp;c<![CDATA[<raw>]]>\xc3\xa9"),
                          "GetTile");
  EXPECT_EQ(ReadText(answer.Result()), "a<b&c<raw>\xc3\xa9");
}

TEST(SoapEnvelopeAnswer, WhatCannotBeReadIsAReadableError) {
  const std::string ns = "xmlns=\"http://terraserver-usa.com/terraserver/\"";
  auto point = [](const std::string& lon) {
    return AsmxAnswer("GetTileMetaFromTileId", "<Center><Lon>" + lon + "</Lon></Center>");
  };
  auto field = [](const std::string& name, const std::string& value) {
    return AsmxAnswer("GetTileMetaFromTileId", "<" + name + ">" + value + "</" + name + ">");
  };
  struct Row {
    std::string xml, message;
  };
  const std::vector<Row> rows = {
      {"", "not well-formed XML"},
      {"<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>",
       "not well-formed XML"},
      {std::string("\0\x01\x02garbage", 10), "not well-formed XML"},
      {"<html><body>It works!</body></html>", "no SOAP envelope with a body"},
      {AsmxEnvelope(""), "the body is empty, GetTileMetaFromTileIdResponse expected"},
      {AsmxEnvelope("<GetTileResponse " + ns + "/>"), "where GetTileMetaFromTileIdResponse"},
      {AsmxEnvelope("<GetTileMetaFromTileIdResponse xmlns=\"http://example.com/\"/>"),
       "in namespace 'http://example.com/'"},
      {AsmxEnvelope("<GetTileMetaFromTileIdResponse/>"), "in namespace ''"},
      {point("abc"), "'abc' in <Lon> is not a number"},
      {point("1,5"), "is not a number"},
      {point("inf"), "is not a number"},
      {point("0x10"), "is not a number"},
      {point(""), "'' in <Lon> is not a number"},
      {point("1.5.5"), "is not a number"},
      {field("Id", "<X>2147483648</X>"), "'2147483648' in <X> is not an integer"},
      {field("Id", "<Scene>1.5</Scene>"), "is not an integer"},
      {field("Id", "<Y></Y>"), "is not an integer"},
      {field("Id", "<Theme>Satellite</Theme>"),
       "'Satellite' in <Theme> is not a valid Theme value"},
      {field("Id", "<Scale>scale1m</Scale>"), "is not a valid Scale value"},
      {field("Id", "<Scale>10</Scale>"), "is not a valid Scale value"},
      {field("TileExists", "yes"), "'yes' in <TileExists> is not a boolean"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.xml);
    try {
      const SoapAnswer answer(row.xml, "GetTileMetaFromTileId");
      ReadTileMeta(answer.Result());
      ADD_FAILURE() << "no error";
    } catch (const ESoapFault& fault) {
      ADD_FAILURE() << "taken for a fault: " << fault.what();
    } catch (const EQuorvilError& error) {
      const std::string message = error.what();
      EXPECT_EQ(message.rfind("Unreadable answer from the map service: ", 0), 0u) << message;
      EXPECT_NE(message.find(row.message), std::string::npos) << message;
    }
  }
}

TEST(SoapEnvelopeAnswer, FaultsCarryTheirText) {
  struct Row {
    std::string body, text, code;
  };
  const std::vector<Row> rows = {
      {"<soap:Fault><faultcode>soap:Client</faultcode><faultstring>Bad &amp; wrong"
       "</faultstring></soap:Fault>",
       "Bad & wrong", "soap:Client"},
      {"<soap:Fault><faultstring>  padded  </faultstring></soap:Fault>", "padded", ""},
      {"<soap:Fault><faultcode>soap:Server</faultcode></soap:Fault>",
       "The map service reported a fault (soap:Server)", "soap:Server"},
      {"<env:Fault xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"><env:Code><env:Value>"
       "env:Receiver</env:Value></env:Code><env:Reason><env:Text>Busy</env:Text></env:Reason>"
       "</env:Fault>",
       "Busy", "env:Receiver"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.body);
    const std::string xml = AsmxEnvelope(row.body);
    try {
      SoapAnswer answer(xml, "GetTile");
      ADD_FAILURE() << "no error";
    } catch (const ESoapFault& fault) {
      EXPECT_EQ(fault.what(), row.text);
      EXPECT_EQ(fault.FaultCode(), row.code);
    }
    const auto found = FindSoapFault(xml);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->String, row.text);
  }
  EXPECT_FALSE(FindSoapFault(AsmxAnswer("GetTile", "x")).has_value());
  EXPECT_FALSE(FindSoapFault("<not xml").has_value());
}

// Whatever part of an answer arrives, reading it ends in a result or an EQuorvilError.
TEST(SoapEnvelopeAnswer, EveryTruncationOfAnAnswerIsHandled) {
  // A cut-off answer is an error, never an area made of what arrived.
  for (std::size_t length = 0; length < kAreaAnswer.size(); ++length) {
    const std::string part = kAreaAnswer.substr(0, length);
    EXPECT_THROW(
        {
          const SoapAnswer answer(part, "GetAreaFromPt");
          ReadAreaBoundingBox(answer.Result());
        },
        EQuorvilError)
        << "cut after " << length << " bytes";
  }
  const SoapAnswer whole(kAreaAnswer, "GetAreaFromPt");
  EXPECT_NE(ReadAreaBoundingBox(whole.Result()), nullptr);
}

TEST(SoapEnvelopeDoubles, WrittenTextReadsBackBitExact) {
  const std::vector<double> values = {0.1,
                                      -73.965,
                                      40.784,
                                      1.0 / 3.0,
                                      -0.0,
                                      123456789.12345679,
                                      1e21,
                                      1e-7,
                                      std::nextafter(1.0, 2.0),
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::min(),
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity()};
  for (const double value : values) {
    SCOPED_TRACE(FormatXsdDouble(value));
    // Through a whole request, as the server will read it.
    SoapRequest request("ConvertLonLatPtToNearestPlace");
    request.Add("point", LonLatPt{value, -value});
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(request.Xml().c_str()));
    const pugi::xml_node point = doc.document_element().first_child().first_child().first_child();
    const auto lon = ParseXsdDouble(point.child("Lon").text().get());
    const auto lat = ParseXsdDouble(point.child("Lat").text().get());
    ASSERT_TRUE(lon && lat);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*lon), std::bit_cast<std::uint64_t>(value));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(*lat), std::bit_cast<std::uint64_t>(-value));
  }
  EXPECT_EQ(FormatXsdDouble(std::numeric_limits<double>::quiet_NaN()), "NaN");
  EXPECT_TRUE(std::isnan(*ParseXsdDouble("NaN")));
}

TEST(SoapEnvelopeDoubles, XsdLexicalForms) {
  struct Row {
    const char* text;
    std::optional<double> value;
  };
  const std::vector<Row> rows = {
      {"+1.5", 1.5},      {" 2.5\n", 2.5},       {"1E3", 1000},         {"-INF", -HUGE_VAL},
      {".5", 0.5},        {"-0", -0.0},          {"inf", std::nullopt}, {"1.0.0", std::nullopt},
      {"", std::nullopt}, {"1 2", std::nullopt}, {"--1", std::nullopt}, {"nan", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(ParseXsdDouble(row.text), row.value);
  }
}

}  // namespace
}  // namespace quorvil
