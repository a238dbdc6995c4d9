#include "output/OutputPicture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "imagery/MosaicSupport.h"
#include "platform/ProgramError.h"
#include "service/ServiceTextSupport.h"

namespace quorvil {

namespace {

std::string MegabytesText(std::int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / 1048576.0);
  return text;
}

// Output pictures run to hundreds of megabytes: in 2 MB pages their first touch costs a
// few hundred page faults instead of tens of thousands.
void PreferLargePages(std::uint8_t* data, std::int64_t bytes) {
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const auto first = (reinterpret_cast<std::uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  const auto last = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kLargePage - 1);
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

std::int64_t AvailableMemoryBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::int64_t kilobytes = 0;
  std::string unit;
  while (meminfo >> key >> kilobytes >> unit) {
    if (key == "MemAvailable:") return kilobytes * 1024;
  }
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? std::int64_t{pages} * pageSize : INT64_MAX;
}

TBitmap24 NewOutputPicture(const AreaBoundingBox& area, std::int64_t availableBytes) {
  const std::int64_t width = AreaPixelWidth(area);
  const std::int64_t height = AreaPixelHeight(area);
  const std::string size = std::to_string(width) + " x " + std::to_string(height) + " pixels";
  if (width <= 0 || height <= 0) {
    throw EQuorvilError("The picture of the selection cannot be made: it is " + size + ".");
  }
  // Sides beyond int cannot be held at all, nor byte counts beyond 64 bits.
  const bool representable =
      width <= INT_MAX && height <= INT_MAX && width <= INT64_MAX / 3 / height;
  const std::int64_t bytes = representable ? width * height * 3 : INT64_MAX;
  if (!representable || bytes > availableBytes) {
    const std::string need = representable ? " (" + MegabytesText(bytes) + ")" : "";
    throw EQuorvilError("The picture of the selection, " + size + need +
                        ", is too large for the available memory. Choose a coarser zoom level "
                        "or a smaller selection.");
  }
  TBitmap24 picture(static_cast<int>(width), static_cast<int>(height));
  PreferLargePages(picture.Data(), picture.ByteCount());
  std::memset(picture.Data(), 0xFF, static_cast<std::size_t>(picture.ByteCount()));
  return picture;
}

TBitmap24 NewOutputPicture(const AreaBoundingBox& area) {
  return NewOutputPicture(area, AvailableMemoryBytes());
}

std::string MissingTilesText(std::int64_t missing, std::int64_t failed, std::int64_t total,
                             const std::string& failure) {
  const std::string of = " of " + std::to_string(total) + " tiles ";
  std::string text;
  if (failed > 0) {
    text = std::to_string(failed) + of + "could not be downloaded. The error was: \"" +
           ServiceTextForDisplay(failure) + "\"\n\n";
  }
  if (missing > 0) {
    text +=
        std::to_string(missing) + of + "have no imagery; that part of the picture is left white.";
  }
  if (failed > 0) {
    if (missing > 0) text += "\n\n";
    text += "Download the tiles that failed again? \"No\" goes on with the picture as it is.";
  }
  return text;
}

}  // namespace quorvil
