#include "service/SoapEnvelope.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>

namespace quorvil {

namespace {

constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

[[noreturn]] void Unreadable(const std::string& detail) {
  throw EQuorvilError("Unreadable answer from the map service: " + detail);
}

std::string_view LocalName(std::string_view qualified) {
  const auto colon = qualified.rfind(':');
  return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

std::string_view LocalName(pugi::xml_node node) { return LocalName(node.name()); }

// The namespace URI a node's prefix is bound to, looked up through its ancestors.
std::string_view NamespaceOf(pugi::xml_node node) {
  const std::string_view qualified = node.name();
  const auto colon = qualified.find(':');
  const std::string declaration = colon == std::string_view::npos
                                      ? "xmlns"
                                      : "xmlns:" + std::string(qualified.substr(0, colon));
  for (pugi::xml_node at = node; at; at = at.parent()) {
    if (pugi::xml_attribute attribute = at.attribute(declaration.c_str())) return attribute.value();
  }
  return {};
}

bool IsNil(pugi::xml_node node) {
  for (pugi::xml_attribute attribute : node.attributes()) {
    if (LocalName(attribute.name()) == "nil") {
      const std::string_view value = attribute.value();
      return value == "true" || value == "1";
    }
  }
  return false;
}

pugi::xml_node FirstElement(pugi::xml_node parent) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element) return child;
  }
  return {};
}

pugi::xml_node ChildElement(pugi::xml_node parent, std::string_view localName) {
  for (pugi::xml_node child : parent.children()) {
    if (child.type() == pugi::node_element && LocalName(child) == localName) return child;
  }
  return {};
}

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
}

std::string Quoted(std::string_view text, pugi::xml_node node) {
  constexpr std::size_t kShown = 40;
  std::string shown(text.substr(0, kShown));
  if (text.size() > kShown) shown += "...";
  return "'" + shown + "' in <" + std::string(LocalName(node)) + ">";
}

// Member names travel bare, but xsd enumerations allow surrounding blanks.
template <typename E>
E ReadEnum(pugi::xml_node node, std::optional<E> (*parse)(std::string_view),
           std::string_view typeName) {
  const std::string text = ReadText(node);
  if (const auto value = parse(Trimmed(text))) return *value;
  Unreadable(Quoted(text, node) + " is not a valid " + std::string(typeName) + " value");
}

// Drops what XML 1.0 cannot carry at all, so that odd input (a control character typed
// into the search box) cannot make the whole request malformed.
std::string XmlSafe(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 || c == '\t' || c == '\n' || c == '\r') safe += c;
  }
  return safe;
}

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, std::size_t size) override {
    text.append(static_cast<const char*>(data), size);
  }
};

void ParseOrThrow(pugi::xml_document& doc, std::string_view xml) {
  const pugi::xml_parse_result parsed =
      doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed) {
    Unreadable("not well-formed XML (" + std::string(parsed.description()) + " at byte " +
               std::to_string(parsed.offset) + ")");
  }
}

pugi::xml_node BodyOf(const pugi::xml_document& doc) {
  const pugi::xml_node envelope = doc.document_element();
  if (LocalName(envelope) != "Envelope") return {};
  return ChildElement(envelope, "Body");
}

std::optional<SoapFault> FaultIn(pugi::xml_node body) {
  const pugi::xml_node fault = ChildElement(body, "Fault");
  if (!fault) return std::nullopt;
  // SOAP 1.1 wording, or SOAP 1.2's should a server use that.
  SoapFault result;
  result.String = std::string(Trimmed(ReadText(ChildElement(fault, "faultstring"))));
  if (result.String.empty()) {
    result.String =
        std::string(Trimmed(ReadText(ChildElement(ChildElement(fault, "Reason"), "Text"))));
  }
  result.Code = std::string(Trimmed(ReadText(ChildElement(fault, "faultcode"))));
  if (result.Code.empty()) {
    result.Code =
        std::string(Trimmed(ReadText(ChildElement(ChildElement(fault, "Code"), "Value"))));
  }
  if (result.String.empty()) {
    result.String = "The map service reported a fault" +
                    (result.Code.empty() ? std::string() : " (" + result.Code + ")");
  }
  return result;
}

}  // namespace

