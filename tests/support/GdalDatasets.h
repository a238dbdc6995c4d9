#pragma once

// Small (and, for benchmarks, large) georeferenced rasters made with GDAL's API, whose
// pixels come from a function of their column and row, so that a test knows what
// colour lies at every ground position.

#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvil::testing {

struct TRasterSpec {
  TRasterSpec(std::string path, std::string srs, double originX, double originY, double pixelSize,
              int width, int height, int bands = 3)
      : path(std::move(path)),
        srs(std::move(srs)),
        originX(originX),
        originY(originY),
        pixelSize(pixelSize),
        width(width),
        height(height),
        bands(bands) {}

  std::string path;
  std::string srs;   // "EPSG:32618", "EPSG:4326"; empty: none
  double originX;    // west edge, in the coordinate system's units
  double originY;    // north edge
  double pixelSize;  // units per pixel, both ways
  int width, height;
  int bands;                          // 3: red, green, blue; 1: palette indices (with `palette`)
  std::vector<std::uint8_t> palette;  // red, green, blue triples for a one-band raster
  bool tiled = false;
  std::vector<int> overviews;  // overview factors to build, e.g. {2, 4, 8}
};

// Writes the GeoTIFF row by row: pixel(column, row, band) gives each byte.
inline void WriteGeoTiff(const TRasterSpec& spec,
                         const std::function<std::uint8_t(int, int, int)>& pixel) {
  GDALAllRegister();
  std::vector<const char*> options;
  if (spec.tiled) options = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256"};
  options.push_back(nullptr);
  GDALDatasetH ds =
      GDALCreate(GDALGetDriverByName("GTiff"), spec.path.c_str(), spec.width, spec.height,
                 spec.bands, GDT_Byte, const_cast<char**>(options.data()));
  if (ds == nullptr) throw std::runtime_error("cannot create " + spec.path);
  if (!spec.srs.empty()) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(srs, spec.srs.c_str());
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
  }
  double transform[6] = {spec.originX, spec.pixelSize, 0, spec.originY, 0, -spec.pixelSize};
  GDALSetGeoTransform(ds, transform);
  if (!spec.palette.empty()) {
    GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
    for (std::size_t i = 0; i * 3 < spec.palette.size(); ++i) {
      const GDALColorEntry entry{spec.palette[i * 3], spec.palette[i * 3 + 1],
                                 spec.palette[i * 3 + 2], 255};
      GDALSetColorEntry(table, static_cast<int>(i), &entry);
    }
    GDALSetRasterColorTable(GDALGetRasterBand(ds, 1), table);
    GDALDestroyColorTable(table);
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(spec.width) * spec.bands);
  bool ok = true;
  for (int y = 0; ok && y < spec.height; ++y) {
    for (int x = 0; x < spec.width; ++x) {
      for (int b = 0; b < spec.bands; ++b)
        row[static_cast<std::size_t>(x) * spec.bands + b] = pixel(x, y, b);
    }
    ok = GDALDatasetRasterIO(ds, GF_Write, 0, y, spec.width, 1, row.data(), spec.width, 1, GDT_Byte,
                             spec.bands, nullptr, spec.bands,
                             static_cast<GSpacing>(spec.width) * spec.bands, 1) == CE_None;
  }
  if (ok && !spec.overviews.empty()) {
    ok = GDALBuildOverviews(ds, spec.palette.empty() ? "AVERAGE" : "NEAREST",
                            static_cast<int>(spec.overviews.size()), spec.overviews.data(), 0,
                            nullptr, nullptr, nullptr) == CE_None;
  }
  GDALClose(ds);
  if (!ok) throw std::runtime_error("cannot write " + spec.path);
}

// A VRT mosaic of the files, as gdalbuildvrt makes it.
inline void BuildVrt(const std::string& path, const std::vector<std::string>& files) {
  GDALAllRegister();
  std::vector<const char*> names;
  for (const auto& f : files) names.push_back(f.c_str());
  int usageError = 0;
  GDALDatasetH vrt = GDALBuildVRT(path.c_str(), static_cast<int>(names.size()), nullptr,
                                  names.data(), nullptr, &usageError);
  if (vrt == nullptr) throw std::runtime_error("cannot build " + path);
  GDALClose(vrt);
}

// A copy of a dataset made as gdal_translate makes it with these arguments.
inline void Translate(const std::string& from, const std::string& to,
                      const std::vector<std::string>& args) {
  GDALAllRegister();
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  GDALTranslateOptions* options = GDALTranslateOptionsNew(argv.data(), nullptr);
  GDALDatasetH source = GDALOpen(from.c_str(), GA_ReadOnly);
  int usageError = 0;
  GDALDatasetH copy =
      source && options ? GDALTranslate(to.c_str(), source, options, &usageError) : nullptr;
  if (copy) GDALClose(copy);
  if (source) GDALClose(source);
  if (options) GDALTranslateOptionsFree(options);
  if (copy == nullptr) throw std::runtime_error("cannot translate " + from);
}

}  // namespace quorvil::testing
