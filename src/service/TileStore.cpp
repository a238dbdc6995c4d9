#include "service/TileStore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include "platform/ProgramError.h"
#include "platform/WaitSupport.h"
#include "service/CacheFolder.h"
#include "service/SoapTransport.h"
#include "service/SystemSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {

namespace {

TTileStoreSettings Checked(TTileStoreSettings settings) {
  settings.connections = std::clamp(settings.connections, 1, kMaxTileConnections);
  return settings;
}

struct TCheckSlot {
  std::mutex mutex;
  TTileCheck check;
};

TCheckSlot& CheckSlot() {
  static TCheckSlot slot;
  return slot;
}

int ReaderCount() {
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
}

}  // namespace

TTileCheck CurrentTileCheck() {
  TCheckSlot& slot = CheckSlot();
  std::lock_guard lock(slot.mutex);
  return slot.check;
}

TCacheUsage CacheFolderUsage(const std::string& folder) {
  TCacheUsage usage;
  for (const TCachedFile& file : CacheFilesByAge(folder)) {
    struct stat info {};
    if (::lstat((folder + file.name + ".TMP").c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      continue;
    ++usage.files;
    usage.bytes += info.st_size;
  }
  return usage;
}

void ClearCacheFolder(const std::string& folder) {
  for (const TCachedFile& file : CacheFilesByAge(folder)) {
    ::unlink((folder + file.name + ".TMP").c_str());
  }
}

void SetTileCheck(TTileCheck check) {
  TCheckSlot& slot = CheckSlot();
  std::lock_guard lock(slot.mutex);
  slot.check = std::move(check);
}

enum class TDownloadState { dsWaiting, dsRunning, dsEnded };

struct TTileDownload {
  TileId id;
  std::string name;
  std::uint64_t generation = 0;  // the abort generation it was asked for in
  int wanted = 0;                // requests that hold it
  bool fromCache = false;        // a read of the cache file, until it turns into a download
  TDownloadState state = TDownloadState::dsWaiting;
  std::chrono::steady_clock::time_point notBefore;
  std::vector<std::uint8_t> bytes;  // once ended without an error
  std::shared_ptr<const void> checked;
  std::exception_ptr error;
};

// ---- Requests ----------------------------------------------------------------------------

TTileRequest::~TTileRequest() { Release(); }

TTileRequest::TTileRequest(TTileRequest&& other) noexcept
    : store_(other.store_),
      id_(other.id_),
      name_(std::move(other.name_)),
      download_(std::move(other.download_)) {
  other.store_ = nullptr;
}

TTileRequest& TTileRequest::operator=(TTileRequest&& other) noexcept {
  if (this != &other) {
    Release();
    store_ = other.store_;
    id_ = other.id_;
    name_ = std::move(other.name_);
    download_ = std::move(other.download_);
    other.store_ = nullptr;
  }
  return *this;
}

void TTileRequest::Release() {
  if (store_ && download_) store_->Release(*download_);
  download_.reset();
}

// ---- The store ---------------------------------------------------------------------------

TTileStore::TTileStore(TTileStoreSettings settings, std::shared_ptr<TerraServiceSoap> proxy,
                       TProxyFactory downloadProxy)
    : settings_(Checked(std::move(settings))),
      proxy_(std::move(proxy)),
      downloadProxy_(std::move(downloadProxy)),
      check_(CurrentTileCheck()) {
  const std::vector<std::string> names = ScanCacheFolder(settings_.cacheFolder);
  index_ = std::set<std::string>(names.begin(), names.end());
}

TTileStore::~TTileStore() { Shutdown(); }

std::string TTileStore::FileOf(const std::string& tileName) const {
  // Without a cache folder no tile has a file (never one in the working folder).
  if (settings_.cacheFolder.empty()) return {};
  return settings_.cacheFolder + tileName + ".TMP";
}

TTileRequest TTileStore::Request(const TileId& id,
                                 std::chrono::steady_clock::time_point notBefore) {
  TTileRequest request;
  request.store_ = this;
  request.id_ = id;
  request.name_ = TileName(id);
  // Made at the first request, as the cache has always done, but once and not per tile.
  std::call_once(folderMade_, [&] { CreateOwnerOnlyFolders(settings_.cacheFolder); });
  std::lock_guard lock(mutex_);
  if (stopping_) throw EQuorvilError("The tile service has been stopped");
  if (!JoinDownload(request) && !index_.contains(request.name_)) StartDownload(request, notBefore);
  return request;
}

bool TTileStore::JoinDownload(TTileRequest& request) {
  const auto it = downloads_.find(request.name_);
  // One asked for before an abort is about to fail with it: that is not this request's.
  if (it == downloads_.end() || it->second->generation != SoapAbortGeneration()) return false;
  ++it->second->wanted;
  request.download_ = it->second;
  return true;
}

void TTileStore::StartDownload(TTileRequest& request,
                               std::chrono::steady_clock::time_point notBefore) {
  auto download = std::make_shared<TTileDownload>();
  download->notBefore = notBefore;
  download->id = request.id_;
  download->name = request.name_;
  download->generation = SoapAbortGeneration();
  download->wanted = 1;
  downloads_[request.name_] = download;
  request.download_ = download;
  Enqueue(download);
}

// Under the lock.
void TTileStore::Enqueue(const TDownloadPtr& download) {
  waiting_.push_back(download);
  if (static_cast<std::int64_t>(waiting_.size()) > idle_ &&
      static_cast<int>(workers_.size()) < settings_.connections) {
    workers_.emplace_back([this] { Work(); });
  }
  work_.notify_one();
}

void TTileStore::ReadAhead(TTileRequest& request) {
  if (request.download_ || !check_) return;
  std::lock_guard lock(mutex_);
  // Another caller's read of the same tile, asked for since this request, is shared.
  if (stopping_ || JoinDownload(request)) return;
  auto read = std::make_shared<TTileDownload>();
  read->id = request.id_;
  read->name = request.name_;
  read->generation = SoapAbortGeneration();
  read->wanted = 1;
  read->fromCache = true;
  downloads_[request.name_] = read;
  reads_.push_back(read);
  request.download_ = std::move(read);
  if (readers_.empty()) {
    for (int i = ReaderCount(); i > 0; --i) readers_.emplace_back([this] { ReadWork(); });
  }
  readable_.notify_one();
}

void TTileStore::Take(TTileRequest& request, TMemoryStream& stream,
                      std::shared_ptr<const void>* checked) {
  if (!request.download_) {
    std::vector<std::uint8_t> bytes;
    std::shared_ptr<const void> picture;
    if (ReadCached(request.name_, checked != nullptr, bytes, picture)) {
      if (checked) *checked = std::move(picture);
      stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
      stream.Rewind();
      return;
    }
    // The tile comes again from the service.
    std::lock_guard lock(mutex_);
    if (stopping_) throw EQuorvilError("The tile service has been stopped");
    index_.erase(request.name_);
    if (!JoinDownload(request)) StartDownload(request);
  }
  TTileDownload& download = *request.download_;
  const auto ended = [&] { return download.state == TDownloadState::dsEnded; };
  bool done = false;
  {
    std::unique_lock lock(mutex_);
    if (download.fromCache && download.state == TDownloadState::dsWaiting) {
      // No reader has come to it yet: this thread would only wait, so it reads.
      const auto it = std::find(reads_.begin(), reads_.end(), request.download_);
      if (it != reads_.end()) reads_.erase(it);
      download.state = TDownloadState::dsRunning;
      lock.unlock();
      Read(request.download_);
      lock.lock();
    }
    // A read takes a file and a decode, not a transfer: it is waited for here.
    finished_.wait(lock, [&] { return ended() || !download.fromCache; });
    done = ended();
  }
  if (!done) {
    WaitFor([&] {
      std::unique_lock lock(mutex_);
      finished_.wait(lock, ended);
    });
  }
  // An ended download changes no more.
  if (download.error) std::rethrow_exception(download.error);
  if (checked) *checked = download.checked;
  stream.Write(download.bytes.data(), static_cast<std::int64_t>(download.bytes.size()));
  stream.Rewind();
}

void TTileStore::Load(TMemoryStream& stream, const TileId& id) {
  TTileRequest request = Request(id);
  Take(request, stream);
}

void TTileStore::Release(TTileDownload& download) {
  std::lock_guard lock(mutex_);
  if (--download.wanted > 0 || download.state != TDownloadState::dsWaiting) return;
  // Nobody wants it and it has not begun: it is given up. One on the wire goes on and
  // keeps its tile.
  std::deque<TDownloadPtr>& queue = download.fromCache ? reads_ : waiting_;
  const auto it = std::find_if(queue.begin(), queue.end(),
                               [&](const TDownloadPtr& d) { return d.get() == &download; });
  if (it == queue.end()) return;
  const auto known = downloads_.find(download.name);
  if (known != downloads_.end() && known->second.get() == &download) downloads_.erase(known);
  download.state = TDownloadState::dsEnded;
  download.error = std::make_exception_ptr(ETransferAborted());
  queue.erase(it);
}

// Under the lock.
void TTileStore::Finish(const TDownloadPtr& download) {
  download->state = TDownloadState::dsEnded;
  const auto known = downloads_.find(download->name);
  if (known != downloads_.end() && known->second == download) downloads_.erase(known);
  finished_.notify_all();
}

void TTileStore::Work() {
  std::shared_ptr<TerraServiceSoap> proxy;  // this worker's connection, made when first used
  std::unique_lock lock(mutex_);
  for (;;) {
    ++idle_;
    TDownloadPtr download;
    while (!stopping_) {
      std::chrono::steady_clock::time_point next;
      download = NextReady(next);
      if (download) break;
      if (next == std::chrono::steady_clock::time_point::max()) {
        work_.wait(lock);
      } else {
        work_.wait_until(lock, next);
      }
    }
    --idle_;
    if (stopping_) return;
    if (download->generation != SoapAbortGeneration()) {
      download->error = std::make_exception_ptr(ETransferAborted());
      Finish(download);
      continue;
    }
    download->state = TDownloadState::dsRunning;
    ++running_;
    lock.unlock();
    Fetch(*download, proxy);
    lock.lock();
    --running_;
    Finish(download);
  }
}

TTileStore::TDownloadPtr TTileStore::NextReady(std::chrono::steady_clock::time_point& next) {
  const auto now = std::chrono::steady_clock::now();
  next = std::chrono::steady_clock::time_point::max();
  for (auto it = waiting_.begin(); it != waiting_.end(); ++it) {
    if ((*it)->notBefore <= now) {
      TDownloadPtr download = std::move(*it);
      waiting_.erase(it);
      return download;
    }
    next = std::min(next, (*it)->notBefore);
  }
  return nullptr;
}

void TTileStore::ReadWork() {
  std::unique_lock lock(mutex_);
  for (;;) {
    readable_.wait(lock, [&] { return stopping_ || !reads_.empty(); });
    if (stopping_) return;
    TDownloadPtr read = std::move(reads_.front());
    reads_.pop_front();
    read->state = TDownloadState::dsRunning;
    lock.unlock();
    Read(read);
    lock.lock();
  }
}

// Outside the lock.
void TTileStore::Read(const TDownloadPtr& read) {
  std::vector<std::uint8_t> bytes;
  std::shared_ptr<const void> checked;
  std::exception_ptr error;
  bool found = false;
  try {
    found = ReadCached(read->name, true, bytes, checked);
  } catch (...) {
    error = std::current_exception();
  }
  std::lock_guard lock(mutex_);
  if (found || error) {
    read->error = error;
    read->bytes = std::move(bytes);
    read->checked = std::move(checked);
    Finish(read);
    return;
  }
  // Gone from the cache: those who wait for it wait for its download instead.
  index_.erase(read->name);
  read->fromCache = false;
  if (stopping_) {
    read->error = std::make_exception_ptr(ETransferAborted());
    Finish(read);
    return;
  }
  read->state = TDownloadState::dsWaiting;
  Enqueue(read);
  finished_.notify_all();
}

bool TTileStore::ReadCached(const std::string& name, bool check, std::vector<std::uint8_t>& bytes,
                            std::shared_ptr<const void>& checked) {
  const std::string path = FileOf(name);
  const TCacheRead read = ReadCacheFile(path, bytes);
  if (read != TCacheRead::crRead) {
    // Whatever stands under the tile's name goes, where it can.
    if (read == TCacheRead::crRefused) RemoveCacheEntry(path);
    return false;
  }
  if (!check || !check_) return true;
  TCheckedPtr known;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    known = Recall(name);
    generation = memoGeneration_;
  }
  if (known && known->bytes == bytes) {
    checked = known->checked;
    return true;
  }
  try {
    checked = check_(bytes);
  } catch (const EQuorvilError& error) {
    // Left in the cache, the same bytes would fail on every later request.
    DiscardName(name);
    throw EQuorvilError("The tile file \"" + path + "\" is not a valid picture: " + error.what());
  }
  std::lock_guard lock(mutex_);
  Remember(name, std::make_shared<const TChecked>(TChecked{bytes, checked}), generation);
  return true;
}

TTileStore::TCheckedPtr TTileStore::Recall(const std::string& name) {
  const auto it = memoed_.find(name);
  if (it == memoed_.end()) return nullptr;
  memo_.splice(memo_.begin(), memo_, it->second);
  return it->second->second;
}

void TTileStore::Remember(const std::string& name, TCheckedPtr entry, std::uint64_t generation) {
  if (generation != memoGeneration_) return;
  Forget(name);
  memo_.emplace_front(name, std::move(entry));
  memoed_[name] = memo_.begin();
  if (memo_.size() > kCheckedTileMemo) {
    memoed_.erase(memo_.back().first);
    memo_.pop_back();
  }
}

void TTileStore::Forget(const std::string& name) {
  const auto it = memoed_.find(name);
  if (it == memoed_.end()) return;
  memo_.erase(it->second);
  memoed_.erase(it);
}

// Outside the lock, except where it says.
void TTileStore::Fetch(TTileDownload& download, std::shared_ptr<TerraServiceSoap>& proxy) {
  std::vector<std::uint8_t> bytes;
  std::shared_ptr<const void> checked;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    generation = memoGeneration_;
  }
  try {
    if (!proxy) proxy = downloadProxy_ ? downloadProxy_() : proxy_;
    if (!proxy) throw EQuorvilError("The tile service has no service proxy");
    std::string answer;
    {
      const TTransferScope scope(download.generation, &stopping_);
      answer = proxy->GetTile(download.id);
    }
    TMemoryStream decoded;
    DecodeBase64ToStream(answer, decoded);
    // An answer of nothing but line breaks is as empty as an empty one.
    if (decoded.Size() == 0) throw ETileMissing();
    bytes = decoded.Bytes();
    // Here, before the cache sees it: a corrupt tile kept would fail every later drawing.
    if (check_) {
      try {
        checked = check_(bytes);
      } catch (const std::exception& error) {
        throw EQuorvilError("The map service's tile " + download.name +
                            " is not a valid picture: " + error.what());
      }
    }
  } catch (...) {
    std::lock_guard lock(mutex_);
    download.error = std::current_exception();
    return;
  }
  std::string failure;
  // Larger than any tile, it would be refused when read back; it is drawn all the same.
  if (static_cast<std::int64_t>(bytes.size()) <= kMaxCacheFileBytes) {
    try {
      WriteCacheFile(settings_.cacheFolder, FileOf(download.name), bytes.data(), bytes.size());
    } catch (const EQuorvilError& error) {
      failure = error.what();
    }
  }
  std::lock_guard lock(mutex_);
  if (failure.empty()) {
    index_.insert(download.name);
    // Only a kept tile is remembered: without a cache every drawing fetches anew.
    if (checked)
      Remember(download.name, std::make_shared<const TChecked>(TChecked{bytes, checked}),
               generation);
  } else if (!warned_) {
    warned_ = true;
    warning_ = "Tiles are not being kept: " + failure;
  }
  download.bytes = std::move(bytes);
  download.checked = std::move(checked);
}

