#pragma once

// Client-side declarations of the TerraService map web service: its records,
// enumerations and operations, the names they travel under, and the proxy factory.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvil {

// ---- Names on the wire -------------------------------------------------------------

// The service namespace; every element of a request body and every SOAP action is in it.
inline constexpr std::string_view kTerraServiceNamespace =
    "http://terraserver-usa.com/terraserver/";

// Where the program looks for the service unless the preferences say otherwise: the
// local map service that ships with the program.
inline constexpr std::string_view kDefaultServiceHost = "127.0.0.1";
inline constexpr int kDefaultServicePort = 47015;
inline constexpr std::string_view kDefaultServiceEndpoint =
    "http://127.0.0.1:47015/terraservice.asmx";
inline constexpr std::string_view kDefaultServiceWsdl =
    "http://127.0.0.1:47015/terraservice.asmx?WSDL";
inline constexpr std::string_view kServiceEndpointPath = "/terraservice.asmx";

// The largest tile file the program takes: tiles are a few kilobytes, so a GetTile
// answer or a cache file beyond this is refused before it is read whole.
inline constexpr std::int64_t kMaxTileFileBytes = 256 * 1024;

// How many bytes a GetTile answer decodes to: Base64 with characters outside the
// alphabet skipped, up to the first "=". Counts without decoding.
std::int64_t Base64DecodedSize(std::string_view text);

// ---- Enumerations (the member order gives the ordinal values) -----------------------

enum class Theme : int { Photo, Topo, Relief };

enum class Scale : int {
  Scale1mm,
  Scale2mm,
  Scale4mm,
  Scale8mm,
  Scale16mm,
  Scale32mm,
  Scale63mm,
  Scale125mm,
  Scale250mm,
  Scale500mm,
  Scale1m,
  Scale2m,
  Scale4m,
  Scale8m,
  Scale16m,
  Scale32m,
  Scale64m,
  Scale128m,
  Scale256m,
  Scale512m,
  Scale1km,
  Scale2km,
  Scale4km,
  Scale8km,
  Scale16km
};

enum class PlaceType : int {
  UnknownPlaceType,
  AirRailStation,
  BayGulf,
  CapePeninsula,
  CityTown,
  HillMountain,
  Island,
  Lake,
  OtherLandFeature,
  OtherWaterFeature,
  ParkBeach,
  PointOfInterest,
  River
};

enum class ProjectionType : int { Geographic, UtmNad27, UtmNad83 };

// Member names as they travel ("Photo", "Scale1m"). Parsing an unknown name throws
// EQuorvilError: an answer we cannot read must not turn into ordinal 0.
std::string_view EnumName(Theme value);
std::string_view EnumName(Scale value);
std::string_view EnumName(PlaceType value);
std::string_view EnumName(ProjectionType value);
Theme ParseTheme(std::string_view name);
Scale ParseScale(std::string_view name);
PlaceType ParsePlaceType(std::string_view name);
ProjectionType ParseProjectionType(std::string_view name);
// Non-throwing forms for callers that report errors their own way (the map service).
std::optional<Theme> TryParseTheme(std::string_view name);
std::optional<Scale> TryParseScale(std::string_view name);
std::optional<PlaceType> TryParsePlaceType(std::string_view name);
std::optional<ProjectionType> TryParseProjectionType(std::string_view name);

// The service's mask of themes travels as text of its own type.
using Themes = std::string;

// Holder of one xsd:dateTime value, kept as the text the service sent.
struct TXSDateTime {
  std::string XSDateTime;
};

// ---- Records (fields in wire order; a record owns what it holds) ---------------------

struct LonLatPt {
  double Lon = 0;
  double Lat = 0;
};

struct TileId {
  quorvil::Theme Theme = quorvil::Theme::Photo;
  quorvil::Scale Scale = quorvil::Scale::Scale1m;
  int Scene = 0;
  int X = 0;
  int Y = 0;
};

struct TileMeta {
  std::unique_ptr<TileId> Id;
  bool TileExists = false;
  std::unique_ptr<LonLatPt> NorthWest;
  std::unique_ptr<LonLatPt> NorthEast;
  std::unique_ptr<LonLatPt> SouthWest;
  std::unique_ptr<LonLatPt> SouthEast;
  std::unique_ptr<LonLatPt> Center;
  std::unique_ptr<TXSDateTime> Capture;
};

struct LonLatPtOffset {
  std::unique_ptr<LonLatPt> Point;
  int XOffset = 0;
  int YOffset = 0;
};

struct AreaCoordinate {
  std::unique_ptr<quorvil::TileMeta> TileMeta;
  std::unique_ptr<LonLatPtOffset> Offset;
};

struct OverlappingThemeInfo {
  bool LocalTheme = false;
  quorvil::Theme Theme = quorvil::Theme::Photo;
  std::unique_ptr<LonLatPt> Point;
  std::string ThemeName;
  std::unique_ptr<TXSDateTime> Capture;
  ProjectionType ProjectionId = ProjectionType::Geographic;
  Scale LoScale = Scale::Scale1mm;
  Scale HiScale = Scale::Scale1mm;
  std::string Url;
};

using ArrayOfOverlappingThemeInfo = std::vector<std::unique_ptr<OverlappingThemeInfo>>;

