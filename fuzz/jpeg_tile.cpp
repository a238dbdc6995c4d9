// The JPEG decoder of photograph tiles.

#include "FuzzSupport.h"
#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const TBitmap24 picture = DecodeJpeg(data, size);
    fuzz::Check(picture.Width() > 0 && picture.Height() > 0, "an empty picture decoded");
  } catch (const EQuorvilError&) {
  }
  return 0;
}
