#pragma once

// The user's own imagery: aerial photographs and topographic maps from raster datasets
// that GDAL reads, cut into the service's tiles. Photograph tiles are JPEGs, topographic
// tiles palette GIFs; ground a dataset does not cover is white, and a tile without one
// covered pixel has no image at all.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mapservice/GdalRaster.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

// The dataset of each theme; an empty text: none. With a supplier, its credit, which the
// service tells in its themes' descriptions.
struct ImageryPaths {
  std::string Photo;
  std::string Topo;
  std::string Supplier;
  std::string Notice;
  bool Empty() const { return Photo.empty() && Topo.empty(); }
};

// Removes --photo DATASET and --topo DATASET from the command line and returns them.
// Throws EQuorvilError when an option lacks its dataset or comes twice.
ImageryPaths TakeImageryOptions(std::vector<std::string>& args);

class GdalImagery {
 public:
  // Opens every named dataset; throws EImageryError naming the one that fails.
  explicit GdalImagery(const ImageryPaths& paths);

  // The theme's dataset, or null when it has none.
  const GdalRaster* Raster(Theme theme) const;
  bool HasTheme(Theme theme) const { return Raster(theme) != nullptr; }
  // Who supplies the imagery and under which terms; empty when unknown.
  const std::string& Supplier() const { return supplier_; }
  const std::string& Notice() const { return notice_; }
  // Whether the theme's dataset holds a valid pixel at the point.
  bool Holds(Theme theme, double lon, double lat) const;

  // The tile's image file; empty when the tile has no covered pixel. Throws
  // EImageryError when GDAL cannot read the dataset there.
  std::vector<std::uint8_t> TileFile(const TileId& id) const;

 private:
  std::unique_ptr<GdalRaster> photo_, topo_;
  std::string supplier_, notice_;
};

}  // namespace quorvil::mapservice
