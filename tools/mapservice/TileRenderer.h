#pragma once

// Turns the terrain under a tile into the tile's image file: a colour JPEG for the
// aerial photograph, a palette GIF with contour lines for the topographic map.

#include <cstdint>
#include <vector>

#include "imagery/Bitmap24.h"
#include "mapservice/Terrain.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

inline constexpr int kPhotoJpegQuality = 75;

// The photograph of a tile: colours of the ground lit from the north-west.
TBitmap24 RenderPhoto(const GroundTile& ground);

// The topographic map of a tile as palette indices (row-major, 200 x 200) into
// TopoPalette().
std::vector<std::uint8_t> RenderTopo(const GroundTile& ground);
// Red, green, blue triples.
const std::vector<std::uint8_t>& TopoPalette();

// GIF87a-compatible file of a palette picture (palette of 2..256 colours, one byte per
// pixel). Throws EQuorvilError when giflib fails.
std::vector<std::uint8_t> EncodeGif(const std::vector<std::uint8_t>& indices, int width, int height,
                                    const std::vector<std::uint8_t>& palette);

class TileRenderer {
 public:
  explicit TileRenderer(const Terrain& terrain) : terrain_(terrain) {}
  // The image file of a tile of theme Photo or Topo.
  std::vector<std::uint8_t> RenderTileFile(const TileId& id) const;

 private:
  const Terrain& terrain_;
};

}  // namespace quorvil::mapservice
