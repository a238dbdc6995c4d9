#pragma once

#include <cstdint>
#include <random>

#include "imagery/Bitmap24.h"

namespace quorvil::testing {

// A picture of pseudo-random bytes: every byte differs from its neighbours, so a copy
// that is off by one byte or one row shows.
inline TBitmap24 Pattern(int width, int height, unsigned seed) {
  TBitmap24 picture(width, height);
  std::mt19937 random(seed);
  for (std::int64_t i = 0; i < picture.ByteCount(); ++i) {
    picture.Data()[i] = static_cast<std::uint8_t>(random());
  }
  return picture;
}

}  // namespace quorvil::testing
