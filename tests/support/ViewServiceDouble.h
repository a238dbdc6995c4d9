#pragma once

// A map service double for the main window: every tile exists and has a colour of its
// own (photographs as JPEG, topographic maps as GIF), tile records describe a regular
// grid of 0.01-degree tiles, answers can be delayed, and each GetTile can run a hook. It
// may be called from worker threads.

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "imagery/Bitmap24.h"
#include "imagery/ImageSupport.h"
#include "imagery/JpegCodec.h"
#include "support/FakeTerraService.h"
#include "support/GifWriter.h"

namespace quorvil::testing {

// The grid of the double's tile records: tile (X, Y) spans X..X+1 hundredths of a degree
// of longitude and Y..Y+1 of latitude, so one of its 200 pixels is this wide.
inline constexpr double kGridTileDegrees = 0.01;
inline constexpr double kGridPixelDegrees = kGridTileDegrees / 200;

// The colour of a tile: never black, different for neighbours and for the two themes.
inline TColor TileColour(const TileId& id) {
  const auto r = static_cast<std::uint8_t>(40 + (id.X * 37 + id.Y * 11) % 200);
  const auto g = static_cast<std::uint8_t>(40 + (id.Y * 53 + id.X * 7) % 200);
  const auto b = static_cast<std::uint8_t>(id.Theme == Theme::Topo ? 230 : 20);
  return RgbColor(r, g, b);
}

struct TAreaRequest {
  Theme theme;
  Scale scale;
  int width;
  int height;
};

class TViewServiceDouble : public TFakeTerraService {
 public:
  // Milliseconds every GetAreaFromPt waits before it answers.
  std::atomic<int> areaDelayMs{0};
  // Whether the tile records report their tiles as existing.
  std::atomic<bool> tilesExist{true};
  // Run at the start of each GetTile, with the number of tiles asked for so far.
  std::function<void(const TileId&, int)> onTile;
  // Tiles GetTile answers with nothing: the service has no imagery there.
  std::vector<TileId> missingTiles;
  // Changes every area GetAreaFromPt answers, as a faulty or hostile service would.
  std::function<void(AreaBoundingBox&)> alterArea;

  std::vector<TAreaRequest> AreaRequests() {
    std::lock_guard lock(mutex_);
    return areaRequests_;
  }
  int TileCalls() {
    std::lock_guard lock(mutex_);
    return tileCalls_;
  }
  int Calls(const std::string& operation) {
    std::lock_guard lock(mutex_);
    return CallCount(operation);
  }

  static TileMeta MetaOf(const TileId& id, bool exists) {
    TileMeta meta;
    meta.Id = std::make_unique<TileId>(id);
    meta.TileExists = exists;
    const double west = id.X * kGridTileDegrees, south = id.Y * kGridTileDegrees;
    meta.NorthWest = std::make_unique<LonLatPt>(LonLatPt{west, south + kGridTileDegrees});
    meta.SouthEast = std::make_unique<LonLatPt>(LonLatPt{west + kGridTileDegrees, south});
    meta.Center = std::make_unique<LonLatPt>(
        LonLatPt{west + kGridTileDegrees / 2, south + kGridTileDegrees / 2});
    return meta;
  }

  std::unique_ptr<AreaBoundingBox> GetAreaFromPt(const LonLatPt& center, Theme theme, Scale scale,
                                                 int width, int height) override {
    const int delay = areaDelayMs;
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    std::lock_guard lock(mutex_);
    areaRequests_.push_back({theme, scale, width, height});
    auto area = TFakeTerraService::GetAreaFromPt(center, theme, scale, width, height);
    *area->Center->TileMeta = MetaOf(*area->Center->TileMeta->Id, tilesExist);
    if (alterArea) alterArea(*area);
    return area;
  }

  std::unique_ptr<TileMeta> GetTileMetaFromTileId(const TileId& id) override {
    {
      std::lock_guard lock(mutex_);
      TFakeTerraService::GetTileMetaFromTileId(id);
    }
    return std::make_unique<TileMeta>(MetaOf(id, tilesExist));
  }

  std::string ConvertLonLatPtToNearestPlace(const LonLatPt& point) override {
    std::lock_guard lock(mutex_);
    return TFakeTerraService::ConvertLonLatPtToNearestPlace(point);
  }

  std::string GetTile(const TileId& id) override {
    int count;
    {
      std::lock_guard lock(mutex_);
      count = ++tileCalls_;
      calls.push_back("GetTile");
      tileRequests.push_back(TileName(id));
    }
    if (onTile) onTile(id, count);
    std::lock_guard lock(mutex_);
    if (auto failing = tileFailures.find(TileName(id));
        failing != tileFailures.end() && failing->second-- > 0) {
      throw EQuorvilError(failureMessage);
    }
    for (const TileId& missing : missingTiles) {
      if (TileName(missing) == TileName(id)) return {};
    }
    return EncodeBase64(TileFile(id));
  }

  static std::vector<std::uint8_t> TileFile(const TileId& id) {
    const TColor colour = TileColour(id);
    const auto r = static_cast<std::uint8_t>(colour), g = static_cast<std::uint8_t>(colour >> 8),
               b = static_cast<std::uint8_t>(colour >> 16);
    if (id.Theme == Theme::Topo) return SolidGifTile(r, g, b);
    TBitmap24 tile(200, 200);
    FillBitmap(tile, colour);
    return EncodeJpeg(tile, 90);
  }

 private:
  std::mutex mutex_;
  std::vector<TAreaRequest> areaRequests_;
  int tileCalls_ = 0;
};

}  // namespace quorvil::testing