std::string SoapActionOf(std::string_view operation) {
  return std::string(kTerraServiceNamespace) + std::string(operation);
}

std::string FormatXsdDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buffer[32];
  // The shortest text that reads back to the same double.
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::optional<double> ParseXsdDouble(std::string_view text) {
  text = Trimmed(text);
  if (text == "INF" || text == "+INF") return std::numeric_limits<double>::infinity();
  if (text == "-INF") return -std::numeric_limits<double>::infinity();
  if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  // Only digits, sign, point and exponent: from_chars alone would also take "inf".
  if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) {
    return std::nullopt;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// ---- Requests --------------------------------------------------------------------------

SoapRequest::SoapRequest(std::string_view operation) : operation_(operation) {
  pugi::xml_node declaration = doc_.append_child(pugi::node_declaration);
  declaration.append_attribute("version") = "1.0";
  declaration.append_attribute("encoding") = "utf-8";
  pugi::xml_node envelope = doc_.append_child("soap:Envelope");
  envelope.append_attribute("xmlns:xsi") = kXsiNamespace;
  envelope.append_attribute("xmlns:xsd") = kXsdNamespace;
  envelope.append_attribute("xmlns:soap") = std::string(kSoapEnvelopeNamespace).c_str();
  body_ = envelope.append_child("soap:Body").append_child(operation_.c_str());
  body_.append_attribute("xmlns") = std::string(kTerraServiceNamespace).c_str();
}

namespace {

pugi::xml_node AddText(pugi::xml_node parent, std::string_view name, std::string_view text) {
  pugi::xml_node element = parent.append_child(std::string(name).c_str());
  const std::string safe = XmlSafe(text);
  if (!safe.empty()) element.append_child(pugi::node_pcdata).set_value(safe.c_str());
  return element;
}

void AddPoint(pugi::xml_node parent, std::string_view name, const LonLatPt& value) {
  pugi::xml_node element = parent.append_child(std::string(name).c_str());
  AddText(element, "Lon", FormatXsdDouble(value.Lon));
  AddText(element, "Lat", FormatXsdDouble(value.Lat));
}

}  // namespace

SoapRequest& SoapRequest::Add(std::string_view name, std::string_view text) {
  AddText(body_, name, text);
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, int value) {
  AddText(body_, name, std::to_string(value));
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, bool value) {
  AddText(body_, name, value ? "true" : "false");
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, Theme value) {
  AddText(body_, name, EnumName(value));
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, Scale value) {
  AddText(body_, name, EnumName(value));
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, PlaceType value) {
  AddText(body_, name, EnumName(value));
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, const LonLatPt& value) {
  AddPoint(body_, name, value);
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, const TileId& value) {
  pugi::xml_node element = body_.append_child(std::string(name).c_str());
  AddText(element, "Theme", EnumName(value.Theme));
  AddText(element, "Scale", EnumName(value.Scale));
  AddText(element, "Scene", std::to_string(value.Scene));
  AddText(element, "X", std::to_string(value.X));
  AddText(element, "Y", std::to_string(value.Y));
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, const Place& value) {
  pugi::xml_node element = body_.append_child(std::string(name).c_str());
  AddText(element, "City", value.City);
  AddText(element, "State", value.State);
  AddText(element, "Country", value.Country);
  return *this;
}

SoapRequest& SoapRequest::Add(std::string_view name, const UtmPt& value) {
  pugi::xml_node element = body_.append_child(std::string(name).c_str());
  AddText(element, "Zone", std::to_string(value.Zone));
  AddText(element, "X", FormatXsdDouble(value.X));
  AddText(element, "Y", FormatXsdDouble(value.Y));
  return *this;
}

std::string SoapRequest::Xml() const {
  StringWriter writer;
  // The declaration is the node added above; pugixml must not add one of its own.
  doc_.save(writer, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
  return writer.text;
}

// ---- Answers ---------------------------------------------------------------------------

std::optional<SoapFault> FindSoapFault(std::string_view xml) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_auto)) {
    return std::nullopt;
  }
  return FaultIn(BodyOf(doc));
}

