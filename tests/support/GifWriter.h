#pragma once

// Writes GIF files with giflib's encoder, for tests and benchmarks that need tiles the
// map service would send.

#include <gif_lib.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace quorvil::testing {

struct TGifPicture {
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

inline std::vector<std::uint8_t> EncodeGif(const TGifPicture& gif) {
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
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(gif.palette.size()), gif.palette.data());
  bool ok = EGifPutScreenDesc(file, gif.screenWidth, gif.screenHeight, 8, gif.background,
                              gif.localTable ? nullptr : map) == GIF_OK;
  if (ok && gif.transparent >= 0) {
    const GifByteType control[4] = {0x01, 0, 0, static_cast<GifByteType>(gif.transparent)};
    ok = EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
  }
  ok = ok && EGifPutImageDesc(file, gif.left, gif.top, gif.width, gif.height, gif.interlace,
                              gif.localTable ? map : nullptr) == GIF_OK;
  std::vector<int> rows;
  if (gif.interlace) {
    for (int pass = 0; pass < 4; ++pass) {
      static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      for (int y = kStart[pass]; y < gif.height; y += kStep[pass]) rows.push_back(y);
    }
  } else {
    for (int y = 0; y < gif.height; ++y) rows.push_back(y);
  }
  for (const int y : rows) {
    if (!ok) break;
    std::vector<GifPixelType> line(gif.pixels.begin() + y * gif.width,
                                   gif.pixels.begin() + (y + 1) * gif.width);
    ok = EGifPutLine(file, line.data(), gif.width) == GIF_OK;
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(file, &error) != GIF_OK || !ok) throw std::runtime_error("EGif failed");
  return out;
}

// A 200 x 200 tile of one colour, as a GIF with a global table of two colours.
inline std::vector<std::uint8_t> SolidGifTile(std::uint8_t red, std::uint8_t green,
                                              std::uint8_t blue, int size = 200) {
  TGifPicture gif;
  gif.screenWidth = gif.width = size;
  gif.screenHeight = gif.height = size;
  gif.palette = {{0, 0, 0}, {red, green, blue}};
  gif.pixels.assign(static_cast<std::size_t>(size) * size, 1);
  return EncodeGif(gif);
}

}  // namespace quorvil::testing
