#pragma once

// SOAP 1.1 document/literal envelopes of the map service: writing requests and reading
// answers in the shape an ASP.NET .asmx service gives them:
//   Body > <OperationResponse xmlns=ns> > <OperationResult> > fields.

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "platform/ProgramError.h"
#include "service/ServiceTextSupport.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

inline constexpr std::string_view kSoapEnvelopeNamespace =
    "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kSoapContentType = "text/xml; charset=utf-8";

// The SOAPAction of an operation: the service namespace followed by its name.
std::string SoapActionOf(std::string_view operation);

// xsd:double text that reads back to the same bits ("INF", "-INF", "NaN" included).
std::string FormatXsdDouble(double value);
std::optional<double> ParseXsdDouble(std::string_view text);

// A request: the body element is named after the operation, in the service namespace;
// the parameters are its children in the order they are added, records nested field by
// field in field order.
class SoapRequest {
 public:
  explicit SoapRequest(std::string_view operation);

  const std::string& Operation() const { return operation_; }

  SoapRequest& Add(std::string_view name, std::string_view text);
  SoapRequest& Add(std::string_view name, const char* text) = delete;  // would pick bool
  SoapRequest& Add(std::string_view name, int value);
  SoapRequest& Add(std::string_view name, bool value);
  SoapRequest& Add(std::string_view name, Theme value);
  SoapRequest& Add(std::string_view name, Scale value);
  SoapRequest& Add(std::string_view name, PlaceType value);
  SoapRequest& Add(std::string_view name, const LonLatPt& value);
  SoapRequest& Add(std::string_view name, const TileId& value);
  SoapRequest& Add(std::string_view name, const Place& value);
  SoapRequest& Add(std::string_view name, const UtmPt& value);

  // The whole envelope, UTF-8 with its XML declaration.
  std::string Xml() const;

 private:
  std::string operation_;
  pugi::xml_document doc_;
  pugi::xml_node body_;
};

// A SOAP Fault the service returned; what() is its faultstring, made fit to show
// (ServiceTextForDisplay), since every path may end in a message to the user.
class ESoapFault : public EQuorvilError {
 public:
  ESoapFault(const std::string& faultString, std::string faultCode)
      : EQuorvilError(ServiceTextForDisplay(faultString)),
        faultCode_(ServiceTextForDisplay(faultCode)) {}
  const std::string& FaultCode() const { return faultCode_; }

 private:
  std::string faultCode_;
};

// The fault in an envelope, if it holds one and is well-formed at all.
struct SoapFault {
  std::string Code;
  std::string String;
};
std::optional<SoapFault> FindSoapFault(std::string_view xml);

// The answer to one operation. The constructor throws ESoapFault for a fault and
// EQuorvilError for anything that is not a well-formed answer to that operation.
class SoapAnswer {
 public:
  SoapAnswer(std::string_view xml, std::string_view operation);
  SoapAnswer(const SoapAnswer&) = delete;
  SoapAnswer& operator=(const SoapAnswer&) = delete;

  // The <OperationResult> element; a null node when the service left it out or sent
  // it as nil, which the readers below turn into a null record or a default value.
  pugi::xml_node Result() const { return result_; }

 private:
  pugi::xml_document doc_;
  pugi::xml_node result_;
};

// Field-by-field readers. Unknown elements are skipped, missing fields keep their
// defaults (null for records); text that does not parse throws EQuorvilError.
std::string ReadText(pugi::xml_node node);
int ReadInt(pugi::xml_node node);
bool ReadBool(pugi::xml_node node);
double ReadDouble(pugi::xml_node node);
std::unique_ptr<LonLatPt> ReadLonLatPt(pugi::xml_node node);
std::unique_ptr<TileId> ReadTileId(pugi::xml_node node);
std::unique_ptr<TileMeta> ReadTileMeta(pugi::xml_node node);
std::unique_ptr<AreaBoundingBox> ReadAreaBoundingBox(pugi::xml_node node);
std::unique_ptr<Place> ReadPlace(pugi::xml_node node);
std::unique_ptr<PlaceFacts> ReadPlaceFacts(pugi::xml_node node);
std::unique_ptr<UtmPt> ReadUtmPt(pugi::xml_node node);
std::unique_ptr<ThemeInfo> ReadThemeInfo(pugi::xml_node node);
ArrayOfPlaceFacts ReadArrayOfPlaceFacts(pugi::xml_node node);
ArrayOfThemeBoundingBox ReadArrayOfThemeBoundingBox(pugi::xml_node node);

}  // namespace quorvil
