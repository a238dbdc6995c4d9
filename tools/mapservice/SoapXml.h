#pragma once

// The XML of the service's SOAP messages: reading the parameters of a request body and
// writing answers shaped as an ASP.NET web service writes them.

#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

inline constexpr std::string_view kSoapEnvelopeNamespace =
    "http://schemas.xmlsoap.org/soap/envelope/";

// The element name without its prefix.
std::string_view LocalName(const pugi::xml_node& node);
// The namespace URI of an element, resolved through the xmlns declarations in scope.
std::string NamespaceOf(const pugi::xml_node& node);
// The first child element of that local name, whatever its prefix.
pugi::xml_node ChildByLocalName(const pugi::xml_node& parent, std::string_view name);

// Parses a request body as XML 1.0, more strictly than pugixml alone: one root element,
// only XML's characters, only the predefined entities, no document type declaration.
// Throws EQuorvilError "Malformed XML: <what> at offset <n>".
void LoadRequestXml(pugi::xml_document& doc, std::string_view body);

// The text of an element: all of its text and CDATA children, comments left out.
std::string TextOf(const pugi::xml_node& node);

// Readers of parameters: each throws EQuorvilError naming the parameter when it is
// missing or does not hold a value of its type.
class RequestReader {
 public:
  explicit RequestReader(pugi::xml_node operation) : operation_(operation) {}

  pugi::xml_node Required(const pugi::xml_node& parent, std::string_view name,
                          std::string_view path) const;
  double Double(const pugi::xml_node& parent, std::string_view name, std::string_view path) const;
  int Int(const pugi::xml_node& parent, std::string_view name, std::string_view path) const;

  LonLatPt Point(std::string_view name) const;
  UtmPt Utm(std::string_view name) const;
  quorvil::Place PlaceParam(std::string_view name) const;
  TileId Tile(std::string_view name) const;
  quorvil::Theme ThemeParam(std::string_view name) const;
  quorvil::Scale ScaleParam(std::string_view name) const;
  PlaceType PlaceTypeParam(std::string_view name) const;
  int IntParam(std::string_view name) const;
  bool BoolParam(std::string_view name) const;
  std::string StringParam(std::string_view name) const;

 private:
  pugi::xml_node operation_;
};

// Appends escaped XML to a string; no DOM, since tiles make long answers. Escaped text
// is UTF-8 of XML's characters only: anything else becomes U+FFFD.
class XmlWriter {
 public:
  void Open(std::string_view name);
  void OpenWithNamespace(std::string_view name, std::string_view ns);
  void Close(std::string_view name);
  void Text(std::string_view name, std::string_view value);
  void Empty(std::string_view name);
  void Raw(std::string_view text) { out_.append(text); }
  void Escaped(std::string_view text);

  void Double(std::string_view name, double value);
  void Int(std::string_view name, long long value);
  void Bool(std::string_view name, bool value);

  std::string& Str() { return out_; }

 private:
  std::string out_;
};

std::string FormatDouble(double value);

// Record writers: the element `name` holding the record's fields in field order.
void WritePoint(XmlWriter& w, std::string_view name, const LonLatPt& p);
void WriteTileId(XmlWriter& w, std::string_view name, const TileId& id);
void WriteTileMetaFields(XmlWriter& w, const TileMeta& meta);
void WriteAreaFields(XmlWriter& w, const AreaBoundingBox& area);
void WritePlaceFactsFields(XmlWriter& w, const PlaceFacts& facts);
void WriteUtmFields(XmlWriter& w, const UtmPt& utm);
void WriteThemeInfoFields(XmlWriter& w, const ThemeInfo& info);
void WriteThemeBoundingBoxFields(XmlWriter& w, const ThemeBoundingBox& box);

}  // namespace quorvil::mapservice
