#pragma once

// The SOAP proxy of the map service: each operation becomes one request envelope posted
// through a transport, and its answer is read back into the caller's records.

#include <memory>
#include <string>

#include "service/SoapTransport.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

class SoapAnswer;
class SoapRequest;

// Service and port whose soap:address a WSDL document names as the endpoint.
inline constexpr std::string_view kTerraServiceServiceName = "TerraService";
inline constexpr std::string_view kTerraServicePortName = "TerraServiceSoap";

// The largest GetTile answer a tile of kMaxTileFileBytes can need: its Base64 text, a
// line break every 76 characters, and the envelope around it. A larger one is refused
// as it arrives, so that a connection never holds more than this of a tile answer.
inline constexpr std::size_t kMaxTileAnswerBytes =
    (kMaxTileFileBytes + 2) / 3 * 4 * 78 / 76 + 8 * 1024;

// Finds the soap:address location of `service`/`port` in a WSDL document; throws
// EQuorvilError when the document is not XML or names no such port.
std::string EndpointFromWsdl(std::string_view wsdl, std::string_view service,
                             std::string_view port);

class TerraServiceSoapProxy : public TerraServiceSoap {
 public:
  explicit TerraServiceSoapProxy(std::shared_ptr<SoapTransport> transport);
  ~TerraServiceSoapProxy() override;

  SoapTransport& Transport() const { return *transport_; }

  std::string ConvertLonLatPtToNearestPlace(const LonLatPt& point) override;
  std::unique_ptr<UtmPt> ConvertLonLatPtToUtmPt(const LonLatPt& point) override;
  std::unique_ptr<LonLatPt> ConvertUtmPtToLonLatPt(const UtmPt& utm) override;
  std::unique_ptr<LonLatPt> ConvertPlaceToLonLatPt(const Place& place) override;
  int CountPlacesInRect(const LonLatPt& upperleft, const LonLatPt& lowerright,
                        PlaceType ptype) override;
  std::unique_ptr<AreaBoundingBox> GetAreaFromPt(const LonLatPt& center, Theme theme, Scale scale,
                                                 int displayPixWidth,
                                                 int displayPixHeight) override;
  std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                   const LonLatPt& lowerRight, Theme theme,
                                                   Scale scale) override;
  std::unique_ptr<AreaBoundingBox> GetAreaFromTileId(const TileId& id, int displayPixWidth,
                                                     int displayPixHeight) override;
  ArrayOfThemeBoundingBox GetLatLonMetrics(const LonLatPt& point) override;
  std::unique_ptr<PlaceFacts> GetPlaceFacts(const Place& place) override;
  ArrayOfPlaceFacts GetPlaceList(const std::string& placeName, int MaxItems,
                                 bool imagePresence) override;
  ArrayOfPlaceFacts GetPlaceListInRect(const LonLatPt& upperleft, const LonLatPt& lowerright,
                                       PlaceType ptype, int MaxItems) override;
  std::unique_ptr<ThemeInfo> GetTheme(Theme theme) override;
  std::unique_ptr<TileMeta> GetTileMetaFromLonLatPt(const LonLatPt& point, Theme theme,
                                                    Scale scale) override;
  std::unique_ptr<TileMeta> GetTileMetaFromTileId(const TileId& id) override;
  std::string GetTile(const TileId& id) override;

 private:
  // The endpoint URL, or in WSDL mode the address the WSDL names (fetched once).
  std::string Endpoint();
  SoapAnswer Call(const SoapRequest& request, std::size_t answerLimit = kMaxSoapAnswerBytes);

  std::shared_ptr<SoapTransport> transport_;
  std::string wsdlEndpoint_;
};

}  // namespace quorvil
