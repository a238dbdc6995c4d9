#include "mapservice/GdalRaster.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "mapservice/GdalNetwork.h"
#include "mapservice/UtmProjection.h"

namespace quorvil::mapservice {

namespace {

// Keeps the first failure GDAL reports on this thread while alive (or, without one, the
// first warning: some drivers report a source they cannot open as a warning), and keeps
// GDAL from printing them; the caller turns them into an exception.
class ErrorCapture {
 public:
  ErrorCapture() : pusher_(&ErrorCapture::Record, this) { CPLErrorReset(); }
  // What GDAL told, empty when nothing.
  std::string Told() const {
    if (!failure_.empty()) return failure_;
    if (!warning_.empty()) return warning_;
    // Errors raised under a handler that GDAL pushed itself still leave their text.
    const char* last = CPLGetLastErrorMsg();
    return last != nullptr ? std::string(last) : std::string();
  }
  std::string Message() const {
    const std::string told = Told();
    return told.empty() ? std::string("GDAL reported no reason") : told;
  }

 private:
  static void CPL_STDCALL Record(CPLErr level, CPLErrorNum, const char* text) {
    auto* self = static_cast<ErrorCapture*>(CPLGetErrorHandlerUserData());
    if (self == nullptr || text == nullptr) return;
    std::string& slot = level >= CE_Failure ? self->failure_ : self->warning_;
    if (level >= CE_Warning && slot.empty()) slot = text;
    // A failed download says more than what failed after it (a tile missing from GDAL's cache).
    constexpr const char* kDownload = "HTTP status code";
    if (level >= CE_Failure && std::strstr(text, kDownload) != nullptr &&
        self->failure_.find(kDownload) == std::string::npos) {
      self->failure_ = text;
    }
  }

