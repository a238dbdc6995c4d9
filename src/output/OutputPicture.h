#pragma once

// The picture that Save As, Print and Copy fill: the area's pixel size, white until tiles
// are drawn into it. Its size is checked against the memory the system can still give
// before anything is downloaded, so that a selection too large at a fine zoom level is an
// error up front instead of a process that the system kills halfway through.

#include <cstdint>

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

}  // namespace quorvil
