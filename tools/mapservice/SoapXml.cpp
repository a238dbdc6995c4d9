#include "mapservice/SoapXml.h"

#include <locale.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/ProgramError.h"

namespace quorvil::mapservice {

namespace {

// The characters an XML 1.0 document may hold.
bool IsXmlChar(std::int32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::string Trimmed(std::string_view v) {
  while (!v.empty() && std::strchr(" \t\r\n", v.front()) != nullptr) v.remove_prefix(1);
  while (!v.empty() && std::strchr(" \t\r\n", v.back()) != nullptr) v.remove_suffix(1);
  return std::string(v);
}

[[noreturn]] void Bad(std::string_view path, std::string_view what) {
  throw EQuorvilError("Parameter " + std::string(path) + ": " + std::string(what));
}

[[noreturn]] void Malformed(std::string_view what, std::size_t offset) {
  throw EQuorvilError("Malformed XML: " + std::string(what) + " at offset " +
                      std::to_string(offset));
}

std::string CodePointName(std::int32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
  return buffer;
}

// What pugixml lets through and XML does not: characters outside XML's set (raw or as
// references), bytes that are not UTF-8, references to entities no document here can
// define, and document type declarations (SOAP messages must not carry one).
void CheckXmlText(std::string_view xml) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(xml.data());
  const auto length = static_cast<std::int32_t>(
      std::min<std::size_t>(xml.size(), std::numeric_limits<std::int32_t>::max()));
  if (xml.size() > static_cast<std::size_t>(length)) Malformed("the text is too long", 0);
  // Where markup hides text that is not parsed: comments, CDATA sections, instructions.
  static constexpr std::pair<std::string_view, std::string_view> kOpaque[] = {
      {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}};
  for (std::int32_t i = 0; i < length;) {
    const std::int32_t at = i;
    if (bytes[at] == '<') {
      const std::string_view rest = xml.substr(static_cast<std::size_t>(at));
      if (rest.starts_with("<!DOCTYPE")) Malformed("a document type declaration", at);
      bool skipped = false;
      for (const auto& [open, close] : kOpaque) {
        if (!rest.starts_with(open)) continue;
        const std::size_t end = rest.find(close, open.size());
        // An unclosed one is left to the parser to report; its characters are still checked.
        if (end != std::string_view::npos) {
          for (std::int32_t j = at; j < at + static_cast<std::int32_t>(end);) {
            const std::int32_t from = j;
            std::int32_t c;
            U8_NEXT(bytes, j, length, c);
            if (c < 0) Malformed("bytes that are not UTF-8", from);
            if (!IsXmlChar(c)) Malformed("the character " + CodePointName(c), from);
          }
          i = at + static_cast<std::int32_t>(end + close.size());
          skipped = true;
        }
        break;
      }
      if (skipped) continue;
    }
    if (bytes[at] == '&') {
      const std::string_view rest = xml.substr(static_cast<std::size_t>(at) + 1);
      const std::size_t semicolon = rest.find(';');
      const std::string_view name = rest.substr(0, std::min(semicolon, rest.size()));
      if (semicolon == std::string_view::npos || semicolon > 64) Malformed("a stray '&'", at);
      if (name.starts_with('#')) {
        const bool hex = name.size() > 1 && name[1] == 'x';
        const std::string_view digits = name.substr(hex ? 2 : 1);
        std::uint32_t value = 0;
        const auto [end, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
            !IsXmlChar(static_cast<std::int32_t>(std::min<std::uint32_t>(value, 0x110000)))) {
          Malformed("the character reference &" + std::string(name) + ";", at);
        }
      } else if (name != "lt" && name != "gt" && name != "amp" && name != "apos" &&
                 name != "quot") {
        Malformed("the undefined entity &" + std::string(name) + ";", at);
      }
    }
    std::int32_t c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) Malformed("bytes that are not UTF-8", at);
    if (!IsXmlChar(c)) Malformed("the character " + CodePointName(c), at);
  }
}

void WriteCoordinate(XmlWriter& w, std::string_view name, const AreaCoordinate& c) {
  w.Open(name);
  if (c.TileMeta) {
    w.Open("TileMeta");
    WriteTileMetaFields(w, *c.TileMeta);
    w.Close("TileMeta");
  }
  if (c.Offset) {
    w.Open("Offset");
    if (c.Offset->Point) WritePoint(w, "Point", *c.Offset->Point);
    w.Int("XOffset", c.Offset->XOffset);
    w.Int("YOffset", c.Offset->YOffset);
    w.Close("Offset");
  }
  w.Close(name);
}

}  // namespace