  CPLErrorHandlerPusher pusher_;
  std::string failure_, warning_;
};

void RegisterDrivers() {
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
}

struct SrsDeleter {
  void operator()(OGRSpatialReferenceH srs) const { OSRDestroySpatialReference(srs); }
};
using Srs = std::unique_ptr<std::remove_pointer_t<OGRSpatialReferenceH>, SrsDeleter>;

// Longitude first, latitude second, whatever the authority's axis order.
Srs LonLatSrs() {
  Srs srs(OSRNewSpatialReference(nullptr));
  OSRImportFromEPSG(srs.get(), 4326);
  OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

struct DatasetCloser {
  void operator()(GDALDatasetH dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

struct GdalRaster::Handle {
  Dataset source;
  // The source as bytes, for data of more than 8 bits; declared after the source, which it
  // reads, so that it closes first.
  Dataset bytes;
  GDALDatasetH Reading() const { return bytes ? bytes.get() : source.get(); }
  // Degrees to the dataset's coordinates and back.
  OGRCoordinateTransformationH fromLonLat = nullptr;
  OGRCoordinateTransformationH toLonLat = nullptr;
  ~Handle() {
    if (fromLonLat) OCTDestroyCoordinateTransformation(fromLonLat);
    if (toLonLat) OCTDestroyCoordinateTransformation(toLonLat);
  }
};

// A handle borrowed from the pool for the life of the lease.
class GdalRaster::Lease {
 public:
  explicit Lease(const GdalRaster& raster) : raster_(raster) {
    {
      std::lock_guard lock(raster.mutex_);
      if (!raster.idle_.empty()) {
        handle_ = std::move(raster.idle_.back());
        raster.idle_.pop_back();
      }
    }
    if (!handle_) handle_ = raster.Open();
  }
  ~Lease() {
    std::lock_guard lock(raster_.mutex_);
    raster_.idle_.push_back(std::move(handle_));
  }
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  Handle* operator->() const { return handle_.get(); }

 private:
  const GdalRaster& raster_;
  std::unique_ptr<Handle> handle_;
};

std::unique_ptr<GdalRaster::Handle> GdalRaster::Open() const {
  ErrorCapture errors;
  auto handle = std::make_unique<Handle>();
  handle->source.reset(GDALOpenEx(path_.c_str(),
                                  GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                                  nullptr, nullptr, nullptr));
  if (!handle->source)
    throw EImageryError("Cannot open the dataset " + path_ + ": " + errors.Message());
  const OGRSpatialReferenceH own = GDALGetSpatialRef(handle->source.get());
  double transform[6];
  if (own == nullptr || GDALGetGeoTransform(handle->source.get(), transform) != CE_None) {
    throw EImageryError("The dataset " + path_ +
                        " has no place on the ground (no coordinate system or geotransform)");
  }
  Srs srs(OSRClone(own));
  OSRSetAxisMappingStrategy(srs.get(), OAMS_TRADITIONAL_GIS_ORDER);
  const Srs lonLat = LonLatSrs();
  handle->fromLonLat = OCTNewCoordinateTransformation(lonLat.get(), srs.get());
  handle->toLonLat = OCTNewCoordinateTransformation(srs.get(), lonLat.get());
  if (!handle->fromLonLat || !handle->toLonLat) {
    throw EImageryError("The coordinate system of the dataset " + path_ +
                        " cannot be related to longitude and latitude: " + errors.Message());
  }
  ToBytes(*handle);
  return handle;
}

void GdalRaster::ToBytes(Handle& handle) const {
  if (byteScale_.empty()) return;
  ErrorCapture errors;
  CPLStringList argv;
  for (const std::string& arg : byteScale_) argv.AddString(arg.c_str());
  std::unique_ptr<GDALTranslateOptions, decltype(&GDALTranslateOptionsFree)> options(
      GDALTranslateOptionsNew(argv.List(), nullptr), &GDALTranslateOptionsFree);
  int usageError = 0;
  if (options)
    handle.bytes.reset(GDALTranslate("", handle.source.get(), options.get(), &usageError));
  if (!handle.bytes) {
    throw EImageryError("Cannot scale the dataset " + path_ + " to 8 bits: " + errors.Message());
  }
}

// Data of more than 8 bits is scaled to bytes from 0 up to the largest value of its bit
// depth: the one it states, or else the fewest bits (from 8) that hold its largest colour
// value, so that 16-bit scans and 12-bit sensors in 16-bit files both look right. Floating
// data runs up to its largest value.
void GdalRaster::PlanByteScale(GDALDatasetH ds, bool alpha) {
  const int bands = GDALGetRasterCount(ds);
  const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(ds, 1));
  if (type == GDT_Byte) return;
  byteScale_ = {"-of", "VRT", "-ot", "Byte"};
  double colourMax = 0;
  for (int b = 1; b <= bands - (alpha ? 1 : 0); ++b) {
    double range[2] = {0, 0};
    if (GDALComputeRasterMinMax(GDALGetRasterBand(ds, b), TRUE, range) == CE_None) {
      colourMax = std::max(colourMax, range[1]);
    }
  }
  const bool integral = !GDALDataTypeIsFloating(type) && !GDALDataTypeIsComplex(type);
  const int typeBits = GDALGetDataTypeSizeBits(type) - (GDALDataTypeIsSigned(type) ? 1 : 0);
  const char* nbits = GDALGetMetadataItem(GDALGetRasterBand(ds, 1), "NBITS", "IMAGE_STRUCTURE");
  int bits = nbits != nullptr ? std::atoi(nbits) : typeBits;
  const double alphaMax = integral ? std::ldexp(1.0, bits) - 1 : 1.0;
  double colourHigh = colourMax;
  if (integral && nbits == nullptr) {
    bits = 8;
    while (bits < typeBits && std::ldexp(1.0, bits) - 1 < colourMax) ++bits;
  }
  if (integral) colourHigh = std::ldexp(1.0, bits) - 1;
  if (!(colourHigh > 0)) colourHigh = 255;
  for (int b = 1; b <= bands; ++b) {
    const double high = alpha && b == bands ? alphaMax : colourHigh;
    byteScale_.insert(byteScale_.end(),
                      {"-scale_" + std::to_string(b), "0", Number(high), "0", "255"});
  }
}

GdalRaster::GdalRaster(std::string path) : path_(std::move(path)) {
  RegisterDrivers();
  std::unique_ptr<Handle> handle = Open();
  GDALDatasetH ds = handle->source.get();
  const int bands = GDALGetRasterCount(ds);
  if (bands < 1) throw EImageryError("The dataset " + path_ + " holds no raster bands");
  const bool alpha =
      bands > 1 && GDALGetRasterColorInterpretation(GDALGetRasterBand(ds, bands)) == GCI_AlphaBand;
  const GDALRasterBandH first = GDALGetRasterBand(ds, 1);
  const GDALColorTableH table = GDALGetRasterColorTable(first);
  if (bands - (alpha ? 1 : 0) >= 3) {
    colours_ = RasterColours::Rgb;
  } else if (table != nullptr && GDALGetRasterColorInterpretation(first) == GCI_PaletteIndex) {
    colours_ = RasterColours::Palette;
    const int count = std::min(GDALGetColorEntryCount(table), 256);
    for (int i = 0; i < count; ++i) {
      GDALColorEntry entry;
      GDALGetColorEntryAsRGB(table, i, &entry);
      palette_.insert(palette_.end(),
                      {static_cast<std::uint8_t>(entry.c1), static_cast<std::uint8_t>(entry.c2),
                       static_cast<std::uint8_t>(entry.c3)});
    }
  } else {
    colours_ = RasterColours::Grey;
  }
  allValid_ = (GDALGetMaskFlags(first) & GMF_ALL_VALID) != 0;
  PlanByteScale(ds, alpha);
  ToBytes(*handle);

  GDALGetGeoTransform(ds, geoTransform_);
  if (!GDALInvGeoTransform(geoTransform_, inverse_)) {
    throw EImageryError("The dataset " + path_ + " has a geotransform that cannot be inverted");
  }
  width_ = GDALGetRasterXSize(ds);
  height_ = GDALGetRasterYSize(ds);

  // The footprint in degrees from points along the raster's edges.
  constexpr int kSteps = 32;
  double west = std::numeric_limits<double>::infinity(), east = -west, south = west, north = -west;
  for (int i = 0; i <= kSteps; ++i) {
    const double f = static_cast<double>(i) / kSteps;
    const double edge[4][2] = {{f * width_, 0},
                               {f * width_, static_cast<double>(height_)},
                               {0, f * height_},
                               {static_cast<double>(width_), f * height_}};
    for (const auto& [px, py] : edge) {
      double x = geoTransform_[0] + px * geoTransform_[1] + py * geoTransform_[2];
      double y = geoTransform_[3] + px * geoTransform_[4] + py * geoTransform_[5];
      if (!OCTTransform(handle->toLonLat, 1, &x, &y, nullptr) || !std::isfinite(x) ||
          !std::isfinite(y)) {
        continue;
      }
      west = std::min(west, x);
      east = std::max(east, x);
      south = std::min(south, y);
      north = std::max(north, y);
    }
  }
  if (!(west <= east && south <= north)) {
    throw EImageryError("The dataset " + path_ + " lies nowhere on the globe");
  }
  bounds_ = {west, std::max(south, -90.0), east, std::min(north, 90.0)};
  const double pixelMetres = std::hypot(geoTransform_[1], geoTransform_[4]);
  Srs srs(OSRClone(GDALGetSpatialRef(ds)));
  metresPerPixel_ = OSRIsGeographic(srs.get())
                        ? pixelMetres * 111320.0 * std::cos((south + north) / 2 * M_PI / 180)
                        : pixelMetres * OSRGetLinearUnits(srs.get(), nullptr);
  std::lock_guard lock(mutex_);
  idle_.push_back(std::move(handle));
}

GdalRaster::~GdalRaster() = default;

bool GdalRaster::Holds(double lon, double lat) const {
  if (lon < bounds_.West || lon > bounds_.East || lat < bounds_.South || lat > bounds_.North) {
    return false;
  }
  Lease lease(*this);
  ErrorCapture errors;
  double x = lon, y = lat;
  if (!OCTTransform(lease->fromLonLat, 1, &x, &y, nullptr)) return false;
  const double px = inverse_[0] + x * inverse_[1] + y * inverse_[2];
  const double py = inverse_[3] + x * inverse_[4] + y * inverse_[5];
  if (!(px >= 0 && px < width_ && py >= 0 && py < height_)) return false;
  if (allValid_) return true;
  std::uint8_t valid = 0;
  const GDALRasterBandH mask = GDALGetMaskBand(GDALGetRasterBand(lease->Reading(), 1));
  return GDALRasterIO(mask, GF_Read, static_cast<int>(px), static_cast<int>(py), 1, 1, &valid, 1, 1,
                      GDT_Byte, 0, 0) == CE_None &&
         valid != 0;
}

void GdalRaster::Remember(const std::string& trouble) const {
  std::lock_guard lock(mutex_);
  trouble_ = trouble;
}

// GDAL tells of a part it cannot read once per thread only (a mosaic's broken file, say),
// so a failure without a reason takes the last one told.
EImageryError GdalRaster::ReadError(const std::string& reason) const {
  if (std::string remote = RemoteTrouble(path_, reason); !remote.empty()) {
    return EImageryError(std::move(remote));
  }
  if (!reason.empty()) Remember(reason);
  std::lock_guard lock(mutex_);
  return EImageryError("Cannot read the dataset " + path_ + ": " +
                       (trouble_.empty() ? "GDAL reported no reason" : trouble_));
}

WarpedWindow GdalRaster::Warp(const UtmWindow& window) const {
  const int colourBytes = colours_ == RasterColours::Rgb ? 3 : 1;
  WarpedWindow out;
  out.Channels = colourBytes + 1;
  const double span = window.Size * window.MetresPerPixel;
  const double east = window.West + span, south = window.North - span;

  // Ground plainly outside the dataset needs no warp.
  double west = std::numeric_limits<double>::infinity(), eastLon = -west, southLat = west,
         northLat = -west;
  for (const auto& [e, n] : {std::pair{window.West, window.North}, std::pair{east, window.North},
                             std::pair{window.West, south}, std::pair{east, south}}) {
    const GeoPoint p = UtmInverse({window.Zone, e, n});
    west = std::min(west, p.Lon);
    eastLon = std::max(eastLon, p.Lon);
    southLat = std::min(southLat, p.Lat);
    northLat = std::max(northLat, p.Lat);
  }
  const double margin = std::max(eastLon - west, northLat - southLat) * 0.05;
  if (west - margin > bounds_.East || eastLon + margin < bounds_.West ||
      southLat - margin > bounds_.North || northLat + margin < bounds_.South) {
    return out;
  }

  const std::string size = std::to_string(window.Size);
  const char* const args[] = {"-of",          "MEM",
                              "-q",           "-nomd",
                              "-t_srs",
                              nullptr,  // the zone, below
                              "-te",          nullptr,
                              nullptr,        nullptr,
                              nullptr,        "-ts",
                              size.c_str(),   size.c_str(),
                              "-r",           colours_ == RasterColours::Palette ? "near" : "cubic",
                              "-ovr",         "AUTO",
                              "-dstalpha",    "-wo",
                              "NUM_THREADS=1"};
  // WGS 84 / UTM zone N north: its northings run on, signed, south of the equator.
  const std::string srs = "EPSG:" + std::to_string(32600 + window.Zone);
  const std::string te[4] = {Number(window.West), Number(south), Number(east),
                             Number(window.North)};
  CPLStringList argv;
  for (std::size_t i = 0; i < std::size(args); ++i) {
    const char* arg = args[i];
    if (i == 5) arg = srs.c_str();
    if (i >= 7 && i <= 10) arg = te[i - 7].c_str();
    argv.AddString(arg);
  }

  Lease lease(*this);
  ErrorCapture errors;
  std::unique_ptr<GDALWarpAppOptions, decltype(&GDALWarpAppOptionsFree)> options(
      GDALWarpAppOptionsNew(argv.List(), nullptr), &GDALWarpAppOptionsFree);
  if (!options) throw EImageryError("GDAL refused the warp options: " + errors.Message());
  GDALDatasetH source = lease->Reading();
  int usageError = 0;
  const Dataset warped(GDALWarp("", nullptr, 1, &source, options.get(), &usageError));
  if (!warped) throw ReadError(errors.Told());

  // Colour bands first, the alpha band last; further bands (near infrared) are dropped.
  const int bands = GDALGetRasterCount(warped.get());
  if (bands < 2) throw EImageryError("The warp of " + path_ + " lost its alpha band");
  const std::size_t pixels = static_cast<std::size_t>(window.Size) * window.Size;
  std::vector<std::uint8_t> all(pixels * bands);
  if (GDALDatasetRasterIO(warped.get(), GF_Read, 0, 0, window.Size, window.Size, all.data(),
                          window.Size, window.Size, GDT_Byte, bands, nullptr, bands,
                          static_cast<GSpacing>(bands) * window.Size, 1) != CE_None) {
    throw ReadError(errors.Told());
  }
  if (const std::string trouble = errors.Told(); !trouble.empty()) Remember(trouble);
  const int colourBands = std::min(colourBytes, bands - 1);
  out.Pixels.resize(pixels * out.Channels);
  std::uint8_t* to = out.Pixels.data();
  const std::uint8_t* from = all.data();
  for (std::size_t i = 0; i < pixels; ++i, from += bands, to += out.Channels) {
    for (int c = 0; c < colourBytes; ++c) to[c] = from[std::min(c, colourBands - 1)];
    to[colourBytes] = from[bands - 1];
    out.AnyCovered |= from[bands - 1] != 0;
  }
  return out;
}

}  // namespace quorvil::mapservice
