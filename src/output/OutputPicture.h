#pragma once

// The picture that Save As, Print and Copy fill: the area's pixel size, white until tiles
// are drawn into it. Its size is checked against the memory the system can still give
// before anything is downloaded, so that a selection too large at a fine zoom level is an
// error up front instead of a process that the system kills halfway through.

#include <cstdint>
#include <string>

#include "imagery/Bitmap24.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// The bytes of memory the system can give without swapping (MemAvailable of
// /proc/meminfo; the physical memory when that cannot be read).
std::int64_t AvailableMemoryBytes();

// A white 24-bit picture of AreaPixelWidth x AreaPixelHeight of the area. Throws
// EQuorvilError when the size is empty or the picture needs more than `availableBytes`.
TBitmap24 NewOutputPicture(const AreaBoundingBox& area, std::int64_t availableBytes);
TBitmap24 NewOutputPicture(const AreaBoundingBox& area);

// What the user is told after a download in which tiles had no imagery or failed: how
// many of how many, and, when any failed, the question whether to download those again
// (`failure` is the first failed tile's error). Empty when every tile was drawn.
std::string MissingTilesText(std::int64_t missing, std::int64_t failed, std::int64_t total,
                             const std::string& failure);

}  // namespace quorvil
