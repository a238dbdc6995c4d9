#include "mapservice/Wsdl.h"

#include <string>
#include <vector>

#include "mapservice/SoapXml.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

namespace {

struct Field {
  std::string_view name;
  std::string_view type;  // "s:..." or "tns:..."
  bool optional = false;  // records and texts may be absent
};

struct ComplexType {
  std::string_view name;
  std::vector<Field> fields;
  bool array = false;  // a sequence of `fields[0]`
};

struct Operation {
  std::string_view name;
  std::vector<Field> parameters;
  Field result;
};

const std::vector<ComplexType>& Types() {
  static const std::vector<ComplexType> types = {
      {"LonLatPt", {{"Lon", "s:double"}, {"Lat", "s:double"}}},
      {"UtmPt", {{"Zone", "s:int"}, {"X", "s:double"}, {"Y", "s:double"}}},
      {"Place",
       {{"City", "s:string", true}, {"State", "s:string", true}, {"Country", "s:string", true}}},
      {"TileId",
       {{"Theme", "tns:Theme"},
        {"Scale", "tns:Scale"},
        {"Scene", "s:int"},
        {"X", "s:int"},
        {"Y", "s:int"}}},
      {"TileMeta",
       {{"Id", "tns:TileId", true},
        {"TileExists", "s:boolean"},
        {"NorthWest", "tns:LonLatPt", true},
        {"NorthEast", "tns:LonLatPt", true},
        {"SouthWest", "tns:LonLatPt", true},
        {"SouthEast", "tns:LonLatPt", true},
        {"Center", "tns:LonLatPt", true},
        {"Capture", "s:dateTime"}}},
      {"LonLatPtOffset",
       {{"Point", "tns:LonLatPt", true}, {"XOffset", "s:int"}, {"YOffset", "s:int"}}},
      {"AreaCoordinate",
       {{"TileMeta", "tns:TileMeta", true}, {"Offset", "tns:LonLatPtOffset", true}}},
      {"OverlappingThemeInfo",
       {{"LocalTheme", "s:boolean"},
        {"Theme", "tns:Theme"},
        {"Point", "tns:LonLatPt", true},
        {"ThemeName", "s:string", true},
        {"Capture", "s:dateTime"},
        {"ProjectionId", "tns:ProjectionType"},
        {"LoScale", "tns:Scale"},
        {"HiScale", "tns:Scale"},
        {"Url", "s:string", true}}},
      {"ArrayOfOverlappingThemeInfo", {{"OverlappingThemeInfo", "tns:OverlappingThemeInfo"}}, true},
      {"AreaBoundingBox",
       {{"NorthWest", "tns:AreaCoordinate", true},
        {"NorthEast", "tns:AreaCoordinate", true},
        {"SouthWest", "tns:AreaCoordinate", true},
        {"SouthEast", "tns:AreaCoordinate", true},
        {"Center", "tns:AreaCoordinate", true},
        {"NearestPlace", "s:string", true},
        {"OverlappingThemeInfos", "tns:ArrayOfOverlappingThemeInfo", true}}},
      {"ThemeBoundingBox",
       {{"Theme", "tns:Theme"},
        {"ThemeName", "s:string", true},
        {"Sparseness", "s:int"},
        {"LoScale", "tns:Scale"},
        {"HiScale", "tns:Scale"},
        {"ProjectionId", "tns:ProjectionType"},
        {"ProjectionName", "s:string", true},
        {"WestLongitude", "s:double"},
        {"NorthLatitude", "s:double"},
        {"EastLongitude", "s:double"},
        {"SouthLatitude", "s:double"}}},
      {"ArrayOfThemeBoundingBox", {{"ThemeBoundingBox", "tns:ThemeBoundingBox"}}, true},
      {"PlaceFacts",
       {{"Place", "tns:Place", true},
        {"Center", "tns:LonLatPt", true},
        {"AvailableThemeMask", "tns:Themes"},
        {"PlaceTypeId", "tns:PlaceType"},
        {"Population", "s:int"}}},
      {"ArrayOfPlaceFacts", {{"PlaceFacts", "tns:PlaceFacts"}}, true},
      {"ThemeInfo",
       {{"Theme", "tns:Theme"},
        {"Name", "s:string", true},
        {"Description", "s:string", true},
        {"Supplier", "s:string", true},
        {"LoScale", "tns:Scale"},
        {"HiScale", "tns:Scale"},
        {"ProjectionId", "tns:ProjectionType"},
        {"ProjectionName", "s:string", true},
        {"CopyrightNotice", "s:string", true}}},
  };
  return types;
}

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> ops = {
      {"ConvertLonLatPtToNearestPlace", {{"point", "tns:LonLatPt", true}}, {"", "s:string", true}},
      {"ConvertLonLatPtToUtmPt", {{"point", "tns:LonLatPt", true}}, {"", "tns:UtmPt"}},
      {"ConvertUtmPtToLonLatPt", {{"utm", "tns:UtmPt"}}, {"", "tns:LonLatPt"}},
      {"ConvertPlaceToLonLatPt", {{"place", "tns:Place", true}}, {"", "tns:LonLatPt"}},
      {"CountPlacesInRect",
       {{"upperleft", "tns:LonLatPt"}, {"lowerright", "tns:LonLatPt"}, {"ptype", "tns:PlaceType"}},
       {"", "s:int"}},
      {"GetAreaFromPt",
       {{"center", "tns:LonLatPt"},
        {"theme", "tns:Theme"},
        {"scale", "tns:Scale"},
        {"displayPixWidth", "s:int"},
        {"displayPixHeight", "s:int"}},
       {"", "tns:AreaBoundingBox", true}},
      {"GetAreaFromRect",
       {{"upperLeft", "tns:LonLatPt"},
        {"lowerRight", "tns:LonLatPt"},
        {"theme", "tns:Theme"},
        {"scale", "tns:Scale"}},
       {"", "tns:AreaBoundingBox", true}},
      {"GetAreaFromTileId",
       {{"id", "tns:TileId"}, {"displayPixWidth", "s:int"}, {"displayPixHeight", "s:int"}},
       {"", "tns:AreaBoundingBox", true}},
      {"GetLatLonMetrics", {{"point", "tns:LonLatPt"}}, {"", "tns:ArrayOfThemeBoundingBox", true}},
      {"GetPlaceFacts", {{"place", "tns:Place"}}, {"", "tns:PlaceFacts"}},
      {"GetPlaceList",
       {{"placeName", "s:string", true}, {"MaxItems", "s:int"}, {"imagePresence", "s:boolean"}},
       {"", "tns:ArrayOfPlaceFacts", true}},
      {"GetPlaceListInRect",
       {{"upperleft", "tns:LonLatPt"},
        {"lowerright", "tns:LonLatPt"},
        {"ptype", "tns:PlaceType"},
        {"MaxItems", "s:int"}},
       {"", "tns:ArrayOfPlaceFacts", true}},
      {"GetTheme", {{"theme", "tns:Theme"}}, {"", "tns:ThemeInfo", true}},
      {"GetTileMetaFromLonLatPt",
       {{"point", "tns:LonLatPt"}, {"theme", "tns:Theme"}, {"scale", "tns:Scale"}},
       {"", "tns:TileMeta"}},
      {"GetTileMetaFromTileId", {{"id", "tns:TileId"}}, {"", "tns:TileMeta"}},
      {"GetTile", {{"id", "tns:TileId"}}, {"", "s:base64Binary", true}},
  };
  return ops;
}