SoapAnswer::SoapAnswer(std::string_view xml, std::string_view operation) {
  ParseOrThrow(doc_, xml);
  const pugi::xml_node body = BodyOf(doc_);
  if (!body) Unreadable("no SOAP envelope with a body");
  if (auto fault = FaultIn(body)) throw ESoapFault(fault->String, fault->Code);

  const std::string expected = std::string(operation) + "Response";
  const pugi::xml_node response = FirstElement(body);
  if (!response) Unreadable("the body is empty, " + expected + " expected");
  if (LocalName(response) != expected || NamespaceOf(response) != kTerraServiceNamespace) {
    Unreadable("<" + std::string(response.name()) + "> in namespace '" +
               std::string(NamespaceOf(response)) + "' where " + expected + " of '" +
               std::string(kTerraServiceNamespace) + "' was expected");
  }
  result_ = ChildElement(response, std::string(operation) + "Result");
  if (result_ && IsNil(result_)) result_ = {};
}

std::string ReadText(pugi::xml_node node) {
  std::string text;
  for (pugi::xml_node child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      text += child.value();
    }
  }
  return text;
}

int ReadInt(pugi::xml_node node) {
  if (!node) return 0;
  const std::string text = ReadText(node);
  std::string_view digits = Trimmed(text);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    Unreadable(Quoted(text, node) + " is not an integer");
  }
  return value;
}

bool ReadBool(pugi::xml_node node) {
  if (!node) return false;
  const std::string text = ReadText(node);
  const std::string_view value = Trimmed(text);
  if (value == "true" || value == "1") return true;
  if (value == "false" || value == "0") return false;
  Unreadable(Quoted(text, node) + " is not a boolean");
}

double ReadDouble(pugi::xml_node node) {
  if (!node) return 0;
  const std::string text = ReadText(node);
  if (const auto value = ParseXsdDouble(text)) return *value;
  Unreadable(Quoted(text, node) + " is not a number");
}

// ---- Records, field by field -----------------------------------------------------------

