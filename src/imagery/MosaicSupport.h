#pragma once

// Turning an area of the map service into a picture: its tiles fetched through the tile
// store, decoded and drawn at their places, and the area arithmetic around it.

#include <cstdint>
#include <functional>
#include <string>

#include "imagery/Bitmap24.h"
#include "imagery/JpegCodec.h"
#include "imagery/ZoomLevels.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// Called after every tile with the percentage done; setting cancel stops the drawing.
using TProgressCallback = std::function<void(bool& cancel, int percent)>;

// Draws every tile of the area into the bitmap, row by row from north to south and
// west to east within a row, the north-west tile's pixel (XOffset, YOffset) falling on
// the bitmap's (0, 0); tiles are clipped to the bitmap. Returns false when the callback
// asked to stop, true when all tiles were drawn. A tile that cannot be fetched or
// decoded ends the drawing with its error, the tiles drawn so far staying; a tile whose
// bytes are not a picture is dropped from the cache first.
bool DrawAreaToBitmap(TBitmap24& bitmap, const AreaBoundingBox& area,
                      const TProgressCallback& progress = {});

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

// Copies the picture onto the target with its upper-left corner at (x, y), clipped.
void DrawPictureAt(TBitmap24& target, const TBitmap24& picture, std::int64_t x, std::int64_t y);

}  // namespace quorvil
