#include "mapservice/GdalRaster.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

std::mutex gLogMutex;
std::function<void(const std::string&)> gLog;
std::atomic<bool> gCancelled{false};

void CPL_STDCALL LogGdalMessage(CPLErr level, CPLErrorNum, const char* text) {
  std::lock_guard lock(gLogMutex);
  if (!gLog || text == nullptr) return;
  const char* kind = level >= CE_Failure ? "error" : level == CE_Warning ? "warning" : "note";
  gLog(std::string("GDAL ") + kind + ": " + text);
}

void RegisterDrivers() {
  static std::once_flag once;
  std::call_once(once, [] {
    CPLSetErrorHandler(&LogGdalMessage);
    SetRemoteReadTimeouts();
    GDALAllRegister();
  });
}

// A warp past its time, or under way when the service stops, ends at GDAL's next report
// of its progress.
constexpr auto kMostWarpTime = std::chrono::seconds(15);

int CPL_STDCALL WarpProgress(double, const char*, void* deadline) {
  return !gCancelled && std::chrono::steady_clock::now() <
                            *static_cast<const std::chrono::steady_clock::time_point*>(deadline);
}

// The text without the server's file paths: each word with a slash keeps its last part.
std::string WithoutPaths(const std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find_first_of(" \t\n'\"(),;", at), text.size());
    const std::string word = text.substr(at, end - at);
    const std::size_t slash = word.find_last_of('/');
    out += slash == std::string::npos ? word : word.substr(slash + 1);
    if (end < text.size()) out += text[end];
    at = end + 1;
  }
  return out;
}

