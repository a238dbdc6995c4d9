#include "service/TerraServiceSoapProxy.h"

#include <pugixml.hpp>

#include "platform/ProgramError.h"
#include "service/SoapEnvelope.h"

namespace quorvil {

namespace {

std::string_view LocalName(std::string_view qualified) {
  const auto colon = qualified.rfind(':');
  return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

bool IsSuccess(long status) { return status >= 200 && status < 300; }

std::string HttpErrorText(long status, const std::string& url) {
  return "The map service at " + url + " answered with HTTP status " + std::to_string(status);
}

}  // namespace

std::string EndpointFromWsdl(std::string_view wsdl, std::string_view service,
                             std::string_view port) {
  pugi::xml_document doc;
  if (!doc.load_buffer(wsdl.data(), wsdl.size(), pugi::parse_default, pugi::encoding_auto)) {
    throw EQuorvilError("The service description is not well-formed XML");
  }
  const pugi::xml_node definitions = doc.document_element();
  for (pugi::xml_node s : definitions.children()) {
    if (LocalName(s.name()) != "service" || s.attribute("name").value() != service) continue;
    for (pugi::xml_node p : s.children()) {
      if (LocalName(p.name()) != "port" || p.attribute("name").value() != port) continue;
      for (pugi::xml_node a : p.children()) {
        if (LocalName(a.name()) == "address" && *a.attribute("location").value()) {
          return a.attribute("location").value();
        }
      }
    }
  }
  throw EQuorvilError("The service description names no address for port " + std::string(port) +
                      " of service " + std::string(service));
}

TerraServiceSoapProxy::TerraServiceSoapProxy(std::shared_ptr<SoapTransport> transport)
    : transport_(std::move(transport)) {}

TerraServiceSoapProxy::~TerraServiceSoapProxy() = default;

std::string TerraServiceSoapProxy::Endpoint() {
  if (!transport_->URL().empty()) return transport_->URL();
  if (transport_->WSDLLocation().empty()) {
    throw EQuorvilError("No address is set for the map service");
  }
  if (wsdlEndpoint_.empty()) {
    const std::string& location = transport_->WSDLLocation();
    transport_->SetAnswerLimit(kMaxSoapAnswerBytes);
    const HttpAnswer answer = transport_->Get(location);
    if (!IsSuccess(answer.Status)) throw EQuorvilError(HttpErrorText(answer.Status, location));
    try {
      wsdlEndpoint_ = EndpointFromWsdl(answer.Body, transport_->Service(), transport_->Port());
    } catch (const EQuorvilError& error) {
      throw EQuorvilError(std::string(error.what()) + " (" + location + ")");
    }
  }
  return wsdlEndpoint_;
}

SoapAnswer TerraServiceSoapProxy::Call(const SoapRequest& request, std::size_t answerLimit) {
  const std::string url = Endpoint();
  transport_->SetAnswerLimit(answerLimit);
  const HttpAnswer answer = transport_->Post(url, SoapActionOf(request.Operation()),
                                             std::string(kSoapContentType), request.Xml());
  if (!IsSuccess(answer.Status)) {
    // An .asmx service sends its faults with status 500; the fault text says more.
    if (auto fault = FindSoapFault(answer.Body)) throw ESoapFault(fault->String, fault->Code);
    throw EQuorvilError(HttpErrorText(answer.Status, url));
  }
  return SoapAnswer(answer.Body, request.Operation());
}

std::string TerraServiceSoapProxy::ConvertLonLatPtToNearestPlace(const LonLatPt& point) {
  SoapRequest request("ConvertLonLatPtToNearestPlace");
  request.Add("point", point);
  return ReadText(Call(request).Result());
}

std::unique_ptr<UtmPt> TerraServiceSoapProxy::ConvertLonLatPtToUtmPt(const LonLatPt& point) {
  SoapRequest request("ConvertLonLatPtToUtmPt");
  request.Add("point", point);
  return ReadUtmPt(Call(request).Result());
}

std::unique_ptr<LonLatPt> TerraServiceSoapProxy::ConvertUtmPtToLonLatPt(const UtmPt& utm) {
  SoapRequest request("ConvertUtmPtToLonLatPt");
  request.Add("utm", utm);
  return ReadLonLatPt(Call(request).Result());
}

std::unique_ptr<LonLatPt> TerraServiceSoapProxy::ConvertPlaceToLonLatPt(const Place& place) {
  SoapRequest request("ConvertPlaceToLonLatPt");
  request.Add("place", place);
  return ReadLonLatPt(Call(request).Result());
}

int TerraServiceSoapProxy::CountPlacesInRect(const LonLatPt& upperleft, const LonLatPt& lowerright,
                                             PlaceType ptype) {
  SoapRequest request("CountPlacesInRect");
  request.Add("upperleft", upperleft).Add("lowerright", lowerright).Add("ptype", ptype);
  return ReadInt(Call(request).Result());
}

std::unique_ptr<AreaBoundingBox> TerraServiceSoapProxy::GetAreaFromPt(const LonLatPt& center,
                                                                      Theme theme, Scale scale,
                                                                      int displayPixWidth,
                                                                      int displayPixHeight) {
  SoapRequest request("GetAreaFromPt");
  request.Add("center", center)
      .Add("theme", theme)
      .Add("scale", scale)
      .Add("displayPixWidth", displayPixWidth)
      .Add("displayPixHeight", displayPixHeight);
  return ReadAreaBoundingBox(Call(request).Result());
}

std::unique_ptr<AreaBoundingBox> TerraServiceSoapProxy::GetAreaFromRect(const LonLatPt& upperLeft,
                                                                        const LonLatPt& lowerRight,
                                                                        Theme theme, Scale scale) {
  SoapRequest request("GetAreaFromRect");
  request.Add("upperLeft", upperLeft)
      .Add("lowerRight", lowerRight)
      .Add("theme", theme)
      .Add("scale", scale);
  return ReadAreaBoundingBox(Call(request).Result());
}

std::unique_ptr<AreaBoundingBox> TerraServiceSoapProxy::GetAreaFromTileId(const TileId& id,
                                                                          int displayPixWidth,
                                                                          int displayPixHeight) {
  SoapRequest request("GetAreaFromTileId");
  request.Add("id", id)
      .Add("displayPixWidth", displayPixWidth)
      .Add("displayPixHeight", displayPixHeight);
  return ReadAreaBoundingBox(Call(request).Result());
}

ArrayOfThemeBoundingBox TerraServiceSoapProxy::GetLatLonMetrics(const LonLatPt& point) {
  SoapRequest request("GetLatLonMetrics");
  request.Add("point", point);
  return ReadArrayOfThemeBoundingBox(Call(request).Result());
}

std::unique_ptr<PlaceFacts> TerraServiceSoapProxy::GetPlaceFacts(const Place& place) {
  SoapRequest request("GetPlaceFacts");
  request.Add("place", place);
  return ReadPlaceFacts(Call(request).Result());
}

ArrayOfPlaceFacts TerraServiceSoapProxy::GetPlaceList(const std::string& placeName, int MaxItems,
                                                      bool imagePresence) {
  SoapRequest request("GetPlaceList");
  request.Add("placeName", std::string_view(placeName))
      .Add("MaxItems", MaxItems)
      .Add("imagePresence", imagePresence);
  return ReadArrayOfPlaceFacts(Call(request).Result());
}

ArrayOfPlaceFacts TerraServiceSoapProxy::GetPlaceListInRect(const LonLatPt& upperleft,
                                                            const LonLatPt& lowerright,
                                                            PlaceType ptype, int MaxItems) {
  SoapRequest request("GetPlaceListInRect");
  request.Add("upperleft", upperleft)
      .Add("lowerright", lowerright)
      .Add("ptype", ptype)
      .Add("MaxItems", MaxItems);
  return ReadArrayOfPlaceFacts(Call(request).Result());
}

std::unique_ptr<ThemeInfo> TerraServiceSoapProxy::GetTheme(Theme theme) {
  SoapRequest request("GetTheme");
  request.Add("theme", theme);
  return ReadThemeInfo(Call(request).Result());
}

std::unique_ptr<TileMeta> TerraServiceSoapProxy::GetTileMetaFromLonLatPt(const LonLatPt& point,
                                                                         Theme theme, Scale scale) {
  SoapRequest request("GetTileMetaFromLonLatPt");
  request.Add("point", point).Add("theme", theme).Add("scale", scale);
  return ReadTileMeta(Call(request).Result());
}

std::unique_ptr<TileMeta> TerraServiceSoapProxy::GetTileMetaFromTileId(const TileId& id) {
  SoapRequest request("GetTileMetaFromTileId");
  request.Add("id", id);
  return ReadTileMeta(Call(request).Result());
}

std::string TerraServiceSoapProxy::GetTile(const TileId& id) {
  SoapRequest request("GetTile");
  request.Add("id", id);
  std::string text;
  try {
    text = ReadText(Call(request, kMaxTileAnswerBytes).Result());
  } catch (const EAnswerTooLarge&) {
    throw EQuorvilError("The map service sent a tile answer of more than " +
                        ByteSizeText(kMaxTileAnswerBytes) + "; a tile has at most " +
                        std::to_string(kMaxTileFileBytes) + " bytes");
  }
  if (const std::int64_t bytes = Base64DecodedSize(text); bytes > kMaxTileFileBytes) {
    throw EQuorvilError("The map service sent a tile of " + std::to_string(bytes) +
                        " bytes; a tile has at most " + std::to_string(kMaxTileFileBytes) +
                        " bytes");
  }
  return text;
}

std::shared_ptr<TerraServiceSoap> CreateServiceProxy(bool useWsdl, const std::string& address,
                                                     std::shared_ptr<SoapTransport> transport) {
  std::string target = address;
  if (target.empty()) {
    target = std::string(useWsdl ? kDefaultServiceWsdl : kDefaultServiceEndpoint);
  }
  // A transport made here belongs to the proxy alone and goes with it.
  if (!transport) transport = std::make_shared<CurlSoapTransport>();
  // Each mode clears the other's setting, so that a reused transport cannot send the
  // calls somewhere else.
  if (useWsdl) {
    transport->SetURL({});
    transport->SetWSDLLocation(target);
    transport->SetService(std::string(kTerraServiceServiceName));
    transport->SetPort(std::string(kTerraServicePortName));
  } else {
    transport->SetWSDLLocation({});
    transport->SetURL(target);
  }
  return std::make_shared<TerraServiceSoapProxy>(std::move(transport));
}

}  // namespace quorvil
