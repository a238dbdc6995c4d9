#pragma once

// Everything that talks to the map service on the program's behalf: the tile store
// with its disk cache (module state between InitializeTileService and
// FinalizeTileService) and the wrapped service calls with their retry prompt.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AppTypes.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSoapSupport.h"
#include "service/TileStore.h"

namespace quorvil {

// ---- Tile store ------------------------------------------------------------------------

// The assumed size of one downloaded tile; it sizes the cache and the download estimate.
inline constexpr std::int64_t kBytesPerTile = 9000;

// Starts the tile store: keeps the four values, builds the module's service proxy for
// the address (the default endpoint when empty) and one more for each of up to
// `connections` download workers, and reads the names of the cached tiles from the
// folder (a missing folder gives an empty index; an empty name keeps no tiles on disk). Any earlier
// start is finalized first.
void InitializeTileService(const std::string& serviceAddress, const std::string& cacheFolder,
                           std::int64_t tileLimit, int deletePercent,
                           int connections = kDefaultTileConnections);

// The same with a ready-made proxy (a test double, or a proxy built elsewhere), which the
// download workers share: it must take calls from several threads at once.
void InitializeTileService(std::shared_ptr<TerraServiceSoap> proxy,
                           const std::string& serviceAddress, const std::string& cacheFolder,
                           std::int64_t tileLimit, int deletePercent,
                           int connections = kDefaultTileConnections);

// The same with the workers' proxies made by `downloadProxy`, one for each worker.
void StartTileService(std::shared_ptr<TerraServiceSoap> proxy,
                      std::function<std::shared_ptr<TerraServiceSoap>()> downloadProxy,
                      const std::string& serviceAddress, const std::string& cacheFolder,
                      std::int64_t tileLimit, int deletePercent, int connections);

// Ends the workers (downloads in flight are aborted), drops the index and releases the
// proxy. Harmless when the store is not started.
void FinalizeTileService();

bool TileServiceStarted();

// The program's store; throws EQuorvilError when it is not started. Hold it no longer
// than a drawing.
std::shared_ptr<TTileStore> CurrentTileStore();

// The module's proxy; throws EQuorvilError when the store is not started.
TerraServiceSoap& ServiceProxy();

// The state the store was started with; the folder ends with a path separator.
std::string TileCacheFolder();
std::string TileServiceAddress();
std::int64_t TileCacheLimit();
int TileServiceConnections();

// The cache folder of the program: "Cache" beside the program file when that folder
// can be written, otherwise UserCacheFolder. Ends with a path separator, or is empty.
std::string ProgramCacheFolder();

// $XDG_CACHE_HOME/Quorvil/Cache/, else Quorvil/Cache/ in the user's cache below the home
// folder (UserHomeFolder). Empty when there is no home folder: no tiles are kept then,
// and the first tile says so (TakeTileCacheWarning).
std::string UserCacheFolder();

// The five fields joined by "-": Theme, Scale (ordinals), Scene, X, Y, e.g. 1-11-18--3-7.
std::string TileName(const TileId& id);

// The cache file of a tile: cache folder + TileName + ".TMP".
std::string TileFileName(const TileId& id);

// Fills the empty stream with the tile's image file: from the cache when it holds the
// tile (its last-write time then moves to now), otherwise from the service's GetTile on
// a download worker, waited for through WaitFor, and written to the cache. Service
// errors pass through unchanged, without a retry prompt; an empty answer fails with
// ETileMissing ("LoadTileToStream: No tile data returned."). Whatever stands under the
// tile's name and is not a tile file is removed and the tile downloaded again; a tile
// that cannot be written to the cache is delivered all the same (see
// TakeTileCacheWarning).
void LoadTileToStream(TMemoryStream& stream, const TileId& id);

// Once after a tile could not be written to the cache folder: the note that tiles are
// not being kept, and why; empty otherwise, and when the store is not started.
std::string TakeTileCacheWarning();

// Removes a tile from the cache, file, index and decoded picture, so that the next
// request downloads it again: for a Reload, or a tile whose bytes are not a picture.
void DiscardCachedTile(const TileId& id);

// True when the index holds more names than the tile limit.
bool CacheOverLimit();

// Deletes the least recently used cache files (by their last-write times): the excess
// over the limit plus the delete percent of the limit, one more than that difference in
// all. Afterwards the index holds exactly the names of the files still in the folder.
void TrimTileCache();

// Removes the name from the index if it is there.
void RemoveFromTileIndex(const std::string& tileName);

std::int64_t TileIndexCount();
bool TileIndexContains(const std::string& tileName);

// The number of tile files in the cache now, their bytes in `bytes`: the started store's
// folder, or the program's cache folder before the store starts.
std::int64_t CachedTileFiles(std::int64_t* bytes = nullptr);
// Deletes every cached tile (files, index and decoded pictures). False, deleting
// nothing, while tiles are being fetched.
bool ClearTileCache();

// The number of files TrimTileCache deletes from `listed` files: n + 1 for
// n = (listed - limit) + limit * percent div 100 when n >= 0 (at most all), else 0.
std::int64_t TrimDeleteCount(std::int64_t listed, std::int64_t tileLimit, int deletePercent);

// Standard Base64 with "=" padding; characters outside the alphabet (line breaks and
// the like) are skipped, and decoding ends at the first "=". Appends to the stream.
void DecodeBase64ToStream(std::string_view text, TMemoryStream& stream);

// ---- Service access --------------------------------------------------------------------

// Aborts every transfer in flight at this moment, the wrapped service calls' and the tile
// downloads', within a quarter of a second; each ends in ETransferAborted, which neither
// the retry prompt nor the error display shows. Later transfers are not affected. For
// Stop and Cancel; any thread may call it.
void AbortServiceTransfers();

// Asks whether to repeat a failed service call. Returns on "Yes"; any other answer
// throws ESilentAbort.
void AskToRetryServiceCall(const std::exception& error);

// The prompt's text for an error message: three paragraphs separated by blank lines.
std::string RetryPromptText(const std::string& message);

// Calls on the module's proxy, repeated for as long as they fail and the user answers
// "Yes" to AskToRetryServiceCall. Results belong to the caller.
std::unique_ptr<AreaBoundingBox> ServiceGetAreaFromPt(const LonLatPt& center, Theme theme,
                                                      Scale scale, int width, int height);
std::unique_ptr<AreaBoundingBox> ServiceGetAreaFromRect(const LonLatPt& upperLeft,
                                                        const LonLatPt& lowerRight, Theme theme,
                                                        Scale scale);
std::unique_ptr<TileMeta> ServiceGetTileMetaFromTileId(const TileId& id);
std::string ServiceGetNearestPlace(const LonLatPt& point);
ArrayOfPlaceFacts ServiceGetPlaceList(const std::string& placeName, int maxItems,
                                      bool imagePresence);

// The area of a selection: its north-west corner as upper left, its south-east corner
// as lower right.
std::unique_ptr<AreaBoundingBox> GetAreaForSelection(const TSelectionRec& selection, Theme theme,
                                                     Scale scale);

std::string GetNearestPlaceName(double latitude, double longitude);

// The point the address test asks about (Central Park, New York).
inline constexpr LonLatPt kTestServerPoint{-73.965, 40.784};

// Whether the service at `address` (the default endpoint when empty) answers; asks to
// retry on failure, and "No" gives false. Uses a proxy of its own; the module's proxy
// is not touched.
bool TestServerAddress(const std::string& address);

// The address test over a given proxy.
bool TestServiceProxy(TerraServiceSoap& proxy);

}  // namespace quorvil
