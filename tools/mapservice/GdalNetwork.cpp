#include "mapservice/GdalNetwork.h"

#include <cpl_conv.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <pugixml.hpp>
#include <vector>

namespace quorvil::mapservice {

namespace {

namespace fs = std::filesystem;

// A download that has stalled this many seconds is given up, so a dead network answers
// within seconds (connecting has its own time-out, set with the drivers). The whole
// download's limit is the description's own (<Timeout>): GDAL's tile
// services take no other.
constexpr const char* kStallSeconds = "10";

void SetUnlessGiven(const char* option, const std::string& value) {
  if (std::getenv(option) == nullptr) CPLSetConfigOption(option, value.c_str());
}

// "host[:port]" of the description's ServerUrl; empty for anything else.
std::string ServerHost(const std::string& path) {
  pugi::xml_document doc;
  if (!doc.load_file(path.c_str())) return {};
  const std::string url = doc.child("GDAL_WMS").child("Service").child("ServerUrl").child_value();
  const std::size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  const std::size_t start = scheme + 3;
  return url.substr(start, url.find_first_of("/?", start) - start);
}

bool Says(const std::string& text, const char* what) {
  return text.find(what) != std::string::npos;
}

// The cause in a few words, from GDAL's "HTTP status code: N, error: TEXT" of a download.
std::string Cause(const std::string& told) {
  constexpr std::string_view kStatus = "HTTP status code: ";
  const std::size_t at = told.find(kStatus);
  if (at == std::string::npos) return {};
  const int status = std::atoi(told.c_str() + at + kStatus.size());
  const std::size_t errorAt = told.find("error: ", at);
  const std::string error = errorAt == std::string::npos ? std::string() : told.substr(errorAt + 7);
  if (status >= 300) return "HTTP status " + std::to_string(status);
  if (Says(error, "resolve host") || Says(error, "resolve proxy")) return "host not found";
  if (Says(error, "timed out") || Says(error, "Timeout was reached") || Says(error, "too slow")) {
    return "time-out";
  }
  if (Says(error, "refused") || Says(error, "Couldn't connect")) return "connection refused";
  if (Says(error, "reset") || Says(error, "Empty reply") || Says(error, "Recv failure") ||
      Says(error, "Send failure") || Says(error, "closed")) {
    return "connection broken off";
  }
  const std::string plain = error.substr(0, error.find(".\n"));
  return plain.empty() ? "no answer" : plain;
}

}  // namespace

std::string GdalCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  fs::path base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    base = fs::path(home != nullptr && home[0] != '\0' ? home : "/tmp") / ".cache";
  }
  return (base / "Quorvil" / "gdal").string();
}

void ConfigureGdalNetwork() {
  const std::string folder = GdalCacheFolder();
  SetUnlessGiven("GDAL_DEFAULT_WMS_CACHE_PATH", folder);
  SetUnlessGiven("GDAL_HTTP_USERAGENT", "Quorvil/" QUORVIL_VERSION_TEXT " (quorvil-mapservice)");
  // The connect and read time-outs are set with the drivers (SetRemoteReadTimeouts).
  SetUnlessGiven("GDAL_HTTP_LOW_SPEED_TIME", kStallSeconds);
  SetUnlessGiven("GDAL_HTTP_LOW_SPEED_LIMIT", "1");
  TrimFolder(folder, kGdalCacheBytes);
}

void TrimFolder(const std::string& folder, std::int64_t bytes) {
  struct Entry {
    fs::file_time_type used;
    std::int64_t size;
    fs::path path;
  };
  std::vector<Entry> files;
  std::int64_t total = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    const auto size = static_cast<std::int64_t>(it->file_size(error));
    files.push_back({it->last_write_time(error), size, it->path()});
    total += size;
  }
  if (total <= bytes) return;
  std::sort(files.begin(), files.end(),
            [](const Entry& a, const Entry& b) { return a.used < b.used; });
  for (const Entry& file : files) {
    if (total <= bytes) break;
    if (fs::remove(file.path, error)) total -= file.size;
  }
}

std::string RemoteTrouble(const std::string& path, const std::string& told) {
  if (!Says(told, "GDALWMS") && !Says(told, "HTTP status code")) return {};
  const std::string cause = Cause(told);
  if (cause.empty()) return {};
  const std::string host = ServerHost(path);
  return "Cannot fetch imagery from " + (host.empty() ? std::string("the tile service") : host) +
         ": " + cause;
}

}  // namespace quorvil::mapservice
