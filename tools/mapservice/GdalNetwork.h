#pragma once

// How GDAL reaches tile services on the network: its own tile cache under the user's
// cache folder, bounded in size; a user-agent naming the program; time-outs so that a
// dead network answers within seconds; and the plain cause of a failed tile download.

#include <cstdint>
#include <string>

namespace quorvil::mapservice {

// The bound of GDAL's tile cache, all tile services together.
inline constexpr std::int64_t kGdalCacheBytes = 512ll << 20;

// `$XDG_CACHE_HOME/Quorvil/gdal` (default `~/.cache/Quorvil/gdal`).
std::string GdalCacheFolder();

// Sets GDAL's network options for the process: the cache folder of tile-service
// descriptions that ask for a cache, the user-agent, the connect and read time-outs.
// An option already set in the environment keeps its value. Then trims the cache
// folder, the files used longest ago first, to kGdalCacheBytes. Call before any dataset
// opens.
void ConfigureGdalNetwork();

// Removes the files under `folder` used longest ago until at most `bytes` remain.
void TrimFolder(const std::string& folder, std::int64_t bytes);

// The fault text for a download failure GDAL reported while reading the tile-service
// description `path`, naming the service's host and the cause (host not found,
// connection refused or broken, time-out, HTTP status); empty when `told` is no such
// failure.
std::string RemoteTrouble(const std::string& path, const std::string& told);

}  // namespace quorvil::mapservice
