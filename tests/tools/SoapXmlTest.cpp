// How the map service reads hostile or unusual request XML, and what its faults carry.

#include <expat.h>
#include <gtest/gtest.h>

#include <string>

#include "mapservice/MapService.h"
#include "mapservice/SoapXml.h"
#include "support/MapServiceTestSupport.h"

namespace quorvil::mapservice {
namespace {

using namespace quorvil::mapservice::testing;

const MapService& Service() {
  static const MapService service({CoverageKind::World, 4 << 20});
  return service;
}

// A strict XML 1.0 parser's verdict, independent of the service's own reader.
bool IsWellFormed(std::string_view xml) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}

std::string UtmOf(std::string_view lon, std::string_view lat = "40") {
  return SoapRequest("ConvertLonLatPtToUtmPt", "<point><Lon>" + std::string(lon) + "</Lon><Lat>" +
                                                   std::string(lat) + "</Lat></point>");
}

TEST(SoapXmlTest, FaultsAreWellFormedWhateverTheRequestHolds) {
  const struct {
    const char* what;
    std::string text;
  } hostile[] = {
      {"control character", "a\x01z"},
      {"escape character", "\x1b[31m"},
      {"NUL", std::string("a\0z", 3)},
      {"U+FFFE", "\xEF\xBF\xBE"},
      {"U+FFFF", "\xEF\xBF\xBF"},
      {"surrogate", "\xED\xA0\x80"},
      {"lone continuation byte", "\x80"},
      {"invalid lead byte", "\xFF\xFE"},
      {"cut-off sequence", "\xE2\x82"},
      {"overlong", "\xC0\xAF"},
      {"reference to a control", "&#1;"},
      {"reference to U+FFFE", "&#xFFFE;"},
      {"reference to a surrogate", "&#xD800;"},
      {"reference past Unicode", "&#x110000;"},
  };
  for (const auto& h : hostile) {
    SCOPED_TRACE(h.what);
    // In a parameter, in an element name, and in the SOAPAction header.
    const struct {
      std::string action, body;
    } requests[] = {
        {"", UtmOf(h.text)},
        {"", SoapRequest("Get" + h.text, "")},
        {"\"" + std::string(kTerraServiceNamespace) + h.text + "\"", UtmOf("1")},
        {"\"http://elsewhere/" + h.text + "\"", UtmOf("1")},
    };
    for (const auto& r : requests) {
      const SoapReply reply = Service().Handle(r.action, r.body);
      EXPECT_EQ(reply.status, 500);
      EXPECT_TRUE(IsWellFormed(reply.body)) << reply.body;
      EXPECT_FALSE(FaultString(reply.body).empty()) << reply.body;
    }
  }
}

TEST(SoapXmlTest, RequestsAreReadAsStrictlyAsXmlSays) {
  const std::string ns(kTerraServiceNamespace);
  const std::string good = UtmOf("-73");
  const struct {
    const char* what;
    std::string body, fault;
  } rows[] = {
      {"two root elements", good + "<soap:Envelope/>", "second root element"},
      {"text after the root", good + "junk", "Malformed XML"},
      {"undefined entity", UtmOf("&nbsp;1"), "undefined entity &nbsp;"},
      {"stray ampersand", UtmOf("1 & 2"), "stray '&'"},
      {"document type", "<!DOCTYPE x [<!ENTITY e \"1\">]>" + UtmOf("&e;"),
       "document type declaration"},
      {"raw control character", UtmOf("\x02"), "U+0002"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const SoapReply reply = Service().Handle("", row.body);
    EXPECT_EQ(reply.status, 500);
    const std::string fault = FaultString(reply.body);
    EXPECT_NE(fault.find("Malformed XML"), std::string::npos) << fault;
    EXPECT_NE(fault.find(row.fault), std::string::npos) << fault;
  }
  // What XML allows still reads: the predefined entities, references, CDATA, comments and
  // instructions inside values.
  EXPECT_EQ(Service().Handle("", UtmOf("-73")).body,
            Service().Handle("", UtmOf("<?pi x?>-&#55;<![CDATA[3]]><!-- c -->")).body);
}

TEST(SoapXmlTest, NumbersReadAsXsdTypesSay) {
  const struct {
    std::string text, sameAs;
  } same[] = {
      {"1<!-- c -->2", "12"}, {"+5", "5"},   {"1e-400", "0"},   {" 7 ", "7"},       {"5.", "5"},
      {".5", "0.5"},          {"1E1", "10"}, {"+1.5e+1", "15"}, {"\n\t8\r\n", "8"},
  };
  for (const auto& row : same) {
    SCOPED_TRACE(row.text);
    const SoapReply reply = Service().Handle("", UtmOf(row.text));
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.body, Service().Handle("", UtmOf(row.sameAs)).body);
  }
  const struct {
    const char *text, *fault;
  } refused[] = {
      {"1e400", "not a finite number"},
      {"INF", "not a finite number"},
      {"+-5", "not a number"},
      {"0x10", "not a number"},
      {"5e", "not a number"},
      {"1 2", "not a number"},
      {"+", "not a number"},
      {"", "not a number"},
  };
  for (const auto& row : refused) {
    SCOPED_TRACE(row.text);
    const SoapReply reply = Service().Handle("", UtmOf(row.text));
    EXPECT_EQ(reply.status, 500);
    EXPECT_NE(FaultString(reply.body).find(row.fault), std::string::npos) << reply.body;
  }
  // Integers: a comment between digits is ignored there too.
  const SoapReply zone = Service().Handle(
      "", SoapRequest("ConvertUtmPtToLonLatPt",
                      "<utm><Zone>1<!-- x -->8</Zone><X>500000</X><Y>4500000</Y></utm>"));
  EXPECT_EQ(zone.body, Service()
                           .Handle("", SoapRequest("ConvertUtmPtToLonLatPt",
                                                   "<utm><Zone>18</Zone><X>500000</X><Y>4500000</"
                                                   "Y></utm>"))
                           .body);
}

TEST(SoapXmlTest, EscapedTextHoldsOnlyWhatXmlCarries) {
  const struct {
    std::string in, out;
  } rows[] = {
      {"plain <&>\"", "plain &lt;&amp;&gt;&quot;"},
      {"tab\tline\nreturn\r", "tab\tline\nreturn\r"},
      {"Ș ✓ 😀", "Ș ✓ 😀"},
      {"a\x01z", "a\xEF\xBF\xBDz"},
      {"\xEF\xBF\xBE", "\xEF\xBF\xBD"},
      {"\xED\xA0\x80!", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD!"},
      {"\xFF", "\xEF\xBF\xBD"},
  };
  for (const auto& row : rows) {
    XmlWriter w;
    w.Escaped(row.in);
    EXPECT_EQ(w.Str(), row.out) << row.in;
  }
}

}  // namespace
}  // namespace quorvil::mapservice
