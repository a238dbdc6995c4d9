#include "mapservice/MapService.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <pugixml.hpp>

#include "mapservice/SoapXml.h"
#include "mapservice/Wsdl.h"
#include "platform/ProgramError.h"

namespace quorvil::mapservice {

namespace {

constexpr std::string_view kEnvelopeOpen =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
    "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
    "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"><soap:Body>";
constexpr std::string_view kEnvelopeClose = "</soap:Body></soap:Envelope>";
constexpr const char* kCaptureDate = "2004-06-01T00:00:00";

// Asked before the request on this thread reads the user's datasets; none: it may.
thread_local const DatasetGate* tGate = nullptr;

// An argument the service cannot work with: the caller's fault.
struct ClientFault : EQuorvilError {
  using EQuorvilError::EQuorvilError;
};

std::string ThemeDisplayName(Theme theme) {
  switch (theme) {
    case Theme::Photo:
      return "Aerial Photograph";
    case Theme::Topo:
      return "Topographic Map";
    default:
      return "Shaded Relief";
  }
}

std::unique_ptr<PlaceFacts> FactsOf(const GazetteerRecord& r, std::string themes) {
  auto facts = std::make_unique<PlaceFacts>();
  facts->Place = std::make_unique<quorvil::Place>();
  facts->Place->City = r.City;
  facts->Place->State = std::string(StateName(r.State));
  facts->Place->Country = std::string(kCountryName);
  facts->Center = std::make_unique<LonLatPt>(LonLatPt{r.Lon, r.Lat});
  facts->AvailableThemeMask = std::move(themes);
  facts->PlaceTypeId = r.Type;
  facts->Population = r.Population;
  return facts;
}

std::string FileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

void CheckMaxItems(int maxItems) {
  if (maxItems < 0) throw ClientFault("Parameter MaxItems must not be negative");
}

void CheckRect(const LonLatPt& ul, const LonLatPt& lr) {
  CheckPoint(ul, "upperleft");
  CheckPoint(lr, "lowerright");
  if (lr.Lon < ul.Lon || lr.Lat > ul.Lat) {
    throw ClientFault("lowerright must lie south-east of upperleft");
  }
}

}  // namespace

std::string Base64Encode(const std::uint8_t* data, std::size_t size) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.resize((size + 2) / 3 * 4);
  std::size_t o = 0, i = 0;
  for (; i + 2 < size; i += 3) {
    const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = kAlphabet[(v >> 6) & 63];
    out[o++] = kAlphabet[v & 63];
  }
  if (i < size) {
    const std::uint32_t v = (data[i] << 16) | (i + 1 < size ? data[i + 1] << 8 : 0);
    out[o++] = kAlphabet[(v >> 18) & 63];
    out[o++] = kAlphabet[(v >> 12) & 63];
    out[o++] = i + 1 < size ? kAlphabet[(v >> 6) & 63] : '=';
    out[o++] = '=';
  }
  return out;
}

std::string FaultEnvelope(std::string_view code, std::string_view message) {
  XmlWriter w;
  w.Raw(kEnvelopeOpen);
  w.Open("soap:Fault");
  w.Text("faultcode", code);
  w.Text("faultstring", message);
  w.Empty("detail");
  w.Close("soap:Fault");
  w.Raw(kEnvelopeClose);
  return std::move(w.Str());
}

// The sixteen operations; each reads its parameters and writes the fields of its result.
class MapService::Operations {
 public:
  using Handler = void (Operations::*)(const RequestReader&, XmlWriter&) const;
  struct Entry {
    std::string_view name;
    Handler handler;
  };

  explicit Operations(const MapService& service) : s_(service) {}

