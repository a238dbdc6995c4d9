#pragma once

// The tile store: the cache folder with its in-memory index, the proxy of the wrapped
// service calls, the workers that download missing tiles several at a time, one
// kept-alive connection each, and the readers that read and check cached tiles ahead of
// their use, one a core. Any thread may use it; a tile that several callers want at
// once is downloaded once.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/ProgramError.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

inline constexpr const char* kNoTileDataText = "LoadTileToStream: No tile data returned.";

// The service has no tile here (an empty GetTile answer): nothing is kept, and a picture
// draws past it. A tile that could not be fetched is any other error.
class ETileMissing : public EQuorvilError {
 public:
  ETileMissing() : EQuorvilError(kNoTileDataText) {}
};

// What a downloaded tile must pass before it is kept: throws EQuorvilError for bytes that
// are not a whole tile, and returns what it made of them (the decoded picture), which
// goes to whoever takes the tile. Runs on the worker that fetched the tile, or on the
// thread that read it from the cache; several at once.
using TTileCheck =
    std::function<std::shared_ptr<const void>(const std::vector<std::uint8_t>& bytes)>;

// The check every store started from now on runs on its downloads and cache reads; none
// by default.
void SetTileCheck(TTileCheck check);
TTileCheck CurrentTileCheck();

// Checked tiles a store remembers, the least recently used forgotten first: two full
// 1920 x 1080 views of both layers (4 x 77 tiles), about 45 MB of pictures and files,
// so that a pan, Back or a redraw does not decode a tile again.
inline constexpr std::size_t kCheckedTileMemo = 320;

// What the cache folder holds now: its tile files and their bytes.
struct TCacheUsage {
  std::int64_t files = 0;
  std::int64_t bytes = 0;
};
TCacheUsage CacheFolderUsage(const std::string& folder);
// Deletes every tile file of the folder; a failed delete is ignored.
void ClearCacheFolder(const std::string& folder);

inline constexpr int kDefaultTileConnections = 8;
inline constexpr int kMaxTileConnections = 16;

struct TTileStoreSettings {
  std::string cacheFolder;  // ends with a path separator
  std::int64_t tileLimit = 0;
  int deletePercent = 0;
  std::string serviceAddress;
  int connections = kDefaultTileConnections;  // downloads in flight at most, 1 to 16
};

struct TTileDownload;
class TTileStore;

// One tile asked for: found in the index when it was asked for, or a download shared with
// everyone else who wants the tile. Dropped before it is taken, it gives up a download
// that has not begun and that nobody else wants.
class TTileRequest {
 public:
  TTileRequest() = default;
  ~TTileRequest();
  TTileRequest(TTileRequest&& other) noexcept;
  TTileRequest& operator=(TTileRequest&& other) noexcept;

 private:
  friend class TTileStore;
  void Release();

  TTileStore* store_ = nullptr;
  TileId id_{};
  std::string name_;
  std::shared_ptr<TTileDownload> download_;  // empty: from the cache
};

class TTileStore {
 public:
  using TProxyFactory = std::function<std::shared_ptr<TerraServiceSoap>()>;

  // `proxy` serves the wrapped calls. Each download worker takes a proxy of its own from
  // `downloadProxy`; without one the workers share `proxy`, which must then take calls
  // from several threads at once. Reads the index from the folder, removing what a
  // crashed writer left behind.
  TTileStore(TTileStoreSettings settings, std::shared_ptr<TerraServiceSoap> proxy,
             TProxyFactory downloadProxy = {});
  // Shuts down first.
  ~TTileStore();
  TTileStore(const TTileStore&) = delete;
  TTileStore& operator=(const TTileStore&) = delete;

  const TTileStoreSettings& Settings() const { return settings_; }
  TerraServiceSoap* Proxy() const { return proxy_.get(); }
  std::string FileOf(const std::string& tileName) const;

  // Asks for a tile without waiting: a tile missing from the index starts downloading,
  // not before `notBefore` (a retry's pause, which holds no worker).
  TTileRequest Request(const TileId& id, std::chrono::steady_clock::time_point notBefore = {});
  // Fills the empty stream with the requested tile, rewound: from the cache file (whose
  // last use becomes now), or from the download, waited for through WaitFor. A cache
  // file that cannot be read as a tile is removed and the tile downloaded again. A
  // failed download throws its error: the service's own, ETileMissing for an empty
  // answer, the check's for a corrupt tile, ETransferAborted when it was aborted. With
  // `checked`, the check's result goes there: a cache file the check refuses is
  // discarded and its error thrown. Without it a cache file is not checked.
  void Take(TTileRequest& request, TMemoryStream& stream,
            std::shared_ptr<const void>* checked = nullptr);
  void Load(TMemoryStream& stream, const TileId& id);
  // Has a request of a cached tile read and checked by a reader, so that its Take finds
  // it done. Nothing for a download, or without a check.
  void ReadAhead(TTileRequest& request);

  // Removes the tile's file, its name and its checked picture, so that the next request
  // downloads it again.
  void Discard(const TileId& id);

  TCacheUsage Usage() const;
  // Deletes every cached tile and empties the index, unless downloads are pending (a
  // drawing is fetching tiles): then nothing is deleted and the answer is false.
  bool Clear();

