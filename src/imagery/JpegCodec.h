#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "imagery/Bitmap24.h"

namespace quorvil {

// Largest picture the decoders accept, so that a hostile header cannot ask for gigabytes.
inline constexpr std::int64_t kMaxDecodedPixels = 100'000'000;

// What a decoder demands of a picture beyond being well-formed. Both are checked before
// any pixel is stored.
struct TPictureDemand {
  int Width = 0;  // the exact size wanted; 0 x 0: any size up to kMaxDecodedPixels
  int Height = 0;
  bool Intact = false;  // damage that libjpeg only warns about (a cut-off file) fails too
};

// "the picture is 5000 x 5000 pixels, not 200 x 200" when the size is not the one
// demanded, else empty.
std::string PictureSizeFault(const TPictureDemand& demand, std::int64_t width, std::int64_t height);

// Decodes a JPEG file (colour or greyscale) into a 24-bit picture. Throws EQuorvilError
// naming what is wrong; libjpeg never ends the process.
TBitmap24 DecodeJpeg(const std::uint8_t* data, std::size_t size, const TPictureDemand& demand = {});

// Encodes a picture as a baseline JPEG file at `quality` (1..100).
std::vector<std::uint8_t> EncodeJpeg(const TBitmap24& bitmap, int quality);

// The same, written to the stream as it is encoded, so that a large picture needs no
// copy of its file in memory. A failing stream is left failed for the caller to see.
void EncodeJpegToStream(const TBitmap24& bitmap, int quality, std::ostream& out);

}  // namespace quorvil