  static const std::array<Entry, 16>& Table() {
    static const std::array<Entry, 16> table = {{
        {"ConvertLonLatPtToNearestPlace", &Operations::ConvertLonLatPtToNearestPlace},
        {"ConvertLonLatPtToUtmPt", &Operations::ConvertLonLatPtToUtmPt},
        {"ConvertUtmPtToLonLatPt", &Operations::ConvertUtmPtToLonLatPt},
        {"ConvertPlaceToLonLatPt", &Operations::ConvertPlaceToLonLatPt},
        {"CountPlacesInRect", &Operations::CountPlacesInRect},
        {"GetAreaFromPt", &Operations::GetAreaFromPt},
        {"GetAreaFromRect", &Operations::GetAreaFromRect},
        {"GetAreaFromTileId", &Operations::GetAreaFromTileId},
        {"GetLatLonMetrics", &Operations::GetLatLonMetrics},
        {"GetPlaceFacts", &Operations::GetPlaceFacts},
        {"GetPlaceList", &Operations::GetPlaceList},
        {"GetPlaceListInRect", &Operations::GetPlaceListInRect},
        {"GetTheme", &Operations::GetTheme},
        {"GetTileMetaFromLonLatPt", &Operations::GetTileMetaFromLonLatPt},
        {"GetTileMetaFromTileId", &Operations::GetTileMetaFromTileId},
        {"GetTile", &Operations::GetTile},
    }};
    return table;
  }

 private:
  void ConvertLonLatPtToNearestPlace(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt p = r.Point("point");
    CheckPoint(p, "point");
    w.Escaped(s_.gazetteer_.NearestPlaceText(p.Lon, p.Lat));
  }

  void ConvertLonLatPtToUtmPt(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt p = r.Point("point");
    CheckPoint(p, "point");
    const UtmCoordinate utm = UtmForward({p.Lon, p.Lat});
    WriteUtmFields(w, {utm.Zone, utm.Easting, utm.Northing});
  }

  void ConvertUtmPtToLonLatPt(const RequestReader& r, XmlWriter& w) const {
    const UtmPt utm = r.Utm("utm");
    if (utm.Zone < kFirstUtmZone || utm.Zone > kLastUtmZone) {
      throw ClientFault("Parameter utm.Zone must be a UTM zone from 1 to 60");
    }
    if (std::fabs(utm.X - 500000.0) > 3.4e6 || std::fabs(utm.Y) > 1.0e7) {
      throw ClientFault("Parameter utm lies outside its zone");
    }
    const GeoPoint p = UtmInverse({utm.Zone, utm.X, utm.Y});
    w.Double("Lon", p.Lon);
    w.Double("Lat", p.Lat);
  }

  const GazetteerRecord& FindPlace(const quorvil::Place& place) const {
    const bool usa = place.Country.empty() || place.Country == kCountryName ||
                     place.Country == "USA" || place.Country == "US";
    const GazetteerRecord* record = usa ? s_.gazetteer_.Find(place.City, place.State) : nullptr;
    if (record == nullptr) {
      throw ClientFault("No place named '" + place.City +
                        (place.State.empty() ? "" : ", " + place.State) + "' is known");
    }
    return *record;
  }

  void ConvertPlaceToLonLatPt(const RequestReader& r, XmlWriter& w) const {
    const GazetteerRecord& record = FindPlace(r.PlaceParam("place"));
    w.Double("Lon", record.Lon);
    w.Double("Lat", record.Lat);
  }

  void CountPlacesInRect(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt ul = r.Point("upperleft"), lr = r.Point("lowerright");
    const PlaceType type = r.PlaceTypeParam("ptype");
    CheckRect(ul, lr);
    w.Raw(std::to_string(s_.gazetteer_.InRect(ul.Lon, ul.Lat, lr.Lon, lr.Lat, type).size()));
  }

  void Finish(AreaBoundingBox& area) const {
    const LonLatPt& c = *area.Center->Offset->Point;
    area.NearestPlace = s_.gazetteer_.NearestPlaceText(c.Lon, c.Lat);
    const Theme theme = area.Center->TileMeta->Id->Theme;
    for (Theme other : {Theme::Photo, Theme::Topo}) {
      if (other == theme || !s_.Holds(other, c.Lon, c.Lat)) continue;
      auto info = std::make_unique<OverlappingThemeInfo>();
      info->LocalTheme = false;
      info->Theme = other;
      info->Point = std::make_unique<LonLatPt>(c);
      info->ThemeName = ThemeDisplayName(other);
      info->Capture = std::make_unique<TXSDateTime>(TXSDateTime{kCaptureDate});
      info->ProjectionId = ProjectionType::UtmNad83;
      info->LoScale = LowestScale(other);
      info->HiScale = HighestScale(other);
      area.OverlappingThemeInfos.push_back(std::move(info));
    }
  }

