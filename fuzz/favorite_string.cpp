// The stored favourite reader; the first byte picks the decimal separator. A favourite it
// reads has a zoom level in range, and the text written back from it reads back alike.

#include "FuzzSupport.h"
#include "places/FavoriteSupport.h"
#include "platform/ProgramError.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view separator = data[0] % 2 == 0 ? "." : ",";
  try {
    const TFavorite favorite = ParseFavoriteString(fuzz::AsText(data + 1, size - 1), separator);
    fuzz::Check(favorite.ZoomLevel >= 10 && favorite.ZoomLevel <= 16, "zoom level out of range");
    const std::string again =
        BuildFavoriteString(favorite.ZoomLevel, favorite.Longitude, favorite.Latitude, separator);
    const TFavorite reread = ParseFavoriteString(again, separator);
    fuzz::Check(reread.ZoomLevel == favorite.ZoomLevel,
                "a written favourite read back differently");
    fuzz::Check(BuildFavoriteString(reread.ZoomLevel, reread.Longitude, reread.Latitude,
                                    separator) == again,
                "a written favourite wrote back differently");
  } catch (const EQuorvilError&) {
  }
  return 0;
}
