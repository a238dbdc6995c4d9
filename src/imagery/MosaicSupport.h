#pragma once

// Turning an area of the map service into a picture: its tiles fetched through the tile
// store, decoded and drawn at their places, and the area arithmetic around it.

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "imagery/Bitmap24.h"
#include "imagery/JpegCodec.h"
#include "imagery/ZoomLevels.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// Called after every tile with the percentage done; setting cancel stops the drawing.
using TProgressCallback = std::function<void(bool& cancel, int percent)>;

// What a drawing met besides the tiles it drew. Tiles are named by their index in the
// area, row by row from the north-west tile.
struct TMosaicReport {
  std::vector<std::int64_t> Missing;  // the service has no tile there (ETileMissing)
  std::vector<std::int64_t> Failed;   // could not be fetched, also after their retries
  std::exception_ptr Failure;         // the error of the first failed tile
  std::int64_t Tile = -1;             // the tile the current progress call is about
};

// A tile that could not be fetched (a transfer error, a time-out, a corrupt answer) is
// fetched again up to this many times in all, after a pause that doubles each time; a
// fault the server sent on purpose is asked once more at most.
inline constexpr int kTileAttempts = 4;
inline constexpr int kFaultAttempts = 2;
inline constexpr std::chrono::milliseconds kTileRetryPause{150};

// Draws every tile of the area into the bitmap, row by row from north to south and
// west to east within a row, the north-west tile's pixel (XOffset, YOffset) falling on
// the bitmap's (0, 0); tiles are clipped to the bitmap. Returns false when the callback
// asked to stop, true when every tile was dealt with. Tiles the service does not have
// are left as the caller filled the bitmap. A failed tile waits for its retry while the
// others are drawn; when its retries fail too it counts as failed. With a report, the
// missing and failed tiles go there; without one, the first failure is thrown once every
// other tile is drawn. An abort (Stop, Cancel) ends the drawing at once with its error.
// A tile whose cached bytes are not a picture is dropped from the cache and downloaded.
bool DrawAreaToBitmap(TBitmap24& bitmap, const AreaBoundingBox& area,
                      const TProgressCallback& progress = {}, TMosaicReport* report = nullptr);

// The same for the tiles of `only` alone (indices as in the report, e.g. the failed
// tiles of an earlier drawing); the percentages count those tiles.
bool DrawTilesToBitmap(TBitmap24& bitmap, const AreaBoundingBox& area,
                       const std::vector<std::int64_t>& only, const TProgressCallback& progress,
                       TMosaicReport* report);

// The pause before the retries of failed tiles begin to double (kTileRetryPause unless
// set; tests shorten it).
std::chrono::milliseconds TileRetryPause();
void SetTileRetryPause(std::chrono::milliseconds pause);

// The picture size of an area as the service returns it.
std::int64_t AreaPixelWidth(const AreaBoundingBox& area);
std::int64_t AreaPixelHeight(const AreaBoundingBox& area);
// Tiles of the area from its corner ids (0 when the corners are crossed); a count
// beyond 64 bits is an EQuorvilError.
std::int64_t AreaTileCount(const AreaBoundingBox& area);
// done x 100 div total, without overflow; 100 when there is nothing to do.
int ProgressPercent(std::int64_t done, std::int64_t total);
// The estimated download: AreaTileCount x kBytesPerTile, checked as AreaTileCount.
std::int64_t AreaDownloadBytes(const AreaBoundingBox& area);
// The estimate as "35.16 kb" or "1.00 mb", with the user's decimal separator.
std::string DownloadSizeText(const AreaBoundingBox& area, char decimalSeparator = '.');

// A black picture of the area's size; an area too large to hold is an EQuorvilError.
TBitmap24 NewAreaBitmap(const AreaBoundingBox& area);

// Moves the area by a pan of dx, dy view pixels (right and down positive, so the view
// moves west and north) and recomputes its corners for a view of width x height pixels,
// without asking the service. The corners' points are cleared and NearestPlace emptied.
void ShiftArea(AreaBoundingBox& area, int dx, int dy, int width, int height);

// Whether the next three bytes of the stream read "GIF" in any case. Moves the position.
bool IsGifStream(TMemoryStream& stream);

// A tile is a whole picture of one tile's size: anything else is a corrupt tile.
inline constexpr TPictureDemand kTileDemand{kTileSize, kTileSize, true};

// Decodes a tile's image file, GIF or JPEG by its first bytes, as kTileDemand demands.
TBitmap24 DecodeTileStream(TMemoryStream& stream);
TBitmap24 DecodeTileBytes(const std::uint8_t* data, std::size_t size);

// Copies the picture onto the target with its upper-left corner at (x, y), clipped.
void DrawPictureAt(TBitmap24& target, const TBitmap24& picture, std::int64_t x, std::int64_t y);

}  // namespace quorvil