  void GetAreaFromPt(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt center = r.Point("center");
    const Theme theme = r.ThemeParam("theme");
    const Scale scale = r.ScaleParam("scale");
    const int width = r.IntParam("displayPixWidth");
    const int height = r.IntParam("displayPixHeight");
    auto area = s_.grid_.AreaFromPt(center, theme, scale, width, height);
    s_.SettleExistence(*area);
    Finish(*area);
    WriteAreaFields(w, *area);
  }

  void GetAreaFromRect(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt ul = r.Point("upperLeft"), lr = r.Point("lowerRight");
    const Theme theme = r.ThemeParam("theme");
    const Scale scale = r.ScaleParam("scale");
    auto area = s_.grid_.AreaFromRect(ul, lr, theme, scale);
    s_.SettleExistence(*area);
    Finish(*area);
    WriteAreaFields(w, *area);
  }

  void GetAreaFromTileId(const RequestReader& r, XmlWriter& w) const {
    const TileId id = r.Tile("id");
    const int width = r.IntParam("displayPixWidth");
    const int height = r.IntParam("displayPixHeight");
    auto area = s_.grid_.AreaFromTileId(id, width, height);
    s_.SettleExistence(*area);
    Finish(*area);
    WriteAreaFields(w, *area);
  }

  void GetLatLonMetrics(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt p = r.Point("point");
    CheckPoint(p, "point");
    const int zone = UtmZoneOf(p.Lon);
    for (Theme theme : {Theme::Photo, Theme::Topo}) {
      if (!s_.Holds(theme, p.Lon, p.Lat)) continue;
      ThemeBoundingBox box;
      box.Theme = theme;
      box.ThemeName = ThemeDisplayName(theme);
      box.LoScale = LowestScale(theme);
      box.HiScale = HighestScale(theme);
      box.ProjectionId = ProjectionType::UtmNad83;
      box.ProjectionName = "UTM NAD 83";
      box.WestLongitude = UtmCentralMeridian(zone) - 3;
      box.EastLongitude = UtmCentralMeridian(zone) + 3;
      box.NorthLatitude = 84;
      box.SouthLatitude = -80;
      if (const GdalRaster* raster = s_.Raster(theme)) {
        const GeoBounds& b = raster->Bounds();
        box.WestLongitude = b.West;
        box.EastLongitude = b.East;
        box.NorthLatitude = b.North;
        box.SouthLatitude = b.South;
      }
      w.Open("ThemeBoundingBox");
      WriteThemeBoundingBoxFields(w, box);
      w.Close("ThemeBoundingBox");
    }
  }

  void GetPlaceFacts(const RequestReader& r, XmlWriter& w) const {
    const GazetteerRecord& record = FindPlace(r.PlaceParam("place"));
    WritePlaceFactsFields(w, *FactsOf(record, AvailableThemes(record.Lon, record.Lat)));
  }

  // The themes with imagery at the point, as the service's mask text.
  std::string AvailableThemes(double lon, double lat) const {
    std::string themes;
    for (Theme theme : {Theme::Photo, Theme::Topo}) {
      if (!s_.Holds(theme, lon, lat)) continue;
      if (!themes.empty()) themes += ' ';
      themes += EnumName(theme);
    }
    return themes;
  }

  void WriteFactsList(XmlWriter& w, const std::vector<const GazetteerRecord*>& records) const {
    for (const GazetteerRecord* record : records) {
      w.Open("PlaceFacts");
      WritePlaceFactsFields(w, *FactsOf(*record, AvailableThemes(record->Lon, record->Lat)));
      w.Close("PlaceFacts");
    }
  }

  void GetPlaceList(const RequestReader& r, XmlWriter& w) const {
    const std::string name = r.StringParam("placeName");
    const int maxItems = r.IntParam("MaxItems");
    const bool imagePresence = r.BoolParam("imagePresence");
    CheckMaxItems(maxItems);
    // A blank name matches no place: an empty list, as for a name the gazetteer lacks.
    if (name.find_first_not_of(" \t\r\n") == std::string::npos) return;
    std::function<bool(const GazetteerRecord&)> accept;
    if (imagePresence) {
      accept = [this](const GazetteerRecord& g) { return !AvailableThemes(g.Lon, g.Lat).empty(); };
    }
    WriteFactsList(w, s_.gazetteer_.Search(name, static_cast<std::size_t>(maxItems), accept));
  }