void TTileStore::Discard(const TileId& id) { DiscardName(TileName(id)); }

void TTileStore::DiscardName(const std::string& name) {
  std::lock_guard lock(mutex_);
  ::unlink(FileOf(name).c_str());
  index_.erase(name);
  Forget(name);
  ++memoGeneration_;
}

TCacheUsage TTileStore::Usage() const { return CacheFolderUsage(settings_.cacheFolder); }

bool TTileStore::Clear() {
  std::lock_guard lock(mutex_);
  if (running_ + static_cast<std::int64_t>(waiting_.size()) > 0) return false;
  ClearCacheFolder(settings_.cacheFolder);
  index_.clear();
  memo_.clear();
  memoed_.clear();
  ++memoGeneration_;
  return true;
}

bool TTileStore::OverLimit() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::int64_t>(index_.size()) > settings_.tileLimit;
}

void TTileStore::Trim() {
  // Under the lock throughout, so that a tile written meanwhile is not lost from the index.
  std::lock_guard lock(mutex_);
  const std::vector<TCachedFile> files = CacheFilesByAge(settings_.cacheFolder);
  const std::int64_t count = TrimDeleteCount(static_cast<std::int64_t>(files.size()),
                                             settings_.tileLimit, settings_.deletePercent);
  std::vector<std::string> kept;
  kept.reserve(files.size() - static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (static_cast<std::int64_t>(i) < count) {
      ::unlink(FileOf(files[i].name).c_str());  // a failed delete is ignored
      Forget(files[i].name);
    } else {
      kept.push_back(files[i].name);
    }
  }
  // The index becomes what the folder holds now: names of files that vanished behind
  // the store would otherwise keep it over its limit while the folder is not.
  index_ = std::set<std::string>(kept.begin(), kept.end());
}