namespace {

std::unique_ptr<TXSDateTime> ReadDateTime(pugi::xml_node node) {
  auto value = std::make_unique<TXSDateTime>();
  value->XSDateTime = std::string(Trimmed(ReadText(node)));
  return value;
}

std::unique_ptr<LonLatPtOffset> ReadLonLatPtOffset(pugi::xml_node node);
std::unique_ptr<AreaCoordinate> ReadAreaCoordinate(pugi::xml_node node);
std::unique_ptr<OverlappingThemeInfo> ReadOverlappingThemeInfo(pugi::xml_node node);
std::unique_ptr<ThemeBoundingBox> ReadThemeBoundingBox(pugi::xml_node node);
ArrayOfOverlappingThemeInfo ReadArrayOfOverlappingThemeInfo(pugi::xml_node node);

// One reader per field type, so that a record's fields can be listed as member pointers.
void ReadInto(pugi::xml_node n, double& v) { v = ReadDouble(n); }
void ReadInto(pugi::xml_node n, int& v) { v = ReadInt(n); }
void ReadInto(pugi::xml_node n, bool& v) { v = ReadBool(n); }
void ReadInto(pugi::xml_node n, std::string& v) { v = ReadText(n); }
void ReadInto(pugi::xml_node n, Theme& v) { v = ReadEnum(n, &TryParseTheme, "Theme"); }
void ReadInto(pugi::xml_node n, Scale& v) { v = ReadEnum(n, &TryParseScale, "Scale"); }
void ReadInto(pugi::xml_node n, PlaceType& v) { v = ReadEnum(n, &TryParsePlaceType, "PlaceType"); }
void ReadInto(pugi::xml_node n, ProjectionType& v) {
  v = ReadEnum(n, &TryParseProjectionType, "ProjectionType");
}
void ReadInto(pugi::xml_node n, std::unique_ptr<TXSDateTime>& v) { v = ReadDateTime(n); }
void ReadInto(pugi::xml_node n, std::unique_ptr<LonLatPt>& v) { v = ReadLonLatPt(n); }
void ReadInto(pugi::xml_node n, std::unique_ptr<TileId>& v) { v = ReadTileId(n); }
void ReadInto(pugi::xml_node n, std::unique_ptr<TileMeta>& v) { v = ReadTileMeta(n); }
void ReadInto(pugi::xml_node n, std::unique_ptr<LonLatPtOffset>& v) { v = ReadLonLatPtOffset(n); }
void ReadInto(pugi::xml_node n, std::unique_ptr<AreaCoordinate>& v) { v = ReadAreaCoordinate(n); }
void ReadInto(pugi::xml_node n, std::unique_ptr<Place>& v) { v = ReadPlace(n); }
void ReadInto(pugi::xml_node n, ArrayOfOverlappingThemeInfo& v) {
  v = ReadArrayOfOverlappingThemeInfo(n);
}

// A field of record R: its element name and how to read it into its member.
template <typename R>
struct Field {
  template <typename T>
  Field(std::string_view elementName, T R::*member)
      : name(elementName),
        read([member](R& record, pugi::xml_node node) { ReadInto(node, record.*member); }) {}
  std::string_view name;
  std::function<void(R&, pugi::xml_node)> read;
};

template <typename R>
using Fields = std::vector<Field<R>>;

// Each child element that names a field is read into it; unknown and nil ones are
// skipped, so what the service leaves out keeps its default (null for records).
template <typename R>
std::unique_ptr<R> ReadRecord(pugi::xml_node node, const Fields<R>& fields) {
  if (!node || IsNil(node)) return nullptr;
  auto record = std::make_unique<R>();
  for (pugi::xml_node child : node.children()) {
    if (child.type() != pugi::node_element || IsNil(child)) continue;
    const std::string_view name = LocalName(child);
    for (const Field<R>& field : fields) {
      if (field.name == name) {
        field.read(*record, child);
        break;
      }
    }
  }
  return record;
}

// An array's elements are named after the element type; others are skipped, and so
// are nil elements, so that no caller meets a null entry.
template <typename R>
std::vector<std::unique_ptr<R>> ReadArray(pugi::xml_node node, std::string_view elementName,
                                          std::unique_ptr<R> (*read)(pugi::xml_node)) {
  std::vector<std::unique_ptr<R>> items;
  if (!node || IsNil(node)) return items;
  for (pugi::xml_node child : node.children()) {
    if (child.type() != pugi::node_element || LocalName(child) != elementName) continue;
    if (auto item = read(child)) items.push_back(std::move(item));
  }
  return items;
}

std::unique_ptr<LonLatPtOffset> ReadLonLatPtOffset(pugi::xml_node node) {
  using R = LonLatPtOffset;
  static const Fields<R> fields = {
      {"Point", &R::Point}, {"XOffset", &R::XOffset}, {"YOffset", &R::YOffset}};
  return ReadRecord(node, fields);
}

std::unique_ptr<AreaCoordinate> ReadAreaCoordinate(pugi::xml_node node) {
  using R = AreaCoordinate;
  static const Fields<R> fields = {{"TileMeta", &R::TileMeta}, {"Offset", &R::Offset}};
  return ReadRecord(node, fields);
}

std::unique_ptr<OverlappingThemeInfo> ReadOverlappingThemeInfo(pugi::xml_node node) {
  using R = OverlappingThemeInfo;
  static const Fields<R> fields = {
      {"LocalTheme", &R::LocalTheme}, {"Theme", &R::Theme},     {"Point", &R::Point},
      {"ThemeName", &R::ThemeName},   {"Capture", &R::Capture}, {"ProjectionId", &R::ProjectionId},
      {"LoScale", &R::LoScale},       {"HiScale", &R::HiScale}, {"Url", &R::Url}};
  return ReadRecord(node, fields);
}

std::unique_ptr<ThemeBoundingBox> ReadThemeBoundingBox(pugi::xml_node node) {
  using R = ThemeBoundingBox;
  static const Fields<R> fields = {{"Theme", &R::Theme},
                                   {"ThemeName", &R::ThemeName},
                                   {"Sparseness", &R::Sparseness},
                                   {"LoScale", &R::LoScale},
                                   {"HiScale", &R::HiScale},
                                   {"ProjectionId", &R::ProjectionId},
                                   {"ProjectionName", &R::ProjectionName},
                                   {"WestLongitude", &R::WestLongitude},
                                   {"NorthLatitude", &R::NorthLatitude},
                                   {"EastLongitude", &R::EastLongitude},
                                   {"SouthLatitude", &R::SouthLatitude}};
  return ReadRecord(node, fields);
}

ArrayOfOverlappingThemeInfo ReadArrayOfOverlappingThemeInfo(pugi::xml_node node) {
  return ReadArray(node, "OverlappingThemeInfo", &ReadOverlappingThemeInfo);
}

}  // namespace