  void GetPlaceListInRect(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt ul = r.Point("upperleft"), lr = r.Point("lowerright");
    const PlaceType type = r.PlaceTypeParam("ptype");
    const int maxItems = r.IntParam("MaxItems");
    CheckRect(ul, lr);
    CheckMaxItems(maxItems);
    auto records = s_.gazetteer_.InRect(ul.Lon, ul.Lat, lr.Lon, lr.Lat, type);
    if (records.size() > static_cast<std::size_t>(maxItems)) records.resize(maxItems);
    WriteFactsList(w, records);
  }

  void GetTheme(const RequestReader& r, XmlWriter& w) const {
    const Theme theme = r.ThemeParam("theme");
    if (!s_.Serves(theme)) {
      throw ClientFault("Theme " + std::string(EnumName(theme)) + " is not served here");
    }
    ThemeInfo info;
    info.Theme = theme;
    info.Name = ThemeDisplayName(theme);
    info.Description = theme == Theme::Photo
                           ? "Synthetic aerial photographs, 200 x 200 pixel JPEG tiles"
                           : "Synthetic topographic maps, 200 x 200 pixel GIF tiles";
    info.Supplier = "Quorvil local map service";
    info.LoScale = LowestScale(theme);
    info.HiScale = HighestScale(theme);
    info.ProjectionId = ProjectionType::UtmNad83;
    info.ProjectionName = "UTM NAD 83";
    info.CopyrightNotice = "Generated imagery; place names from GeoNames (CC BY 4.0)";
    if (const GdalRaster* raster = s_.Raster(theme)) {
      char resolution[32];
      std::snprintf(resolution, sizeof resolution, "%.3g", raster->MetresPerPixel());
      const std::string file = FileNameOf(raster->Path());
      info.Description = (theme == Theme::Photo ? "Aerial photographs" : "Topographic maps") +
                         std::string(" from ") + file + " at " + resolution +
                         " m per pixel, 200 x 200 pixel " +
                         (theme == Theme::Photo ? "JPEG" : "GIF") + " tiles";
      info.CopyrightNotice = "Imagery from " + file + "; place names from GeoNames (CC BY 4.0)";
      if (!s_.imagery_->Supplier().empty()) {
        info.Supplier = s_.imagery_->Supplier();
        info.CopyrightNotice = s_.imagery_->Notice();
      }
    }
    WriteThemeInfoFields(w, info);
  }

  void GetTileMetaFromLonLatPt(const RequestReader& r, XmlWriter& w) const {
    const LonLatPt p = r.Point("point");
    const Theme theme = r.ThemeParam("theme");
    const Scale scale = r.ScaleParam("scale");
    const auto meta = s_.grid_.MetaFromPoint(p, theme, scale);
    s_.SettleExistence(*meta);
    WriteTileMetaFields(w, *meta);
  }

  void GetTileMetaFromTileId(const RequestReader& r, XmlWriter& w) const {
    const auto meta = s_.grid_.MetaFromId(r.Tile("id"));
    s_.SettleExistence(*meta);
    WriteTileMetaFields(w, *meta);
  }

  void GetTile(const RequestReader& r, XmlWriter& w) const { w.Raw(*s_.TileBase64(r.Tile("id"))); }

  const MapService& s_;
};

MapService::MapService(Options options, std::shared_ptr<const GdalImagery> imagery)
    : options_(options),
      imagery_(std::move(imagery)),
      gazetteer_(Gazetteer::Instance()),
      grid_(options.coverage),
      terrain_(gazetteer_),
      renderer_(terrain_),
      cache_(options.tileCacheBytes) {}

const GdalRaster* MapService::Raster(Theme theme) const {
  return imagery_ ? imagery_->Raster(theme) : nullptr;
}

bool MapService::Serves(Theme theme) const {
  return imagery_ ? imagery_->HasTheme(theme) : ThemeServed(theme);
}

bool MapService::Holds(Theme theme, double lon, double lat) const {
  if (imagery_) return imagery_->Holds(theme, lon, lat);
  return ThemeServed(theme) && CoverageHolds(grid_.Coverage(), lon, lat);
}