void TTileStore::RemoveFromIndex(const std::string& tileName) {
  std::lock_guard lock(mutex_);
  index_.erase(tileName);
}

std::int64_t TTileStore::IndexCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::int64_t>(index_.size());
}

bool TTileStore::IndexContains(const std::string& tileName) const {
  std::lock_guard lock(mutex_);
  return index_.contains(tileName);
}

std::int64_t TTileStore::DownloadsPending() const {
  std::lock_guard lock(mutex_);
  return running_ + static_cast<std::int64_t>(waiting_.size());
}

std::string TTileStore::TakeCacheWarning() {
  std::lock_guard lock(mutex_);
  return std::exchange(warning_, {});
}

void TTileStore::FailAbortedDownloads() {
  std::lock_guard lock(mutex_);
  const std::uint64_t now = SoapAbortGeneration();
  std::deque<TDownloadPtr> still;
  for (TDownloadPtr& download : waiting_) {
    if (download->generation == now) {
      still.push_back(std::move(download));
    } else {
      download->error = std::make_exception_ptr(ETransferAborted());
      Finish(download);
    }
  }
  waiting_ = std::move(still);
}

void TTileStore::Shutdown() {
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
    for (const TDownloadPtr& download : waiting_) {
      download->error = std::make_exception_ptr(ETransferAborted());
      Finish(download);
    }
    waiting_.clear();
    for (const TDownloadPtr& read : reads_) {
      read->error = std::make_exception_ptr(ETransferAborted());
      Finish(read);
    }
    reads_.clear();
    workers = std::move(workers_);
    for (std::thread& reader : readers_) workers.push_back(std::move(reader));
    readers_.clear();
  }
  work_.notify_all();
  readable_.notify_all();
  WakeSoapTransfers();  // those on the wire see the stop flag
  for (std::thread& worker : workers) worker.join();
}

