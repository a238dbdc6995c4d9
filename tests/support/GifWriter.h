#pragma once

// Writes GIF files with giflib's encoder, for tests and benchmarks that need tiles the
// map service would send.

#include <gif_lib.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace quorvil::testing {

struct TGifSpec {
  int screenWidth = 0;
  int screenHeight = 0;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool interlace = false;
  bool localTable = false;  // the palette as the image's own table, no global one
  int transparent = -1;
  int background = 0;
  std::vector<GifColorType> palette;  // a power of two of entries, 2..256
  std::vector<std::uint8_t> pixels;   // width * height colour indexes, top row first
};

inline std::vector<std::uint8_t> EncodeGif(const TGifSpec& spec) {
  std::vector<std::uint8_t> out;
  const auto write = [](GifFileType* file, const GifByteType* data, int count) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(file->UserData);
    bytes->insert(bytes->end(), data, data + count);
    return count;
  };
  int error = 0;
  GifFileType* file = EGifOpen(&out, write, &error);
  if (file == nullptr) throw std::runtime_error("EGifOpen failed");
  EGifSetGifVersion(file, true);
  ColorMapObject* map =
      GifMakeMapObject(static_cast<int>(spec.palette.size()), spec.palette.data());
  bool ok = EGifPutScreenDesc(file, spec.screenWidth, spec.screenHeight, 8, spec.background,
                              spec.localTable ? nullptr : map) == GIF_OK;
  if (ok && spec.transparent >= 0) {
    const GifByteType control[4] = {0x01, 0, 0, static_cast<GifByteType>(spec.transparent)};
    ok = EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(file, spec.left, spec.top, spec.width, spec.height, spec.interlace,
                              spec.localTable ? map : nullptr) == GIF_OK;
  std::vector<int> rows;
  if (spec.interlace) {
    for (int pass = 0; pass < 4; ++pass) {
      static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      for (int y = kStart[pass]; y < spec.height; y += kStep[pass]) rows.push_back(y);
    }
  } else {
    for (int y = 0; y < spec.height; ++y) rows.push_back(y);
  }
  for (const int y : rows) {
    if (!ok) break;
    std::vector<GifPixelType> line(spec.pixels.begin() + y * spec.width,
                                   spec.pixels.begin() + (y + 1) * spec.width);
    ok = EGifPutLine(file, line.data(), spec.width) == GIF_OK;
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(file, &error) != GIF_OK || !ok) throw std::runtime_error("EGif failed");
  return out;
}

// A 200 x 200 tile of one colour, as a GIF with a global table of two colours.
inline std::vector<std::uint8_t> SolidGifTile(std::uint8_t red, std::uint8_t green,
                                              std::uint8_t blue, int size = 200) {
  TGifSpec spec;
  spec.screenWidth = spec.width = size;
  spec.screenHeight = spec.height = size;
  spec.palette = {{0, 0, 0}, {red, green, blue}};
  spec.pixels.assign(static_cast<std::size_t>(size) * size, 1);
  return EncodeGif(spec);
}

}  // namespace quorvil::testing