void Element(std::string& out, std::string_view name, std::string_view type, bool optional,
             bool many = false) {
  out += "<s:element minOccurs=\"";
  out += (optional || many) ? "0" : "1";
  out += "\" maxOccurs=\"";
  out += many ? "unbounded" : "1";
  out += "\" name=\"";
  out += name;
  out += "\"";
  if (many) out += " nillable=\"true\"";
  out += " type=\"";
  out += type;
  out += "\" />";
}

template <typename E>
void Enumeration(std::string& out, std::string_view name, int count) {
  out += "<s:simpleType name=\"";
  out += name;
  out += "\"><s:restriction base=\"s:string\">";
  for (int i = 0; i < count; ++i) {
    out += "<s:enumeration value=\"";
    out += EnumName(static_cast<E>(i));
    out += "\" />";
  }
  out += "</s:restriction></s:simpleType>";
}

}  // namespace

std::string BuildWsdl(std::string_view endpoint) {
  const std::string ns(kTerraServiceNamespace);
  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
  out +=
      "<wsdl:definitions xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\" "
      "xmlns:s=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:wsdl=\"http://schemas.xmlsoap.org/wsdl/\" xmlns:tns=\"" +
      ns + "\" targetNamespace=\"" + ns + "\">\n";
  out += "<wsdl:types><s:schema elementFormDefault=\"qualified\" targetNamespace=\"" + ns + "\">";
  for (const Operation& op : Operations()) {
    out += "<s:element name=\"" + std::string(op.name) + "\"><s:complexType><s:sequence>";
    for (const Field& p : op.parameters) Element(out, p.name, p.type, p.optional);
    out += "</s:sequence></s:complexType></s:element>";
    out += "<s:element name=\"" + std::string(op.name) + "Response\"><s:complexType><s:sequence>";
    Element(out, std::string(op.name) + "Result", op.result.type, op.result.optional);
    out += "</s:sequence></s:complexType></s:element>";
  }
  for (const ComplexType& type : Types()) {
    out += "<s:complexType name=\"" + std::string(type.name) + "\"><s:sequence>";
    for (const Field& f : type.fields) Element(out, f.name, f.type, f.optional, type.array);
    out += "</s:sequence></s:complexType>";
  }
  Enumeration<Theme>(out, "Theme", 3);
  Enumeration<Scale>(out, "Scale", 25);
  Enumeration<PlaceType>(out, "PlaceType", 13);
  Enumeration<ProjectionType>(out, "ProjectionType", 3);
  out += "<s:simpleType name=\"Themes\"><s:list itemType=\"tns:Theme\" /></s:simpleType>";
  out += "</s:schema></wsdl:types>\n";
  for (const Operation& op : Operations()) {
    const std::string name(op.name);
    out += "<wsdl:message name=\"" + name +
           "SoapIn\"><wsdl:part name=\"parameters\" element=\"tns:" + name + "\" /></wsdl:message>";
    out += "<wsdl:message name=\"" + name +
           "SoapOut\"><wsdl:part name=\"parameters\" element=\"tns:" + name +
           "Response\" /></wsdl:message>\n";
  }
  out += "<wsdl:portType name=\"TerraServiceSoap\">";
  for (const Operation& op : Operations()) {
    const std::string name(op.name);
    out += "<wsdl:operation name=\"" + name + "\"><wsdl:input message=\"tns:" + name +
           "SoapIn\" /><wsdl:output message=\"tns:" + name + "SoapOut\" /></wsdl:operation>";
  }
  out += "</wsdl:portType>\n";
  out +=
      "<wsdl:binding name=\"TerraServiceSoap\" type=\"tns:TerraServiceSoap\">"
      "<soap:binding transport=\"http://schemas.xmlsoap.org/soap/http\" style=\"document\" />";
  for (const Operation& op : Operations()) {
    const std::string name(op.name);
    out += "<wsdl:operation name=\"" + name + "\"><soap:operation soapAction=\"" + ns + name +
           "\" style=\"document\" /><wsdl:input><soap:body use=\"literal\" /></wsdl:input>"
           "<wsdl:output><soap:body use=\"literal\" /></wsdl:output></wsdl:operation>";
  }
  out += "</wsdl:binding>\n";
  XmlWriter address;
  address.Escaped(endpoint);
  out +=
      "<wsdl:service name=\"TerraService\"><wsdl:port name=\"TerraServiceSoap\" "
      "binding=\"tns:TerraServiceSoap\"><soap:address location=\"" +
      address.Str() + "\" /></wsdl:port></wsdl:service>\n";
  out += "</wsdl:definitions>\n";
  return out;
}

}  // namespace quorvil::mapservice
