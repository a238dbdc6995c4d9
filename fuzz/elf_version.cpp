// The version stamp reader of executables, over any bytes taken as a whole file.

#include <span>

#include "FuzzSupport.h"
#include "platform/ProgramError.h"
#include "settings/VersionSupport.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    [[maybe_unused]] const TFileVersion version =
        GetVersionFromImage(std::span<const std::uint8_t>(data, size), "fuzz input");
  } catch (const EQuorvilError&) {
  }
  return 0;
}
