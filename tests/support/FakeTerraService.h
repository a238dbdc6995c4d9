#pragma once

// An in-memory TerraServiceSoap: tiles by name, scripted failures, and a record of
// every call, so that tests see what the code under test asked for. Calls may come from
// several threads at once (the store's download workers); the records are read by the
// test once the calls are over.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ProgramError.h"
#include "service/SoapEnvelope.h"
#include "service/TerraServiceSoapSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil::testing {

std::string EncodeBase64(const std::vector<std::uint8_t>& bytes);

// An area whose north-west corner lies in tile (nwX, nwY) at pixel (nwXOffset,
// nwYOffset) and whose south-east corner lies in (seX, seY) at (seXOffset, seYOffset).
std::unique_ptr<AreaBoundingBox> MakeArea(int nwX, int nwY, int nwXOffset, int nwYOffset, int seX,
                                          int seY, int seXOffset = 0, int seYOffset = 0,
                                          Theme theme = Theme::Photo, Scale scale = Scale::Scale1m,
                                          int scene = 18);

class TFakeTerraService : public TerraServiceSoap {
 public:
  // The answer of GetTile by tile name (TileName); a missing tile answers "".
  std::map<std::string, std::string> tiles;
  // The next `failures` calls of any operation throw EQuorvilError(failureMessage).
  int failures = 0;
  std::string failureMessage = "Timeout";
  // GetTile of the named tile fails this many more times: with failureMessage, or as a
  // fault the server sends when tileFailureIsFault.
  std::map<std::string, int> tileFailures;
  bool tileFailureIsFault = false;
  // One entry per call: the operation's name.
  std::vector<std::string> calls;
  // Names of the tiles GetTile was asked for, in order.
  std::vector<std::string> tileRequests;
  // Arguments of the last call that took points.
  std::vector<LonLatPt> lastPoints;
  std::string lastPlaceName;
  // Runs in GetTile before it answers, outside the double's lock: a test holds a
  // download on the wire with it.
  std::function<void(const TileId&)> beforeTile;

  void SetTile(const TileId& id, const std::vector<std::uint8_t>& file) {
    tiles[TileName(id)] = EncodeBase64(file);
  }
  int CallCount(const std::string& operation) const;

  std::string ConvertLonLatPtToNearestPlace(const LonLatPt& point) override;
  std::unique_ptr<UtmPt> ConvertLonLatPtToUtmPt(const LonLatPt&) override { return Unused(); }
  std::unique_ptr<LonLatPt> ConvertUtmPtToLonLatPt(const UtmPt&) override { return Unused(); }
  std::unique_ptr<LonLatPt> ConvertPlaceToLonLatPt(const Place&) override { return Unused(); }
  int CountPlacesInRect(const LonLatPt&, const LonLatPt&, PlaceType) override { return Unused(); }
  std::unique_ptr<AreaBoundingBox> GetAreaFromPt(const LonLatPt& center, Theme theme, Scale scale,
                                                 int width, int height) override;
  std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                   const LonLatPt& lowerRight, Theme theme,
                                                   Scale scale) override;
  std::unique_ptr<AreaBoundingBox> GetAreaFromTileId(const TileId&, int, int) override {
    return Unused();
  }
  ArrayOfThemeBoundingBox GetLatLonMetrics(const LonLatPt&) override { return Unused(); }
  std::unique_ptr<PlaceFacts> GetPlaceFacts(const Place&) override { return Unused(); }
  ArrayOfPlaceFacts GetPlaceList(const std::string& placeName, int maxItems,
                                 bool imagePresence) override;
  ArrayOfPlaceFacts GetPlaceListInRect(const LonLatPt&, const LonLatPt&, PlaceType, int) override {
    return Unused();
  }
  std::unique_ptr<ThemeInfo> GetTheme(Theme) override { return Unused(); }
  std::unique_ptr<TileMeta> GetTileMetaFromLonLatPt(const LonLatPt&, Theme, Scale) override {
    return Unused();
  }
  std::unique_ptr<TileMeta> GetTileMetaFromTileId(const TileId& id) override;
  std::string GetTile(const TileId& id) override;

 private:
  void Enter(const std::string& operation);
  mutable std::mutex mutex_;
  // The program never calls these; a call is a fault of the code under test.
  struct TUnused {
    template <typename T>
    operator T() const {
      throw EQuorvilError("unexpected call of an operation the program does not use");
    }
  };
  static TUnused Unused() { return {}; }
};

// ---- Definitions ----------------------------------------------------------------------

inline std::string EncodeBase64(const std::vector<std::uint8_t>& bytes) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t chunk = (bytes[i] << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    text += alphabet[(chunk >> 18) & 63];
    text += alphabet[(chunk >> 12) & 63];
    text += i + 1 < bytes.size() ? alphabet[(chunk >> 6) & 63] : '=';
    text += i + 2 < bytes.size() ? alphabet[chunk & 63] : '=';
  }
  return text;
}