// GDAL's tile-service driver waits 300 s for an answer unless the description says
// otherwise, whatever GDAL_HTTP_TIMEOUT says: a description without a time-out of its own
// is opened as text with GDAL's.
std::string WithReadTimeout(const std::string& path) {
  constexpr std::size_t kLargestDescription = 64 << 10;
  std::ifstream in(path, std::ios::binary);
  std::string text(kLargestDescription + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  constexpr std::string_view kRoot = "<GDAL_WMS>";
  const std::size_t root = text.find(kRoot);
  if (text.size() > kLargestDescription || root == std::string::npos ||
      text.find("<Timeout>") != std::string::npos) {
    return path;
  }
  const char* timeout = CPLGetConfigOption("GDAL_HTTP_TIMEOUT", "10");
  return text.insert(root + kRoot.size(), "<Timeout>" + std::string(timeout) + "</Timeout>");
}

EImageryError Failure(const std::string& lead, const std::string& reason) {
  return EImageryError(lead + WithoutPaths(reason), lead + reason);
}

// The largest value of a band from its coarsest overview, or else from a grid of small
// windows: never a scan of the whole raster, however large.
double SampledMax(GDALRasterBandH band) {
  int hasNoData = 0;
  const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
  double most = 0;
  auto take = [&](const std::vector<double>& values) {
    for (const double v : values) {
      if (std::isfinite(v) && !(hasNoData && v == noData)) most = std::max(most, v);
    }
  };
  const int overviews = GDALGetOverviewCount(band);
  GDALRasterBandH source = overviews > 0 ? GDALGetOverview(band, overviews - 1) : band;
  const int width = GDALGetRasterBandXSize(source), height = GDALGetRasterBandYSize(source);
  if (overviews > 0 && static_cast<double>(width) * height <= 1024.0 * 1024.0) {
    std::vector<double> values(static_cast<std::size_t>(width) * height);
    if (GDALRasterIO(source, GF_Read, 0, 0, width, height, values.data(), width, height,
                     GDT_Float64, 0, 0) == CE_None) {
      take(values);
    }
    return most;
  }
  constexpr int kGrid = 32, kWindow = 8;
  const int w = std::min(kWindow, width), h = std::min(kWindow, height);
  std::vector<double> values(static_cast<std::size_t>(w) * h);
  for (int gy = 0; gy < kGrid; ++gy) {
    for (int gx = 0; gx < kGrid; ++gx) {
      const int x = static_cast<int>(static_cast<double>(width - w) * gx / (kGrid - 1));
      const int y = static_cast<int>(static_cast<double>(height - h) * gy / (kGrid - 1));
      if (GDALRasterIO(source, GF_Read, x, y, w, h, values.data(), w, h, GDT_Float64, 0, 0) ==
          CE_None) {
        take(values);
      }
    }
  }
  return most;
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

void SetGdalLog(std::function<void(const std::string&)> log) {
  std::lock_guard lock(gLogMutex);
  gLog = std::move(log);
}

void SetRemoteReadTimeouts() {
  if (CPLGetConfigOption("GDAL_HTTP_CONNECTTIMEOUT", nullptr) == nullptr) {
    CPLSetConfigOption("GDAL_HTTP_CONNECTTIMEOUT", "5");
  }
  if (CPLGetConfigOption("GDAL_HTTP_TIMEOUT", nullptr) == nullptr) {
    CPLSetConfigOption("GDAL_HTTP_TIMEOUT", "10");
  }
}

void SetBlockCacheBytes(std::int64_t bytes) {
  if (std::getenv("GDAL_CACHEMAX") == nullptr) GDALSetCacheMax64(bytes);
}

void CancelDatasetWork() { gCancelled = true; }

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
  handle->source.reset(GDALOpenEx(openName_.c_str(),
                                  GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR,
                                  nullptr, nullptr, nullptr));
  if (!handle->source) throw Failure("Cannot open the dataset " + path_ + ": ", errors.Message());
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
    throw Failure("The coordinate system of the dataset " + path_ +
                      " cannot be related to longitude and latitude: ",
                  errors.Message());
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
    throw Failure("Cannot scale the dataset " + path_ + " to 8 bits: ", errors.Message());
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
    colourMax = std::max(colourMax, SampledMax(GDALGetRasterBand(ds, b)));
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
  openName_ = WithReadTimeout(path_);
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
  const std::string driver = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
  remote_ = driver == "WMS" || driver == "WMTS" || path_.starts_with("/vsicurl") ||
            path_.find("://") != std::string::npos;
  for (int i = 0; i < GDALGetOverviewCount(first); ++i) {
    const int w = GDALGetRasterBandXSize(GDALGetOverview(first, i));
    if (w > 0) overviewFactors_.push_back(static_cast<double>(GDALGetRasterXSize(ds)) / w);
  }
  std::sort(overviewFactors_.begin(), overviewFactors_.end());
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
  if (allValid_ || remote_) return true;
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
  return Failure("Cannot read the dataset " + path_ + ": ",
                 trouble_.empty() ? "GDAL reported no reason" : trouble_);
}

double GdalRaster::SourcePixels(void* fromLonLat, const UtmWindow& window) const {
  const double span = window.Size * window.MetresPerPixel;
  double left = std::numeric_limits<double>::infinity(), right = -left, top = left, bottom = -left;
  constexpr int kSteps = 4;
  for (int i = 0; i <= kSteps; ++i) {
    for (int j = 0; j <= kSteps; ++j) {
      const GeoPoint p = UtmInverse(
          {window.Zone, window.West + span * i / kSteps, window.North - span * j / kSteps});
      double x = p.Lon, y = p.Lat;
      if (!OCTTransform(static_cast<OGRCoordinateTransformationH>(fromLonLat), 1, &x, &y,
                        nullptr) ||
          !std::isfinite(x) || !std::isfinite(y)) {
        continue;
      }
      const double px = inverse_[0] + x * inverse_[1] + y * inverse_[2];
      const double py = inverse_[3] + x * inverse_[4] + y * inverse_[5];
      left = std::min(left, px);
      right = std::max(right, px);
      top = std::min(top, py);
      bottom = std::max(bottom, py);
    }
  }
  if (!(left <= right && top <= bottom)) return 0;
  const double w = std::clamp(right, 0.0, double(width_)) - std::clamp(left, 0.0, double(width_));
  const double h = std::clamp(bottom, 0.0, double(height_)) - std::clamp(top, 0.0, double(height_));
  return w * h;
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

  Lease lease(*this);
  ErrorCapture errors;
  GDALDatasetH source = lease->Reading();
  // Pixels read at the overview the warp picks: beyond the bound, a decimated view of
  // the dataset instead, whose reads take the finest overview that is coarse enough.
  const double sourcePixels = SourcePixels(lease->fromLonLat, window);
  const double perTarget = std::sqrt(sourcePixels) / window.Size;
  double overview = 1;
  for (const double f : overviewFactors_) {
    if (f <= perTarget) overview = f;
  }
  Dataset decimated;
  if (sourcePixels / (overview * overview) > kMostSourcePixels) {
    const double d = std::sqrt(sourcePixels / kMostSourcePixels);
    const std::string w = std::to_string(std::max(1, static_cast<int>(std::ceil(width_ / d))));
    const std::string h = std::to_string(std::max(1, static_cast<int>(std::ceil(height_ / d))));
    CPLStringList viewArgs;
    for (const char* arg : {"-of", "VRT", "-outsize", w.c_str(), h.c_str(), "-r", "near"}) {
      viewArgs.AddString(arg);
    }
    std::unique_ptr<GDALTranslateOptions, decltype(&GDALTranslateOptionsFree)> viewOptions(
        GDALTranslateOptionsNew(viewArgs.List(), nullptr), &GDALTranslateOptionsFree);
    int viewError = 0;
    if (viewOptions) decimated.reset(GDALTranslate("", source, viewOptions.get(), &viewError));
    if (!decimated) throw ReadError(errors.Told());
    source = decimated.get();
  }

  const std::string size = std::to_string(window.Size);
  // WGS 84 / UTM zone N north: its northings run on, signed, south of the equator.
  const std::string srs = "EPSG:" + std::to_string(32600 + window.Zone);
  const std::string te[4] = {Number(window.West), Number(south), Number(east),
                             Number(window.North)};
  CPLStringList argv;
  for (const char* arg : {"-of",          "MEM",
                          "-q",           "-nomd",
                          "-t_srs",       srs.c_str(),
                          "-te",          te[0].c_str(),
                          te[1].c_str(),  te[2].c_str(),
                          te[3].c_str(),  "-ts",
                          size.c_str(),   size.c_str(),
                          "-r",           colours_ == RasterColours::Palette ? "near" : "cubic",
                          "-ovr",         decimated ? "NONE" : "AUTO",
                          "-dstalpha",    "-wo",
                          "NUM_THREADS=1"}) {
    argv.AddString(arg);
  }
  std::unique_ptr<GDALWarpAppOptions, decltype(&GDALWarpAppOptionsFree)> options(
      GDALWarpAppOptionsNew(argv.List(), nullptr), &GDALWarpAppOptionsFree);
  if (!options) throw EImageryError("GDAL refused the warp options: " + errors.Message());
  const auto deadline = std::chrono::steady_clock::now() + kMostWarpTime;
  GDALWarpAppOptionsSetProgress(options.get(), &WarpProgress,
                                const_cast<std::chrono::steady_clock::time_point*>(&deadline));
  int usageError = 0;
  const Dataset warped(GDALWarp("", nullptr, 1, &source, options.get(), &usageError));
  if (!warped && gCancelled) throw EImageryError("The service is stopping");
  if (!warped && std::chrono::steady_clock::now() >= deadline) {
    throw EImageryError("Cannot read the dataset " + path_ + ": the tile took longer than " +
                        std::to_string(kMostWarpTime.count()) + " s");
  }
  if (!warped) throw ReadError(errors.Told());

  // Colour bands first, the alpha band last; further bands (near infrared) are dropped.
  const int bands = GDALGetRasterCount(warped.get());
  if (bands < 2) throw EImageryError("The warp of " + path_ + " lost its alpha band");
  const std::size_t pixels = static_cast<std::size_t>(window.Size) * window.Size;
  // Straight into the interleaved pixels: the colour bands (the last one again when
  // there are fewer than asked), then the alpha band.
  const int colourBands = std::min(colourBytes, bands - 1);
  int bandMap[4];
  for (int c = 0; c < colourBytes; ++c) bandMap[c] = std::min(c, colourBands - 1) + 1;
  bandMap[colourBytes] = bands;
  out.Pixels.resize(pixels * out.Channels);
  if (GDALDatasetRasterIO(warped.get(), GF_Read, 0, 0, window.Size, window.Size, out.Pixels.data(),
                          window.Size, window.Size, GDT_Byte, out.Channels, bandMap, out.Channels,
                          static_cast<GSpacing>(out.Channels) * window.Size, 1) != CE_None) {
    throw ReadError(errors.Told());
  }
  if (const std::string trouble = errors.Told(); !trouble.empty()) Remember(trouble);
  const std::uint8_t* alpha = out.Pixels.data() + colourBytes;
  for (std::size_t i = 0; i < pixels && !out.AnyCovered; ++i, alpha += out.Channels) {
    out.AnyCovered = *alpha != 0;
  }
  return out;
}

}  // namespace quorvil::mapservice
