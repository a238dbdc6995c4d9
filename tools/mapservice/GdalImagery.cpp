#include "mapservice/GdalImagery.h"

#include <gdal.h>
#include <gdal_alg.h>

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "imagery/Bitmap24.h"
#include "imagery/JpegCodec.h"
#include "mapservice/TileGrid.h"
#include "mapservice/TileRenderer.h"

namespace quorvil::mapservice {

namespace {

// A pixel counts as ground of the dataset from half cover on, for palette tiles that
// cannot blend.
constexpr std::uint8_t kHalfCover = 128;

// The colour at `alpha` cover on white, rounded: (v + 127) / 255 as a multiply and a
// shift, which gives the quotient exactly for every colour and alpha (checked below).
constexpr std::uint8_t Blend(unsigned colour, unsigned alpha) {
  const unsigned v = colour * alpha + 255 * (255 - alpha) + 127;
  return static_cast<std::uint8_t>((v * 0x8081u) >> 23);
}

constexpr bool BlendIsExact() {
  for (unsigned colour = 0; colour < 256; ++colour) {
    for (unsigned alpha = 0; alpha < 256; ++alpha) {
      if (Blend(colour, alpha) != (colour * alpha + 255 * (255 - alpha) + 127) / 255) return false;
    }
  }
  return true;
}
static_assert(BlendIsExact());

// Red, green and blue of every pixel, on white where the dataset holds nothing, into
// `to` (three bytes a pixel); with `bgr`, blue first, as the JPEG encoder takes them.
void RgbOnWhite(const WarpedWindow& window, std::size_t pixels, RasterColours colours,
                const std::vector<std::uint8_t>& palette, std::uint8_t* to, bool bgr) {
  const std::uint8_t* from = window.Pixels.data();
  const int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
  if (colours == RasterColours::Rgb) {
    for (std::size_t i = 0; i < pixels; ++i, from += 4, to += 3) {
      const unsigned alpha = from[3];
      to[r] = Blend(from[0], alpha);
      to[1] = Blend(from[1], alpha);
      to[b] = Blend(from[2], alpha);
    }
    return;
  }
  // One colour byte a pixel: grey, or an index whose colours come from a table.
  std::uint8_t table[256][3] = {};
  const std::size_t entries = palette.size() / 3;
  for (unsigned v = 0; v < 256; ++v) {
    for (int c = 0; c < 3; ++c) {
      table[v][c] = colours == RasterColours::Grey ? static_cast<std::uint8_t>(v)
                    : v < entries                  ? palette[v * 3 + c]
                                                   : 0;
    }
  }
  for (std::size_t i = 0; i < pixels; ++i, from += 2, to += 3) {
    const std::uint8_t* colour = table[from[0]];
    const unsigned alpha = from[1];
    to[r] = Blend(colour[0], alpha);
    to[1] = Blend(colour[1], alpha);
    to[b] = Blend(colour[2], alpha);
  }
}

struct DatasetCloser {
  void operator()(GDALDatasetH dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;

Dataset MemoryDataset(int size, int bands) {
  Dataset ds(GDALCreate(GDALGetDriverByName("MEM"), "", size, size, bands, GDT_Byte, nullptr));
  if (!ds) throw EImageryError("GDAL cannot make a picture in memory");
  return ds;
}

struct PaletteTile {
  std::vector<std::uint8_t> Indices;
  std::vector<std::uint8_t> Palette;
};

// A GIF palette holds at least two colours.
void PadPalette(std::vector<std::uint8_t>& palette) {
  while (palette.size() < 6) palette.insert(palette.end(), {0, 0, 0});
}

// A tile of at most 256 colours (a rendered map) keeps them exactly: median cut would
// round them to its 5-bit boxes, differently from tile to tile.
std::optional<PaletteTile> ExactPalette(const std::vector<std::uint8_t>& rgb) {
  std::unordered_map<std::uint32_t, std::uint8_t> index;
  PaletteTile tile;
  tile.Indices.reserve(rgb.size() / 3);
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    const std::uint32_t key = rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2];
    auto [it, added] = index.try_emplace(key, static_cast<std::uint8_t>(index.size()));
    if (added) {
      if (index.size() > 256) return std::nullopt;
      tile.Palette.insert(tile.Palette.end(), {rgb[i], rgb[i + 1], rgb[i + 2]});
    }
    tile.Indices.push_back(it->second);
  }
  PadPalette(tile.Palette);
  return tile;
}

// Median-cut palette of the colours, then Floyd-Steinberg dithering onto it.
PaletteTile Quantize(const std::vector<std::uint8_t>& rgb, int size) {
  const Dataset colours = MemoryDataset(size, 3);
  const Dataset indices = MemoryDataset(size, 1);
  std::vector<std::uint8_t> data = rgb;
  if (GDALDatasetRasterIO(colours.get(), GF_Write, 0, 0, size, size, data.data(), size, size,
                          GDT_Byte, 3, nullptr, 3, 3 * size, 1) != CE_None) {
    throw EImageryError("GDAL cannot fill a picture in memory");
  }
  const std::unique_ptr<std::remove_pointer_t<GDALColorTableH>, decltype(&GDALDestroyColorTable)>
      table(GDALCreateColorTable(GPI_RGB), &GDALDestroyColorTable);
  GDALRasterBandH r = GDALGetRasterBand(colours.get(), 1);
  GDALRasterBandH g = GDALGetRasterBand(colours.get(), 2);
  GDALRasterBandH b = GDALGetRasterBand(colours.get(), 3);
  GDALRasterBandH target = GDALGetRasterBand(indices.get(), 1);
  if (GDALComputeMedianCutPCT(r, g, b, nullptr, 256, table.get(), nullptr, nullptr) != CE_None ||
      GDALDitherRGB2PCT(r, g, b, target, table.get(), nullptr, nullptr) != CE_None) {
    throw EImageryError("GDAL cannot reduce a tile to a palette");
  }
  PaletteTile tile;
  tile.Indices.resize(static_cast<std::size_t>(size) * size);
  if (GDALRasterIO(target, GF_Read, 0, 0, size, size, tile.Indices.data(), size, size, GDT_Byte, 0,
                   0) != CE_None) {
    throw EImageryError("GDAL cannot read a picture in memory");
  }
  const int count = GDALGetColorEntryCount(table.get());
  for (int i = 0; i < count; ++i) {
    GDALColorEntry entry;
    GDALGetColorEntryAsRGB(table.get(), i, &entry);
    tile.Palette.insert(tile.Palette.end(),
                        {static_cast<std::uint8_t>(entry.c1), static_cast<std::uint8_t>(entry.c2),
                         static_cast<std::uint8_t>(entry.c3)});
  }
  return tile;
}

// The index of white in the palette, added when missing and there is room, else the
// entry nearest to white.
std::uint8_t WhiteIndex(std::vector<std::uint8_t>& palette) {
  std::size_t best = 0;
  int bestDistance = 1 << 30;
  for (std::size_t i = 0; i * 3 < palette.size(); ++i) {
    const int d = (255 - palette[i * 3]) + (255 - palette[i * 3 + 1]) + (255 - palette[i * 3 + 2]);
    if (d < bestDistance) bestDistance = d, best = i;
  }
  if (bestDistance != 0 && palette.size() < 256 * 3) {
    best = palette.size() / 3;
    palette.insert(palette.end(), {255, 255, 255});
  }
  return static_cast<std::uint8_t>(best);
}

// The topographic tile of a warped window as palette indices and red, green, blue
// triples: the raster's own palette, or a median-cut palette of the colours, dithered.
PaletteTile ToPaletteTile(const WarpedWindow& window, int size, RasterColours colours,
                          const std::vector<std::uint8_t>& palette) {
  const std::size_t pixels = static_cast<std::size_t>(size) * size;
  if (colours != RasterColours::Palette) {
    std::vector<std::uint8_t> rgb(pixels * 3);
    RgbOnWhite(window, pixels, colours, palette, rgb.data(), false);
    if (std::optional<PaletteTile> exact = ExactPalette(rgb)) return std::move(*exact);
    return Quantize(rgb, size);
  }
  PaletteTile tile;
  tile.Palette = palette;
  const std::uint8_t white = WhiteIndex(tile.Palette);
  PadPalette(tile.Palette);
  const std::size_t entries = tile.Palette.size() / 3;
  tile.Indices.resize(pixels);
  const std::uint8_t* from = window.Pixels.data();
  for (std::size_t i = 0; i < pixels; ++i, from += window.Channels) {
    const bool covered = from[window.Channels - 1] >= kHalfCover && from[0] < entries;
    tile.Indices[i] = covered ? from[0] : white;
  }
  return tile;
}

}  // namespace

ImageryPaths TakeImageryOptions(std::vector<std::string>& args) {
  ImageryPaths paths;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string* target = args[i] == "--photo"  ? &paths.Photo
                          : args[i] == "--topo" ? &paths.Topo
                                                : nullptr;
    if (target == nullptr) {
      rest.push_back(std::move(args[i]));
      continue;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      throw EQuorvilError(args[i] +
                          " wants a dataset (a GeoTIFF, a VRT or a GDAL tile-service file)");
    }
    if (!target->empty()) throw EQuorvilError(args[i] + " names a dataset only once");
    *target = std::move(args[++i]);
  }
  args = std::move(rest);
  return paths;
}

