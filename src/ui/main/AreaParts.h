#pragma once

// The parts of a map area that a view must draw again after a pan or a resize: the
// tiles that touch pixels which the moved picture does not already hold.

#include <cstdint>
#include <memory>
#include <vector>

#include "imagery/ImageSupport.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// The pixels of the area's picture that the index-th tile in drawing order covers (rows
// from north to south, west to east within a row).
TPixelArea AreaTileArea(const AreaBoundingBox& area, std::int64_t index);

// Areas that hold, between them once each, every tile of `area` that touches a pixel of
// its width x height picture outside `kept`; each draws its tiles where the whole area
// draws them. An empty `kept` gives the whole area as one part.
std::vector<std::unique_ptr<AreaBoundingBox>> MissingAreaParts(const AreaBoundingBox& area,
                                                               int width, int height,
                                                               const TPixelArea& kept);

}  // namespace quorvil