// ---- A run of tiles ----------------------------------------------------------------------

TTileRun::TTileRun(TTileStore& store, const TileId& northWest, std::int64_t columns,
                   std::int64_t rows, std::vector<std::int64_t> only)
    : store_(store),
      northWest_(northWest),
      columns_(std::max<std::int64_t>(columns, 0)),
      only_(std::move(only)),
      count_(!only_.empty()            ? static_cast<std::int64_t>(only_.size())
             : columns > 0 && rows > 0 ? columns * rows
                                       : 0),
      lookahead_(store.Settings().connections > 1 ? 2 * store.Settings().connections : 0) {}

TileId TTileRun::IdOfIndex(std::int64_t index) const {
  TileId id = northWest_;
  id.X = static_cast<int>(northWest_.X + index % columns_);
  id.Y = static_cast<int>(northWest_.Y - index / columns_);
  return id;
}

void TTileRun::TakeNext(TMemoryStream& stream, std::shared_ptr<const void>* checked) {
  if (next_ >= count_) throw EQuorvilError("No tile is left in the run");
  while (asked_ < count_ && asked_ <= next_ + lookahead_) {
    ahead_.push_back(store_.Request(IdOfIndex(IndexAt(asked_++))));
    if (lookahead_ > 0) store_.ReadAhead(ahead_.back());
  }
  TTileRequest request = std::move(ahead_.front());
  ahead_.pop_front();
  ++next_;
  store_.Take(request, stream, checked);
}

}  // namespace quorvil
