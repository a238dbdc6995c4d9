#pragma once

// The TerraService operations over SOAP 1.1, document/literal: a request body goes in,
// the answer (or a SOAP Fault) comes out, as an ASP.NET .asmx service would send it.
// Thread-safe: one instance serves all connections.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "mapservice/Coverage.h"
#include "mapservice/Gazetteer.h"
#include "mapservice/GdalImagery.h"
#include "mapservice/Terrain.h"
#include "mapservice/TileCache.h"
#include "mapservice/TileGrid.h"
#include "mapservice/TileRenderer.h"

namespace quorvil::mapservice {

// Request bodies above this size are refused before they are read.
inline constexpr std::size_t kMaxRequestBytes = 1 << 20;
inline constexpr std::int64_t kDefaultTileCacheBytes = 64ll << 20;

// Thrown by Handle() when the request needs the user's datasets (a tile that is not
// cached, made from them) and its gate does not let it read them.
struct EDatasetWork {};

// Asked before a request reads the user's datasets: whether it may, now.
using DatasetGate = std::function<bool()>;

struct SoapReply {
  int status = 200;
  std::string body;
};

class MapService {
 public:
  struct Options {
    CoverageKind coverage = CoverageKind::World;
    std::int64_t tileCacheBytes = kDefaultTileCacheBytes;
  };

  // With `imagery`, the tiles come from the user's own datasets; without, from the
  // synthetic land, where `coverage` says.
  explicit MapService(Options options, std::shared_ptr<const GdalImagery> imagery = nullptr);

  // `soapAction` is the SOAPAction header (quotes allowed), empty when absent; the
  // operation then comes from the body element. With a gate that says no, a request that
  // needs the user's datasets throws EDatasetWork instead. `log` hears the whole text of
  // a fault whose answer leaves details out.
  SoapReply Handle(std::string_view soapAction, std::string_view body,
                   const DatasetGate& gate = {}) const;
  void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }

  // The WSDL document for a service listening at `endpoint`.
  std::string Wsdl(std::string_view endpoint) const;

  // The Base64 text of a tile's image file; empty where the service has no imagery.
  // Shared with the tile cache, so that an answer copies it only into its envelope.
  std::shared_ptr<const std::string> TileBase64(const TileId& id) const;

  // Whether the service has imagery of the theme at the point.
  bool Holds(Theme theme, double lon, double lat) const;

  const TileGrid& Grid() const { return grid_; }
  const Gazetteer& Places() const { return gazetteer_; }
  TileCache& Cache() const { return cache_; }

 private:
  class Operations;

  bool Serves(Theme theme) const;
  // The theme's dataset among the user's own, or null.
  const GdalRaster* Raster(Theme theme) const;
  // Real imagery knows whether a tile exists only from its pixels.
  void SettleExistence(TileMeta& meta) const;
  void SettleExistence(AreaBoundingBox& area) const;

  Options options_;
  std::shared_ptr<const GdalImagery> imagery_;
  const Gazetteer& gazetteer_;
  TileGrid grid_;
  Terrain terrain_;
  TileRenderer renderer_;
  mutable TileCache cache_;
  std::function<void(const std::string&)> log_;
};

std::string Base64Encode(const std::uint8_t* data, std::size_t size);
// The SOAP 1.1 Fault envelope.
std::string FaultEnvelope(std::string_view code, std::string_view message);

}  // namespace quorvil::mapservice