  bool OverLimit() const;
  // Deletes the least recently used files: TrimDeleteCount of them. Afterwards the
  // index holds the names of the files still in the folder.
  void Trim();
  void RemoveFromIndex(const std::string& tileName);
  std::int64_t IndexCount() const;
  bool IndexContains(const std::string& tileName) const;

  // Downloads asked for that have not ended yet, begun or waiting.
  std::int64_t DownloadsPending() const;

  // Once after a tile could not be written to the cache: the note that tiles are not
  // being kept, and why. Empty otherwise.
  std::string TakeCacheWarning();

  // Ends, with ETransferAborted, every download not yet begun that was asked for before
  // the latest AbortSoapTransfers; those on the wire end by that abort themselves.
  void FailAbortedDownloads();

  // Ends the workers: waiting downloads fail with ETransferAborted, those on the wire
  // are aborted. Afterwards every Request fails. Harmless a second time.
  void Shutdown();

 private:
  friend class TTileRequest;
  using TDownloadPtr = std::shared_ptr<TTileDownload>;

  bool JoinDownload(TTileRequest& request);
  void StartDownload(TTileRequest& request, std::chrono::steady_clock::time_point notBefore = {});
  // Under the lock: the first waiting download whose time has come, or null; `next` is
  // when the earliest of the others may begin.
  std::shared_ptr<TTileDownload> NextReady(std::chrono::steady_clock::time_point& next);
  void Release(TTileDownload& download);
  void Finish(const TDownloadPtr& download);
  void Enqueue(const TDownloadPtr& download);
  void Work();
  void Fetch(TTileDownload& download, std::shared_ptr<TerraServiceSoap>& proxy);
  void ReadWork();
  // Reads the tile that a read of the cache stands for; begun, it is not given up.
  void Read(const TDownloadPtr& read);
  // The cached tile's bytes and, with `check`, its checked picture; false when the file
  // cannot be read as a tile (a refused one is removed). Throws the check's error once
  // the file is discarded.
  bool ReadCached(const std::string& name, bool check, std::vector<std::uint8_t>& bytes,
                  std::shared_ptr<const void>& checked);
  void DiscardName(const std::string& name);

  struct TChecked {
    std::vector<std::uint8_t> bytes;
    std::shared_ptr<const void> checked;
  };
  using TCheckedPtr = std::shared_ptr<const TChecked>;
  // Under the lock. A read stands for the bytes only when they are the same: the
  // folder may be written behind the store's back, by another program sharing it.
  TCheckedPtr Recall(const std::string& name);
  void Remember(const std::string& name, TCheckedPtr entry, std::uint64_t generation);
  void Forget(const std::string& name);

  const TTileStoreSettings settings_;
  const std::shared_ptr<TerraServiceSoap> proxy_;
  const TProxyFactory downloadProxy_;
  const TTileCheck check_;

  mutable std::mutex mutex_;
  std::condition_variable work_;      // for the workers: a download is waiting, or stop
  std::condition_variable finished_;  // for the callers: a download has ended
  std::set<std::string> index_;
  std::map<std::string, TDownloadPtr> downloads_;  // by tile name, until they end
  std::deque<TDownloadPtr> waiting_;               // not yet begun, in the order asked
  std::deque<TDownloadPtr> reads_;                 // cache reads not yet begun
  std::condition_variable readable_;               // for the readers: a read, or stop
  std::vector<std::thread> readers_;
  // The memo of checked tiles, most recently used first; a Discard or Clear raises the
  // generation, so that a check begun before it is not remembered after it.
  std::list<std::pair<std::string, TCheckedPtr>> memo_;
  std::unordered_map<std::string, decltype(memo_)::iterator> memoed_;
  std::uint64_t memoGeneration_ = 0;
  std::int64_t running_ = 0;
  std::int64_t idle_ = 0;
  std::vector<std::thread> workers_;
  std::atomic<bool> stopping_{false};
  std::once_flag folderMade_;
  bool warned_ = false;
  std::string warning_;
};

// The tiles of one drawing in the order they are drawn, row by row from the north-west
// tile (or only the tiles of `only`, indices counted that way, in its order): with
// several connections, up to twice as many tiles as connections are asked for ahead of
// their use, so that they download, or are read and checked, while earlier ones are
// drawn; with one connection none are, and tiles come one after another.
class TTileRun {
 public:
  TTileRun(TTileStore& store, const TileId& northWest, std::int64_t columns, std::int64_t rows,
           std::vector<std::int64_t> only = {});

  std::int64_t Count() const { return count_; }
  // The area's index of the tile the next TakeNext gives.
  std::int64_t NextIndex() const { return IndexAt(next_); }
  TileId IdOfIndex(std::int64_t index) const;

  // Fills the empty stream with the next tile (see TTileStore::Take).
  void TakeNext(TMemoryStream& stream, std::shared_ptr<const void>* checked = nullptr);

 private:
  std::int64_t IndexAt(std::int64_t position) const {
    return only_.empty() ? position : only_[static_cast<std::size_t>(position)];
  }

  TTileStore& store_;
  TileId northWest_;
  std::int64_t columns_;
  std::vector<std::int64_t> only_;
  std::int64_t count_;
  std::int64_t lookahead_;
  std::int64_t next_ = 0;   // the next tile to take
  std::int64_t asked_ = 0;  // tiles asked for so far
  std::deque<TTileRequest> ahead_;
};

}  // namespace quorvil