std::string_view LocalName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const auto colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string NamespaceOf(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const auto colon = name.find(':');
  const std::string attribute =
      colon == std::string_view::npos ? "xmlns" : "xmlns:" + std::string(name.substr(0, colon));
  for (pugi::xml_node n = node; n; n = n.parent()) {
    if (n.type() != pugi::node_element) break;
    if (pugi::xml_attribute a = n.attribute(attribute.c_str())) return a.value();
  }
  return {};
}

pugi::xml_node ChildByLocalName(const pugi::xml_node& parent, std::string_view name) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_element && LocalName(child) == name) return child;
  }
  return {};
}

void LoadRequestXml(pugi::xml_document& doc, std::string_view body) {
  CheckXmlText(body);
  // As a fragment, so that pugixml keeps the text outside the root, which it would drop.
  const pugi::xml_parse_result parsed = doc.load_buffer(
      body.data(), body.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
  if (!parsed) Malformed(parsed.description(), static_cast<std::size_t>(parsed.offset));
  int roots = 0;
  for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element && ++roots > 1) {
      Malformed("a second root element", static_cast<std::size_t>(n.offset_debug()));
    }
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
      Malformed("text outside the root element", static_cast<std::size_t>(n.offset_debug()));
    }
  }
  if (roots == 0) Malformed("no root element", body.size());
}

std::string TextOf(const pugi::xml_node& node) {
  std::string text;
  for (pugi::xml_node n = node.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
  }
  return text;
}

pugi::xml_node RequestReader::Required(const pugi::xml_node& parent, std::string_view name,
                                       std::string_view path) const {
  pugi::xml_node child = ChildByLocalName(parent, name);
  if (!child) Bad(path, "missing");
  return child;
}

double RequestReader::Double(const pugi::xml_node& parent, std::string_view name,
                             std::string_view path) const {
  const std::string text = Trimmed(TextOf(Required(parent, name, path)));
  // xsd:double allows a leading "+", which from_chars does not.
  const char* begin = text.data();
  const char* const last = text.data() + text.size();
  if (begin != last && *begin == '+' && begin + 1 != last && begin[1] != '-' && begin[1] != '+') {
    ++begin;
  }
  double value = 0;
  const auto [end, ec] = std::from_chars(begin, last, value);
  if (text.empty() || (ec != std::errc() && ec != std::errc::result_out_of_range) || end != last) {
    Bad(path, "'" + text + "' is not a number");
  }
  if (ec == std::errc::result_out_of_range) {
    // Too small rounds to zero (or a subnormal), as xsd:double reads it; too large is infinite.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    value = strtod_l(std::string(begin, last).c_str(), nullptr, c);
  }
  if (!std::isfinite(value)) Bad(path, "'" + text + "' is not a finite number");
  return value;
}

int RequestReader::Int(const pugi::xml_node& parent, std::string_view name,
                       std::string_view path) const {
  const std::string text = Trimmed(TextOf(Required(parent, name, path)));
  int value = 0;
  const char* begin = text.data();
  if (!text.empty() && text.front() == '+') ++begin;
  const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    Bad(path, "'" + text + "' is not a 32-bit integer");
  }
  return value;
}

LonLatPt RequestReader::Point(std::string_view name) const {
  const pugi::xml_node node = Required(operation_, name, name);
  const std::string path(name);
  return {Double(node, "Lon", path + ".Lon"), Double(node, "Lat", path + ".Lat")};
}

UtmPt RequestReader::Utm(std::string_view name) const {
  const pugi::xml_node node = Required(operation_, name, name);
  const std::string path(name);
  return {Int(node, "Zone", path + ".Zone"), Double(node, "X", path + ".X"),
          Double(node, "Y", path + ".Y")};
}

quorvil::Place RequestReader::PlaceParam(std::string_view name) const {
  const pugi::xml_node node = Required(operation_, name, name);
  return {Trimmed(TextOf(ChildByLocalName(node, "City"))),
          Trimmed(TextOf(ChildByLocalName(node, "State"))),
          Trimmed(TextOf(ChildByLocalName(node, "Country")))};
}

