#pragma once

// Small (and, for benchmarks, large) georeferenced rasters made with GDAL's API, whose
// pixels come from a function of their column and row, so that a test knows what
// colour lies at every ground position.

#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <cstdint>
#include <fstream>
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
inline void WriteGeoTiff(const TRasterSpec& raster,
                         const std::function<std::uint8_t(int, int, int)>& pixel) {
  GDALAllRegister();
  std::vector<const char*> options;
  if (raster.tiled) options = {"TILED=YES", "BLOCKXSIZE=256", "BLOCKYSIZE=256"};
  options.push_back(nullptr);
  GDALDatasetH ds =
      GDALCreate(GDALGetDriverByName("GTiff"), raster.path.c_str(), raster.width, raster.height,
                 raster.bands, GDT_Byte, const_cast<char**>(options.data()));
  if (ds == nullptr) throw std::runtime_error("cannot create " + raster.path);
  if (!raster.srs.empty()) {
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(srs, raster.srs.c_str());
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
  }
  double transform[6] = {raster.originX, raster.pixelSize, 0, raster.originY, 0, -raster.pixelSize};
  GDALSetGeoTransform(ds, transform);
  if (!raster.palette.empty()) {
    GDALColorTableH table = GDALCreateColorTable(GPI_RGB);
    for (std::size_t i = 0; i * 3 < raster.palette.size(); ++i) {
      const GDALColorEntry entry{raster.palette[i * 3], raster.palette[i * 3 + 1],
                                 raster.palette[i * 3 + 2], 255};
      GDALSetColorEntry(table, static_cast<int>(i), &entry);
    }
    GDALSetRasterColorTable(GDALGetRasterBand(ds, 1), table);
    GDALDestroyColorTable(table);
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(raster.width) * raster.bands);
  bool ok = true;
  for (int y = 0; ok && y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      for (int b = 0; b < raster.bands; ++b)
        row[static_cast<std::size_t>(x) * raster.bands + b] = pixel(x, y, b);
    }
    ok = GDALDatasetRasterIO(ds, GF_Write, 0, y, raster.width, 1, row.data(), raster.width, 1,
                             GDT_Byte, raster.bands, nullptr, raster.bands,
                             static_cast<GSpacing>(raster.width) * raster.bands, 1) == CE_None;
  }
  if (ok && !raster.overviews.empty()) {
    ok = GDALBuildOverviews(ds, raster.palette.empty() ? "AVERAGE" : "NEAREST",
                            static_cast<int>(raster.overviews.size()), raster.overviews.data(), 0,
                            nullptr, nullptr, nullptr) == CE_None;
  }
  GDALClose(ds);
  if (!ok) throw std::runtime_error("cannot write " + raster.path);
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

// A VRT of 1,000,000 x 1,000,000 pixels of a metre in UTM zone 18 (northing 4,000 km to
// 5,000 km), all three bands of type `type` drawn from the first 100 x 100 of `source`:
// a file of a few kilobytes that is huge to read.
inline void WriteHugeVrt(const std::string& path, const std::string& source,
                         const std::string& type) {
  std::string bands;
  for (int b = 1; b <= 3; ++b) {
    bands += "<VRTRasterBand dataType=\"" + type + "\" band=\"" + std::to_string(b) +
             "\"><SimpleSource><SourceFilename>" + source + "</SourceFilename><SourceBand>" +
             std::to_string(b) +
             "</SourceBand><SrcRect xOff=\"0\" yOff=\"0\" xSize=\"100\" ySize=\"100\"/>"
             "<DstRect xOff=\"0\" yOff=\"0\" xSize=\"1000000\" ySize=\"1000000\"/>"
             "</SimpleSource></VRTRasterBand>";
  }
  std::ofstream(path) << "<VRTDataset rasterXSize=\"1000000\" rasterYSize=\"1000000\">"
                         "<SRS>EPSG:32618</SRS><GeoTransform>0, 1, 0, 5000000, 0, -1</GeoTransform>"
                      << bands << "</VRTDataset>";
}

}  // namespace quorvil::testing