std::unique_ptr<LonLatPt> ReadLonLatPt(pugi::xml_node node) {
  static const Fields<LonLatPt> fields = {{"Lon", &LonLatPt::Lon}, {"Lat", &LonLatPt::Lat}};
  return ReadRecord(node, fields);
}

std::unique_ptr<TileId> ReadTileId(pugi::xml_node node) {
  using R = TileId;
  static const Fields<R> fields = {
      {"Theme", &R::Theme}, {"Scale", &R::Scale}, {"Scene", &R::Scene}, {"X", &R::X}, {"Y", &R::Y}};
  return ReadRecord(node, fields);
}

std::unique_ptr<TileMeta> ReadTileMeta(pugi::xml_node node) {
  using R = TileMeta;
  static const Fields<R> fields = {{"Id", &R::Id},
                                   {"TileExists", &R::TileExists},
                                   {"NorthWest", &R::NorthWest},
                                   {"NorthEast", &R::NorthEast},
                                   {"SouthWest", &R::SouthWest},
                                   {"SouthEast", &R::SouthEast},
                                   {"Center", &R::Center},
                                   {"Capture", &R::Capture}};
  return ReadRecord(node, fields);
}

std::unique_ptr<AreaBoundingBox> ReadAreaBoundingBox(pugi::xml_node node) {
  using R = AreaBoundingBox;
  static const Fields<R> fields = {{"NorthWest", &R::NorthWest},
                                   {"NorthEast", &R::NorthEast},
                                   {"SouthWest", &R::SouthWest},
                                   {"SouthEast", &R::SouthEast},
                                   {"Center", &R::Center},
                                   {"NearestPlace", &R::NearestPlace},
                                   {"OverlappingThemeInfos", &R::OverlappingThemeInfos}};
  return ReadRecord(node, fields);
}

std::unique_ptr<Place> ReadPlace(pugi::xml_node node) {
  using R = Place;
  static const Fields<R> fields = {
      {"City", &R::City}, {"State", &R::State}, {"Country", &R::Country}};
  return ReadRecord(node, fields);
}

std::unique_ptr<PlaceFacts> ReadPlaceFacts(pugi::xml_node node) {
  using R = PlaceFacts;
  static const Fields<R> fields = {{"Place", &R::Place},
                                   {"Center", &R::Center},
                                   {"AvailableThemeMask", &R::AvailableThemeMask},
                                   {"PlaceTypeId", &R::PlaceTypeId},
                                   {"Population", &R::Population}};
  return ReadRecord(node, fields);
}

std::unique_ptr<UtmPt> ReadUtmPt(pugi::xml_node node) {
  using R = UtmPt;
  static const Fields<R> fields = {{"Zone", &R::Zone}, {"X", &R::X}, {"Y", &R::Y}};
  return ReadRecord(node, fields);
}

std::unique_ptr<ThemeInfo> ReadThemeInfo(pugi::xml_node node) {
  using R = ThemeInfo;
  static const Fields<R> fields = {{"Theme", &R::Theme},
                                   {"Name", &R::Name},
                                   {"Description", &R::Description},
                                   {"Supplier", &R::Supplier},
                                   {"LoScale", &R::LoScale},
                                   {"HiScale", &R::HiScale},
                                   {"ProjectionId", &R::ProjectionId},
                                   {"ProjectionName", &R::ProjectionName},
                                   {"CopyrightNotice", &R::CopyrightNotice}};
  return ReadRecord(node, fields);
}

ArrayOfPlaceFacts ReadArrayOfPlaceFacts(pugi::xml_node node) {
  return ReadArray(node, "PlaceFacts", &ReadPlaceFacts);
}

ArrayOfThemeBoundingBox ReadArrayOfThemeBoundingBox(pugi::xml_node node) {
  return ReadArray(node, "ThemeBoundingBox", &ReadThemeBoundingBox);
}

}  // namespace quorvil