TileId RequestReader::Tile(std::string_view name) const {
  const pugi::xml_node node = Required(operation_, name, name);
  const std::string path(name);
  TileId id;
  const std::string theme = Trimmed(TextOf(Required(node, "Theme", path + ".Theme")));
  const std::string scale = Trimmed(TextOf(Required(node, "Scale", path + ".Scale")));
  const auto t = TryParseTheme(theme);
  if (!t) Bad(path + ".Theme", "'" + theme + "' is not a Theme");
  const auto s = TryParseScale(scale);
  if (!s) Bad(path + ".Scale", "'" + scale + "' is not a Scale");
  id.Theme = *t;
  id.Scale = *s;
  id.Scene = Int(node, "Scene", path + ".Scene");
  id.X = Int(node, "X", path + ".X");
  id.Y = Int(node, "Y", path + ".Y");
  return id;
}

quorvil::Theme RequestReader::ThemeParam(std::string_view name) const {
  const std::string text = Trimmed(TextOf(Required(operation_, name, name)));
  const auto value = TryParseTheme(text);
  if (!value) Bad(name, "'" + text + "' is not a Theme");
  return *value;
}

quorvil::Scale RequestReader::ScaleParam(std::string_view name) const {
  const std::string text = Trimmed(TextOf(Required(operation_, name, name)));
  const auto value = TryParseScale(text);
  if (!value) Bad(name, "'" + text + "' is not a Scale");
  return *value;
}

PlaceType RequestReader::PlaceTypeParam(std::string_view name) const {
  const std::string text = Trimmed(TextOf(Required(operation_, name, name)));
  const auto value = TryParsePlaceType(text);
  if (!value) Bad(name, "'" + text + "' is not a PlaceType");
  return *value;
}

int RequestReader::IntParam(std::string_view name) const { return Int(operation_, name, name); }

bool RequestReader::BoolParam(std::string_view name) const {
  const std::string text = Trimmed(TextOf(Required(operation_, name, name)));
  if (text == "true" || text == "1") return true;
  if (text == "false" || text == "0") return false;
  Bad(name, "'" + text + "' is not a boolean");
}

std::string RequestReader::StringParam(std::string_view name) const {
  return TextOf(Required(operation_, name, name));
}

void XmlWriter::Open(std::string_view name) {
  out_ += '<';
  out_ += name;
  out_ += '>';
}

void XmlWriter::OpenWithNamespace(std::string_view name, std::string_view ns) {
  out_ += '<';
  out_ += name;
  out_ += " xmlns=\"";
  Escaped(ns);
  out_ += "\">";
}

void XmlWriter::Close(std::string_view name) {
  out_ += "</";
  out_ += name;
  out_ += '>';
}

void XmlWriter::Empty(std::string_view name) {
  out_ += '<';
  out_ += name;
  out_ += " />";
}

void XmlWriter::Escaped(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    const char c = text[static_cast<std::size_t>(i)];
    if (bytes[i] >= 0x80 || (bytes[i] < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
      // What XML cannot carry (controls, U+FFFE, bytes that are not UTF-8) shows as U+FFFD.
      const std::int32_t from = i;
      std::int32_t cp;
      U8_NEXT(bytes, i, length, cp);
      if (IsXmlChar(cp)) {
        out_.append(
            text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(i - from)));
      } else {
        out_ += "\xEF\xBF\xBD";
      }
      continue;
    }
    ++i;
    switch (c) {
      case '<':
        out_ += "&lt;";
        break;
      case '>':
        out_ += "&gt;";
        break;
      case '&':
        out_ += "&amp;";
        break;
      case '"':
        out_ += "&quot;";
        break;
      default:
        out_ += c;
    }
  }
}

void XmlWriter::Text(std::string_view name, std::string_view value) {
  Open(name);
  Escaped(value);
  Close(name);
}

