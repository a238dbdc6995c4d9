// The history entry reader; the first byte picks the decimal separator. An entry it reads
// has a zoom level in range, and the entry written back from it reads back alike.

#include <cmath>

#include "FuzzSupport.h"
#include "places/HistorySupport.h"
#include "platform/ProgramError.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view separator = data[0] % 2 == 0 ? "." : ",";
  try {
    const THistoryEntry entry = ParseHistoryString(fuzz::AsText(data + 1, size - 1), separator);
    fuzz::Check(entry.ZoomLevel >= 10 && entry.ZoomLevel <= 16, "zoom level out of range");
    const std::string again = BuildHistoryString(entry.PlaceText, entry.ZoomLevel, entry.Longitude,
                                                 entry.Latitude, separator);
    const THistoryEntry reread = ParseHistoryString(again, separator);
    fuzz::Check(reread.PlaceText == entry.PlaceText && reread.ZoomLevel == entry.ZoomLevel,
                "a written entry read back differently");
  } catch (const EQuorvilError&) {
  }
  return 0;
}
