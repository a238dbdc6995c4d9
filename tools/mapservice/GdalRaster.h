#pragma once

// One raster dataset read through GDAL (a GeoTIFF or COG, a VRT mosaic, a WMS/WMTS/TMS
// description file), warped piece by piece into UTM zones. GDAL handles must not be
// shared between threads, so each thread at work borrows a handle of its own from a pool
// and gives it back; pieces for different threads are warped in parallel.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ProgramError.h"

namespace quorvil::mapservice {

// GDAL could not open or read a dataset; the text names the dataset as the command line
// gave it and GDAL's reason. A fault a client sees leaves the server's file paths out of
// the reason; Detail() then holds the whole text, for the service's log.
struct EImageryError : EQuorvilError {
  explicit EImageryError(const std::string& message, std::string detail = {})
      : EQuorvilError(message), detail_(std::move(detail)) {}
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

// GDAL's own messages, those no read is capturing, go to `log` instead of standard error
// (nowhere when empty).
void SetGdalLog(std::function<void(const std::string&)> log);

// GDAL's time-outs for a remote dataset's server, unless the environment set them.
void SetRemoteReadTimeouts();

// GDAL's cache of dataset blocks held to `bytes`, unless the environment sizes it.
void SetBlockCacheBytes(std::int64_t bytes);

// Every warp in progress and to come ends at once, failing: the service is stopping.
void CancelDatasetWork();

// A rectangle in degrees.
struct GeoBounds {
  double West = 0, South = 0, East = 0, North = 0;
};

// The colours of a raster: three bands of red, green and blue; one band of grey; or one
// band of indices into the dataset's own palette.
enum class RasterColours { Rgb, Grey, Palette };

// A square piece of ground in a UTM zone, `size` pixels of `metresPerPixel` each, the
// north-west corner at (west, north).
struct UtmWindow {
  int Zone = 0;
  double West = 0, North = 0, MetresPerPixel = 1;
  int Size = 0;
};

// A warped window, pixel-interleaved: `Channels` bytes a pixel (1 or 3 colour bytes, as
// the raster's colours say, then an alpha byte; 0 where the dataset holds nothing).
struct WarpedWindow {
  int Channels = 0;
  std::vector<std::uint8_t> Pixels;
  bool AnyCovered = false;
};

class GdalRaster {
 public:
  // Opens the dataset and reads its georeferencing; throws EImageryError naming `path`
  // when GDAL cannot read it or it has no place on the ground.
  explicit GdalRaster(std::string path);
  ~GdalRaster();
  GdalRaster(const GdalRaster&) = delete;
  GdalRaster& operator=(const GdalRaster&) = delete;

  const std::string& Path() const { return path_; }
  RasterColours Colours() const { return colours_; }
  // Red, green, blue triples of the palette (Palette colours only).
  const std::vector<std::uint8_t>& Palette() const { return palette_; }
  // The ground the dataset spans, in degrees.
  const GeoBounds& Bounds() const { return bounds_; }
  // Ground resolution of the full-resolution raster, metres per pixel (approximate for
  // geographic datasets).
  double MetresPerPixel() const { return metresPerPixel_; }

  // Whether the dataset holds a valid pixel at the point.
  bool Holds(double lon, double lat) const;

  // The window warped from the dataset (cubic resampling, nearest for palette indices;
  // the overview nearest the window's resolution). However coarse the window, at most
  // about kMostSourcePixels are read for it: without a fitting overview the dataset is
  // read decimated. Throws EImageryError when GDAL fails or the warp is cancelled.
  WarpedWindow Warp(const UtmWindow& window) const;
  static constexpr double kMostSourcePixels = 2048.0 * 2048.0;

 private:
  struct Handle;
  class Lease;

  std::unique_ptr<Handle> Open() const;
  void Remember(const std::string& trouble) const;
  // `dataset` is a GDALDatasetH.
  void PlanByteScale(void* dataset, bool alpha);
  void ToBytes(Handle& handle) const;
  EImageryError ReadError(const std::string& reason) const;
  // How many pixels of the full-resolution raster the window spans; `fromLonLat` is an
  // OGRCoordinateTransformationH.
  double SourcePixels(void* fromLonLat, const UtmWindow& window) const;

  std::string path_;
  // What GDAL opens: the path, or a tile-service description given a read time-out.
  std::string openName_;
  RasterColours colours_ = RasterColours::Rgb;
  std::vector<std::uint8_t> palette_;
  GeoBounds bounds_;
  double metresPerPixel_ = 1;
  double geoTransform_[6] = {};
  double inverse_[6] = {};  // dataset coordinates to pixel
  int width_ = 0, height_ = 0;
  bool allValid_ = true;
  // A tile service's pixels are not read to answer Holds(): its server may never answer.
  bool remote_ = false;
  // Each overview's reduction of the raster, finest first.
  std::vector<double> overviewFactors_;
  mutable std::mutex mutex_;
  mutable std::vector<std::unique_ptr<Handle>> idle_;
  mutable std::string trouble_;
  // gdal_translate's arguments that make bytes of wider data; empty for bytes.
  std::vector<std::string> byteScale_;  // the last problem GDAL reported while reading
};

}  // namespace quorvil::mapservice