void MapService::SettleExistence(TileMeta& meta) const {
  if (imagery_) meta.TileExists = !TileBase64(*meta.Id)->empty();
}

void MapService::SettleExistence(AreaBoundingBox& area) const {
  for (AreaCoordinate* corner : {area.NorthWest.get(), area.NorthEast.get(), area.SouthWest.get(),
                                 area.SouthEast.get(), area.Center.get()}) {
    SettleExistence(*corner->TileMeta);
  }
}

std::shared_ptr<const std::string> MapService::TileBase64(const TileId& id) const {
  static const auto kNone = std::make_shared<const std::string>();
  TileGrid::CheckTileId(id);
  if (imagery_ ? !ThemeHasScale(id.Theme, id.Scale) : !grid_.TileExists(id)) return kNone;
  if (TileCache::Value cached = cache_.Find(id)) return cached;
  if (imagery_ && tGate != nullptr && *tGate && !(*tGate)()) throw EDatasetWork();
  const std::vector<std::uint8_t> file =
      imagery_ ? imagery_->TileFile(id) : renderer_.RenderTileFile(id);
  auto text = std::make_shared<const std::string>(Base64Encode(file.data(), file.size()));
  cache_.Put(id, text);
  return text;
}

SoapReply MapService::Handle(std::string_view soapAction, std::string_view body,
                             const DatasetGate& gate) const {
  struct Gated {
    explicit Gated(const DatasetGate& gate) { tGate = &gate; }
    ~Gated() { tGate = nullptr; }
  } gated(gate);
  try {
    pugi::xml_document doc;
    LoadRequestXml(doc, body);
    const pugi::xml_node envelope = doc.document_element();
    if (LocalName(envelope) != "Envelope" || NamespaceOf(envelope) != kSoapEnvelopeNamespace) {
      throw ClientFault("The request is not a SOAP 1.1 envelope");
    }
    const pugi::xml_node soapBody = ChildByLocalName(envelope, "Body");
    pugi::xml_node operation;
    for (pugi::xml_node n = soapBody.first_child(); n; n = n.next_sibling()) {
      if (n.type() == pugi::node_element) {
        operation = n;
        break;
      }
    }
    if (!operation) throw ClientFault("The SOAP body holds no operation");
    std::string_view action = soapAction;
    if (action.size() >= 2 && action.front() == '"' && action.back() == '"') {
      action = action.substr(1, action.size() - 2);
    }
    std::string_view name = LocalName(operation);
    if (!action.empty()) {
      if (!action.starts_with(kTerraServiceNamespace)) {
        throw ClientFault("Server did not recognize the value of HTTP Header SOAPAction: " +
                          std::string(action));
      }
      const std::string_view actionName = action.substr(kTerraServiceNamespace.size());
      if (actionName != name) {
        throw ClientFault("SOAPAction names " + std::string(actionName) + " but the body holds " +
                          std::string(name));
      }
    }
    if (NamespaceOf(operation) != kTerraServiceNamespace) {
      throw ClientFault("The operation element " + std::string(name) + " is not in namespace " +
                        std::string(kTerraServiceNamespace));
    }
    const Operations ops(*this);
    for (const Operations::Entry& entry : Operations::Table()) {
      if (entry.name != name) continue;
      XmlWriter w;
      w.Raw(kEnvelopeOpen);
      const std::string response = std::string(name) + "Response";
      const std::string result = std::string(name) + "Result";
      w.OpenWithNamespace(response, kTerraServiceNamespace);
      w.Open(result);
      (ops.*entry.handler)(RequestReader(operation), w);
      w.Close(result);
      w.Close(response);
      w.Raw(kEnvelopeClose);
      return {200, std::move(w.Str())};
    }
    throw ClientFault("Unknown operation: " + std::string(name));
  } catch (const EImageryError& e) {
    if (log_ && !e.Detail().empty()) log_(e.Detail());
    return {500, FaultEnvelope("soap:Server", e.what())};
  } catch (const EQuorvilError& e) {
    return {500, FaultEnvelope("soap:Client", e.what())};
  } catch (const std::exception& e) {
    return {500, FaultEnvelope("soap:Server", std::string("Server error: ") + e.what())};
  }
}

std::string MapService::Wsdl(std::string_view endpoint) const { return BuildWsdl(endpoint); }

}  // namespace quorvil::mapservice