namespace detail {

inline std::unique_ptr<AreaCoordinate> MakeCorner(Theme theme, Scale scale, int scene, int x, int y,
                                                  int xOffset, int yOffset) {
  auto corner = std::make_unique<AreaCoordinate>();
  corner->TileMeta = std::make_unique<TileMeta>();
  corner->TileMeta->Id = std::make_unique<TileId>(TileId{theme, scale, scene, x, y});
  corner->TileMeta->TileExists = true;
  corner->TileMeta->NorthWest = std::make_unique<LonLatPt>(LonLatPt{1, 2});
  corner->TileMeta->SouthEast = std::make_unique<LonLatPt>(LonLatPt{3, 4});
  corner->Offset = std::make_unique<LonLatPtOffset>();
  corner->Offset->Point = std::make_unique<LonLatPt>(LonLatPt{5, 6});
  corner->Offset->XOffset = xOffset;
  corner->Offset->YOffset = yOffset;
  return corner;
}

}  // namespace detail

inline std::unique_ptr<AreaBoundingBox> MakeArea(int nwX, int nwY, int nwXOffset, int nwYOffset,
                                                 int seX, int seY, int seXOffset, int seYOffset,
                                                 Theme theme, Scale scale, int scene) {
  auto area = std::make_unique<AreaBoundingBox>();
  area->NorthWest = detail::MakeCorner(theme, scale, scene, nwX, nwY, nwXOffset, nwYOffset);
  area->NorthEast = detail::MakeCorner(theme, scale, scene, seX, nwY, seXOffset, nwYOffset);
  area->SouthWest = detail::MakeCorner(theme, scale, scene, nwX, seY, nwXOffset, seYOffset);
  area->SouthEast = detail::MakeCorner(theme, scale, scene, seX, seY, seXOffset, seYOffset);
  area->Center =
      detail::MakeCorner(theme, scale, scene, (nwX + seX) / 2, (nwY + seY) / 2, 100, 100);
  area->NearestPlace = "Somewhere, NY";
  return area;
}

inline int TFakeTerraService::CallCount(const std::string& operation) const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(std::count(calls.begin(), calls.end(), operation));
}

// Under the lock.
inline void TFakeTerraService::Enter(const std::string& operation) {
  calls.push_back(operation);
  if (failures > 0) {
    --failures;
    throw EQuorvilError(failureMessage);
  }
}

inline std::string TFakeTerraService::ConvertLonLatPtToNearestPlace(const LonLatPt& point) {
  std::lock_guard lock(mutex_);
  lastPoints = {point};
  Enter("ConvertLonLatPtToNearestPlace");
  return "near " + std::to_string(point.Lon) + "," + std::to_string(point.Lat);
}

inline std::unique_ptr<AreaBoundingBox> TFakeTerraService::GetAreaFromPt(const LonLatPt& center,
                                                                         Theme theme, Scale scale,
                                                                         int width, int height) {
  std::lock_guard lock(mutex_);
  lastPoints = {center};
  Enter("GetAreaFromPt");
  const int x = static_cast<int>(center.Lon), y = static_cast<int>(center.Lat);
  return MakeArea(x, y, 0, 0, x + (width - 1) / 200, y - (height - 1) / 200, (width - 1) % 200,
                  (height - 1) % 200, theme, scale);
}

inline std::unique_ptr<AreaBoundingBox> TFakeTerraService::GetAreaFromRect(
    const LonLatPt& upperLeft, const LonLatPt& lowerRight, Theme theme, Scale scale) {
  std::lock_guard lock(mutex_);
  lastPoints = {upperLeft, lowerRight};
  Enter("GetAreaFromRect");
  return MakeArea(static_cast<int>(upperLeft.Lon), static_cast<int>(upperLeft.Lat), 10, 20,
                  static_cast<int>(lowerRight.Lon), static_cast<int>(lowerRight.Lat), 30, 40, theme,
                  scale);
}

inline ArrayOfPlaceFacts TFakeTerraService::GetPlaceList(const std::string& placeName, int maxItems,
                                                         bool) {
  std::lock_guard lock(mutex_);
  lastPlaceName = placeName;
  Enter("GetPlaceList");
  ArrayOfPlaceFacts list;
  for (int i = 0; i < std::min(maxItems, 2); ++i) {
    auto facts = std::make_unique<PlaceFacts>();
    facts->Place = std::make_unique<Place>(Place{placeName, "NY", "USA"});
    facts->Center = std::make_unique<LonLatPt>(LonLatPt{-73.0 - i, 40.0});
    list.push_back(std::move(facts));
  }
  return list;
}

inline std::unique_ptr<TileMeta> TFakeTerraService::GetTileMetaFromTileId(const TileId& id) {
  std::lock_guard lock(mutex_);
  Enter("GetTileMetaFromTileId");
  auto meta = std::make_unique<TileMeta>();
  meta->Id = std::make_unique<TileId>(id);
  meta->TileExists = true;
  return meta;
}

inline std::string TFakeTerraService::GetTile(const TileId& id) {
  if (beforeTile) beforeTile(id);
  std::lock_guard lock(mutex_);
  const std::string name = TileName(id);
  tileRequests.push_back(name);
  Enter("GetTile");
  if (auto failing = tileFailures.find(name);
      failing != tileFailures.end() && failing->second > 0) {
    --failing->second;
    if (tileFailureIsFault) throw ESoapFault(failureMessage, "soap:Server");
    throw EQuorvilError(failureMessage);
  }
  const auto it = tiles.find(name);
  return it == tiles.end() ? std::string() : it->second;
}

}  // namespace quorvil::testing