std::string FormatDouble(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

void XmlWriter::Double(std::string_view name, double value) { Text(name, FormatDouble(value)); }
void XmlWriter::Int(std::string_view name, long long value) { Text(name, std::to_string(value)); }
void XmlWriter::Bool(std::string_view name, bool value) { Text(name, value ? "true" : "false"); }

void WritePoint(XmlWriter& w, std::string_view name, const LonLatPt& p) {
  w.Open(name);
  w.Double("Lon", p.Lon);
  w.Double("Lat", p.Lat);
  w.Close(name);
}

void WriteTileId(XmlWriter& w, std::string_view name, const TileId& id) {
  w.Open(name);
  w.Text("Theme", EnumName(id.Theme));
  w.Text("Scale", EnumName(id.Scale));
  w.Int("Scene", id.Scene);
  w.Int("X", id.X);
  w.Int("Y", id.Y);
  w.Close(name);
}

void WriteTileMetaFields(XmlWriter& w, const TileMeta& meta) {
  if (meta.Id) WriteTileId(w, "Id", *meta.Id);
  w.Bool("TileExists", meta.TileExists);
  if (meta.NorthWest) WritePoint(w, "NorthWest", *meta.NorthWest);
  if (meta.NorthEast) WritePoint(w, "NorthEast", *meta.NorthEast);
  if (meta.SouthWest) WritePoint(w, "SouthWest", *meta.SouthWest);
  if (meta.SouthEast) WritePoint(w, "SouthEast", *meta.SouthEast);
  if (meta.Center) WritePoint(w, "Center", *meta.Center);
  if (meta.Capture) w.Text("Capture", meta.Capture->XSDateTime);
}

void WriteAreaFields(XmlWriter& w, const AreaBoundingBox& area) {
  if (area.NorthWest) WriteCoordinate(w, "NorthWest", *area.NorthWest);
  if (area.NorthEast) WriteCoordinate(w, "NorthEast", *area.NorthEast);
  if (area.SouthWest) WriteCoordinate(w, "SouthWest", *area.SouthWest);
  if (area.SouthEast) WriteCoordinate(w, "SouthEast", *area.SouthEast);
  if (area.Center) WriteCoordinate(w, "Center", *area.Center);
  w.Text("NearestPlace", area.NearestPlace);
  w.Open("OverlappingThemeInfos");
  for (const auto& info : area.OverlappingThemeInfos) {
    w.Open("OverlappingThemeInfo");
    w.Bool("LocalTheme", info->LocalTheme);
    w.Text("Theme", EnumName(info->Theme));
    if (info->Point) WritePoint(w, "Point", *info->Point);
    w.Text("ThemeName", info->ThemeName);
    if (info->Capture) w.Text("Capture", info->Capture->XSDateTime);
    w.Text("ProjectionId", EnumName(info->ProjectionId));
    w.Text("LoScale", EnumName(info->LoScale));
    w.Text("HiScale", EnumName(info->HiScale));
    w.Text("Url", info->Url);
    w.Close("OverlappingThemeInfo");
  }
  w.Close("OverlappingThemeInfos");
}

void WritePlaceFactsFields(XmlWriter& w, const PlaceFacts& facts) {
  if (facts.Place) {
    w.Open("Place");
    w.Text("City", facts.Place->City);
    w.Text("State", facts.Place->State);
    w.Text("Country", facts.Place->Country);
    w.Close("Place");
  }
  if (facts.Center) WritePoint(w, "Center", *facts.Center);
  w.Text("AvailableThemeMask", facts.AvailableThemeMask);
  w.Text("PlaceTypeId", EnumName(facts.PlaceTypeId));
  w.Int("Population", facts.Population);
}

void WriteUtmFields(XmlWriter& w, const UtmPt& utm) {
  w.Int("Zone", utm.Zone);
  w.Double("X", utm.X);
  w.Double("Y", utm.Y);
}

void WriteThemeInfoFields(XmlWriter& w, const ThemeInfo& info) {
  w.Text("Theme", EnumName(info.Theme));
  w.Text("Name", info.Name);
  w.Text("Description", info.Description);
  w.Text("Supplier", info.Supplier);
  w.Text("LoScale", EnumName(info.LoScale));
  w.Text("HiScale", EnumName(info.HiScale));
  w.Text("ProjectionId", EnumName(info.ProjectionId));
  w.Text("ProjectionName", info.ProjectionName);
  w.Text("CopyrightNotice", info.CopyrightNotice);
}

void WriteThemeBoundingBoxFields(XmlWriter& w, const ThemeBoundingBox& box) {
  w.Text("Theme", EnumName(box.Theme));
  w.Text("ThemeName", box.ThemeName);
  w.Int("Sparseness", box.Sparseness);
  w.Text("LoScale", EnumName(box.LoScale));
  w.Text("HiScale", EnumName(box.HiScale));
  w.Text("ProjectionId", EnumName(box.ProjectionId));
  w.Text("ProjectionName", box.ProjectionName);
  w.Double("WestLongitude", box.WestLongitude);
  w.Double("NorthLatitude", box.NorthLatitude);
  w.Double("EastLongitude", box.EastLongitude);
  w.Double("SouthLatitude", box.SouthLatitude);
}

}  // namespace quorvil::mapservice