GdalImagery::GdalImagery(const ImageryPaths& paths)
    : supplier_(paths.Supplier), notice_(paths.Notice) {
  if (!paths.Photo.empty()) photo_ = std::make_unique<GdalRaster>(paths.Photo);
  if (!paths.Topo.empty()) topo_ = std::make_unique<GdalRaster>(paths.Topo);
}

const GdalRaster* GdalImagery::Raster(Theme theme) const {
  if (theme == Theme::Photo) return photo_.get();
  if (theme == Theme::Topo) return topo_.get();
  return nullptr;
}

bool GdalImagery::Holds(Theme theme, double lon, double lat) const {
  const GdalRaster* raster = Raster(theme);
  return raster != nullptr && raster->Holds(lon, lat);
}

std::vector<std::uint8_t> GdalImagery::TileFile(const TileId& id) const {
  const GdalRaster* raster = Raster(id.Theme);
  if (raster == nullptr) return {};
  const double m = MetresPerPixel(id.Scale);
  const double tileMetres = m * kTilePixels;
  const WarpedWindow window =
      raster->Warp({id.Scene, id.X * tileMetres, (id.Y + 1.0) * tileMetres, m, kTilePixels});
  if (!window.AnyCovered) return {};
  if (id.Theme == Theme::Topo) {
    const PaletteTile tile =
        ToPaletteTile(window, kTilePixels, raster->Colours(), raster->Palette());
    return EncodeGif(tile.Indices, kTilePixels, kTilePixels, tile.Palette);
  }
  TBitmap24 bitmap(kTilePixels, kTilePixels);
  RgbOnWhite(window, static_cast<std::size_t>(kTilePixels) * kTilePixels, raster->Colours(),
             raster->Palette(), bitmap.Data(), true);
  return EncodeJpeg(bitmap, kPhotoJpegQuality);
}

}  // namespace quorvil::mapservice
