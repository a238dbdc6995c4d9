#pragma once

// A tile server on the loopback standing in for a web tile service: 256-pixel JPEG tiles
// of Web Mercator, addressed as /{z}/{x}/{y}.jpg or, as ArcGIS map services do,
// /arcgis/rest/services/<name>/MapServer/tile/{z}/{y}/{x}. Each tile shows a pattern of
// square cells whose colour follows from the ground position, so that a test knows the
// colour everywhere. It counts the requests of each zoom level and can fail them.

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "imagery/Bitmap24.h"
#include "imagery/JpegCodec.h"

namespace quorvil::testing {

inline constexpr double kMercatorHalf = 20037508.342789244;

struct TMercatorColour {
  int r = 0, g = 0, b = 0;
};

// The colour of the cell of `cellMetres` at Web Mercator metres (x, y).
inline TMercatorColour MercatorColour(double x, double y, double cellMetres) {
  const auto cx = static_cast<long>(std::floor(x / cellMetres));
  const auto cy = static_cast<long>(std::floor(y / cellMetres));
  return {40 + static_cast<int>(((cx % 8) + 8) % 8) * 25,
          40 + static_cast<int>(((cy % 8) + 8) % 8) * 25, 128};
}

class TLoopbackTileServer {
 public:
  // How the server answers tile requests.
  enum class TFailure { None, Status500, Slow, Reset };

  explicit TLoopbackTileServer(double cellMetres, std::chrono::milliseconds slow = {})
      : cell_(cellMetres), slow_(slow) {
    server_.Get(R"(/(\d+)/(\d+)/(\d+)\.jpg)", [this](const auto& req, auto& res) {
      Answer(req, res, std::stoi(req.matches[1]), std::stoi(req.matches[2]),
             std::stoi(req.matches[3]));
    });
    server_.Get(R"(/arcgis/rest/services/\w+/MapServer/tile/(\d+)/(\d+)/(\d+))",
                [this](const auto& req, auto& res) {
                  Answer(req, res, std::stoi(req.matches[1]), std::stoi(req.matches[3]),
                         std::stoi(req.matches[2]));
                });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~TLoopbackTileServer() {
    server_.stop();
    thread_.join();
  }
  int Port() const { return port_; }
  int Requests() const { return requests_; }
  void Fail(TFailure failure) { failure_ = failure; }
  // Requests by zoom level since the last call, and the last user-agent.
  std::map<int, int> TakeCounts() {
    std::lock_guard lock(mutex_);
    return std::exchange(counts_, {});
  }
  std::string UserAgent() {
    std::lock_guard lock(mutex_);
    return userAgent_;
  }

 private:
  void Answer(const httplib::Request& req, httplib::Response& res, int z, int tx, int ty) {
    ++requests_;
    {
      std::lock_guard lock(mutex_);
      ++counts_[z];
      userAgent_ = req.get_header_value("User-Agent");
    }
    switch (failure_.load()) {
      case TFailure::Status500:
        res.status = 500;
        return res.set_content("<html>Internal error</html>", "text/html");
      case TFailure::Slow:
        std::this_thread::sleep_for(slow_);
        break;
      case TFailure::Reset:
        // The headers go out, then the connection closes before the promised body.
        return res.set_content_provider(
            1000, "image/jpeg", [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
      case TFailure::None:
        break;
    }
    const double size = 2 * kMercatorHalf / (256.0 * std::ldexp(1.0, z));
    TBitmap24 tile(256, 256);
    for (int y = 0; y < 256; ++y) {
      for (int x = 0; x < 256; ++x) {
        const TMercatorColour c =
            MercatorColour(-kMercatorHalf + (tx * 256 + x + 0.5) * size,
                           kMercatorHalf - (ty * 256 + y + 0.5) * size, cell_);
        std::uint8_t* p = tile.Pixel(x, y);
        p[0] = static_cast<std::uint8_t>(c.b);
        p[1] = static_cast<std::uint8_t>(c.g);
        p[2] = static_cast<std::uint8_t>(c.r);
      }
    }
    const std::vector<std::uint8_t> jpeg = EncodeJpeg(tile, 95);
    res.set_content(std::string(jpeg.begin(), jpeg.end()), "image/jpeg");
  }

  httplib::Server server_;
  std::thread thread_;
  double cell_;
  std::chrono::milliseconds slow_;
  int port_ = 0;
  std::atomic<int> requests_{0};
  std::atomic<TFailure> failure_{TFailure::None};
  std::mutex mutex_;
  std::map<int, int> counts_;
  std::string userAgent_;
};

}  // namespace quorvil::testing