struct AreaBoundingBox {
  std::unique_ptr<AreaCoordinate> NorthWest;
  std::unique_ptr<AreaCoordinate> NorthEast;
  std::unique_ptr<AreaCoordinate> SouthWest;
  std::unique_ptr<AreaCoordinate> SouthEast;
  std::unique_ptr<AreaCoordinate> Center;
  std::string NearestPlace;
  ArrayOfOverlappingThemeInfo OverlappingThemeInfos;

  AreaBoundingBox() = default;
  AreaBoundingBox(const AreaBoundingBox&) = delete;
  AreaBoundingBox& operator=(const AreaBoundingBox&) = delete;
  AreaBoundingBox(AreaBoundingBox&&) = default;
  AreaBoundingBox& operator=(AreaBoundingBox&&) = default;
  // The overlapping-theme infos go first, then the five corners.
  ~AreaBoundingBox();
};

struct Place {
  std::string City;
  std::string State;
  std::string Country;
};

struct PlaceFacts {
  std::unique_ptr<quorvil::Place> Place;
  std::unique_ptr<LonLatPt> Center;
  Themes AvailableThemeMask;
  PlaceType PlaceTypeId = PlaceType::UnknownPlaceType;
  int Population = 0;
};

using ArrayOfPlaceFacts = std::vector<std::unique_ptr<PlaceFacts>>;

struct UtmPt {
  int Zone = 0;
  double X = 0;
  double Y = 0;
};

struct ThemeInfo {
  quorvil::Theme Theme = quorvil::Theme::Photo;
  std::string Name;
  std::string Description;
  std::string Supplier;
  Scale LoScale = Scale::Scale1mm;
  Scale HiScale = Scale::Scale1mm;
  ProjectionType ProjectionId = ProjectionType::Geographic;
  std::string ProjectionName;
  std::string CopyrightNotice;
};

struct ThemeBoundingBox {
  quorvil::Theme Theme = quorvil::Theme::Photo;
  std::string ThemeName;
  int Sparseness = 0;
  Scale LoScale = Scale::Scale1mm;
  Scale HiScale = Scale::Scale1mm;
  ProjectionType ProjectionId = ProjectionType::Geographic;
  std::string ProjectionName;
  double WestLongitude = 0;
  double NorthLatitude = 0;
  double EastLongitude = 0;
  double SouthLatitude = 0;
};

using ArrayOfThemeBoundingBox = std::vector<std::unique_ptr<ThemeBoundingBox>>;

// ---- The remote interface ------------------------------------------------------------

// The sixteen operations in slot order. Each call is synchronous and either returns its
// result, which belongs to the caller, or throws EQuorvilError with a readable message.
// Record arguments are read, never taken over.
class TerraServiceSoap {
 public:
  virtual ~TerraServiceSoap() = default;

  virtual std::string ConvertLonLatPtToNearestPlace(const LonLatPt& point) = 0;
  virtual std::unique_ptr<UtmPt> ConvertLonLatPtToUtmPt(const LonLatPt& point) = 0;
  virtual std::unique_ptr<LonLatPt> ConvertUtmPtToLonLatPt(const UtmPt& utm) = 0;
  virtual std::unique_ptr<LonLatPt> ConvertPlaceToLonLatPt(const Place& place) = 0;
  virtual int CountPlacesInRect(const LonLatPt& upperleft, const LonLatPt& lowerright,
                                PlaceType ptype) = 0;
  virtual std::unique_ptr<AreaBoundingBox> GetAreaFromPt(const LonLatPt& center, Theme theme,
                                                         Scale scale, int displayPixWidth,
                                                         int displayPixHeight) = 0;
  virtual std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                           const LonLatPt& lowerRight, Theme theme,
                                                           Scale scale) = 0;
  virtual std::unique_ptr<AreaBoundingBox> GetAreaFromTileId(const TileId& id, int displayPixWidth,
                                                             int displayPixHeight) = 0;
  virtual ArrayOfThemeBoundingBox GetLatLonMetrics(const LonLatPt& point) = 0;
  virtual std::unique_ptr<PlaceFacts> GetPlaceFacts(const Place& place) = 0;
  virtual ArrayOfPlaceFacts GetPlaceList(const std::string& placeName, int MaxItems,
                                         bool imagePresence) = 0;
  virtual ArrayOfPlaceFacts GetPlaceListInRect(const LonLatPt& upperleft,
                                               const LonLatPt& lowerright, PlaceType ptype,
                                               int MaxItems) = 0;
  virtual std::unique_ptr<ThemeInfo> GetTheme(Theme theme) = 0;
  virtual std::unique_ptr<TileMeta> GetTileMetaFromLonLatPt(const LonLatPt& point, Theme theme,
                                                            Scale scale) = 0;
  virtual std::unique_ptr<TileMeta> GetTileMetaFromTileId(const TileId& id) = 0;
  // The tile's image file, Base64-encoded, as the service sent it.
  virtual std::string GetTile(const TileId& id) = 0;
};

// ---- The proxy factory -----------------------------------------------------------------

class SoapTransport;  // service/SoapTransport.h

// Builds a proxy for the service at `address` (the default endpoint, or its WSDL, when
// empty). With `useWsdl` the endpoint is the soap:address that the WSDL document at
// `address` names for service "TerraService", port "TerraServiceSoap". Without a
// transport, the proxy makes its own HTTP transport. Reports no error of its own: a
// wrong address shows when the first call fails.
std::shared_ptr<TerraServiceSoap> CreateServiceProxy(
    bool useWsdl = false, const std::string& address = {},
    std::shared_ptr<SoapTransport> transport = nullptr);

}  // namespace quorvil
