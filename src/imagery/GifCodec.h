#pragma once

#include <cstddef>
#include <cstdint>

#include "imagery/Bitmap24.h"
#include "imagery/JpegCodec.h"

namespace quorvil {

// Decodes the first image of a GIF file (87a or 89a) into a picture of the file's
// logical screen size. The image takes its local colour table, else the global one;
// interlaced images are put back in row order; an image that reaches past the screen
// is clipped to it. Pixels the image does not cover, and its transparent pixels, show
// the screen's background colour (black without a global table). With a size demanded,
// the screen must have it and the image must fit in it. Throws EQuorvilError naming
// what is wrong.
TBitmap24 DecodeGif(const std::uint8_t* data, std::size_t size, const TPictureDemand& demand = {});

}  // namespace quorvil
