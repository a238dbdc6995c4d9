// The tile store: the module state, the in-memory index of cached tiles and the disk
// cache behind it.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "platform/ProgramError.h"
#include "service/SystemSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {

namespace fs = std::filesystem;

namespace {

struct TTileStore {
  std::string folder;  // ends with '/'
  std::int64_t limit = 0;
  int percent = 0;
  std::string address;
  std::shared_ptr<TerraServiceSoap> proxy;
  std::set<std::string> index;
};

std::unique_ptr<TTileStore>& Store() {
  static std::unique_ptr<TTileStore> store;
  return store;
}

TTileStore& Started() {
  auto& store = Store();
  if (!store) throw EQuorvilError("The tile service has not been started");
  return *store;
}

std::string WithSeparator(std::string folder) {
  if (folder.empty()) return "./";
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string CacheFileOf(const TTileStore& store, const std::string& name) {
  return store.folder + name + ".TMP";
}

std::string ErrorText(int code) { return std::strerror(code); }

// Reads the whole file into the stream. Returns false with errno set when it cannot.
bool ReadWholeFile(const std::string& path, TMemoryStream& stream) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  const int statFailure = ::fstat(fd, &info) != 0 ? errno : (S_ISREG(info.st_mode) ? 0 : EISDIR);
  if (statFailure != 0) {
    const int code = statFailure;
    ::close(fd);
    errno = code;
    return false;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      const int code = got == 0 ? EIO : errno;  // shrank while we read
      ::close(fd);
      errno = code;
      return false;
    }
    done += static_cast<std::size_t>(got);
  }
  ::close(fd);
  stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  stream.Rewind();
  return true;
}

// Writes the bytes under a temporary name in the same folder and renames it into
// place, so that no reader ever sees a part of a tile under the tile's name. The
// temporary name does not match "*.TMP" and is never indexed.
void WriteCacheFile(const std::string& path, const TMemoryStream& content) {
  const std::string temporary = path + "-" + std::to_string(::getpid()) + ".part";
  const auto fail = [&](int code) {
    ::unlink(temporary.c_str());
    throw EQuorvilError("Cannot write the cache file \"" + path + "\": " + ErrorText(code));
  };
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail(errno);
  const std::uint8_t* data = content.Data();
  std::size_t left = static_cast<std::size_t>(content.Size());
  while (left > 0) {
    const ssize_t put = ::write(fd, data, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const int code = put == 0 ? ENOSPC : errno;
      ::close(fd);
      fail(code);
    }
    data += put;
    left -= static_cast<std::size_t>(put);
  }
  if (::close(fd) != 0) fail(errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) fail(errno);
}

}  // namespace

void InitializeTileService(std::shared_ptr<TerraServiceSoap> proxy,
                           const std::string& serviceAddress, const std::string& cacheFolder,
                           std::int64_t tileLimit, int deletePercent) {
  FinalizeTileService();
  auto store = std::make_unique<TTileStore>();
  store->folder = WithSeparator(cacheFolder);
  store->limit = tileLimit;
  store->percent = deletePercent;
  store->address = serviceAddress;
  store->proxy = std::move(proxy);
  std::vector<std::string> names;
  ListFiles(names, store->folder, "*.TMP", false);
  std::sort(names.begin(), names.end());
  store->index = std::set<std::string>(names.begin(), names.end());
  Store() = std::move(store);
}

void FinalizeTileService() { Store().reset(); }

bool TileServiceStarted() { return Store() != nullptr; }

TerraServiceSoap& ServiceProxy() {
  auto& store = Started();
  if (!store.proxy) throw EQuorvilError("The tile service has no service proxy");
  return *store.proxy;
}

std::string TileCacheFolder() { return Started().folder; }
std::string TileServiceAddress() { return Started().address; }
std::int64_t TileCacheLimit() { return Started().limit; }

std::string ProgramCacheFolder() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path folder = program.parent_path() / "Cache";
    const bool writable = fs::exists(folder, error)
                              ? ::access(folder.c_str(), W_OK | X_OK) == 0
                              : ::access(program.parent_path().c_str(), W_OK | X_OK) == 0;
    if (writable) return folder.string() + "/";
  }
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  fs::path base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    base = fs::path(home != nullptr && home[0] != '\0' ? home : "/tmp") / ".cache";
  }
  return (base / "Quorvil" / "Cache").string() + "/";
}

std::string TileName(const TileId& id) {
  return std::to_string(static_cast<int>(id.Theme)) + "-" +
         std::to_string(static_cast<int>(id.Scale)) + "-" + std::to_string(id.Scene) + "-" +
         std::to_string(id.X) + "-" + std::to_string(id.Y);
}

std::string TileFileName(const TileId& id) { return CacheFileOf(Started(), TileName(id)); }

void LoadTileToStream(TMemoryStream& stream, const TileId& id) {
  TTileStore& store = Started();
  const std::string name = TileName(id);
  const std::string path = CacheFileOf(store, name);
  std::error_code ignored;
  fs::create_directories(store.folder, ignored);

  if (store.index.contains(name)) {
    if (ReadWholeFile(path, stream)) {
      SetFileDateTime(path, std::chrono::system_clock::now());
      return;
    }
    const int code = errno;
    // Either way the name goes, so that the next request downloads the tile again.
    store.index.erase(name);
    if (code != ENOENT) {
      throw EQuorvilError("Cannot read the cache file \"" + path + "\": " + ErrorText(code));
    }
  }

  const std::string answer = store.proxy->GetTile(id);
  TMemoryStream decoded;
  DecodeBase64ToStream(answer, decoded);
  // An answer of nothing but line breaks is as empty as an empty one.
  if (decoded.Size() == 0) throw EQuorvilError("LoadTileToStream: No tile data returned.");
  WriteCacheFile(path, decoded);
  stream.Write(decoded.Data(), decoded.Size());
  stream.Rewind();
  store.index.insert(name);
}

void DiscardCachedTile(const TileId& id) {
  TTileStore& store = Started();
  const std::string name = TileName(id);
  ::unlink(CacheFileOf(store, name).c_str());
  store.index.erase(name);
}

bool CacheOverLimit() {
  const auto& store = Store();
  return store && static_cast<std::int64_t>(store->index.size()) > store->limit;
}

std::int64_t TrimDeleteCount(std::int64_t listed, std::int64_t tileLimit, int deletePercent) {
  const std::int64_t n = (listed - tileLimit) + tileLimit * deletePercent / 100;
  return n >= 0 ? std::min(n + 1, listed) : 0;
}

void TrimTileCache() {
  TTileStore& store = Started();
  std::vector<std::string> lines;
  ListFilesByDate(lines, store.folder, "*.TMP", false);
  std::sort(lines.begin(), lines.end());
  const std::int64_t count =
      TrimDeleteCount(static_cast<std::int64_t>(lines.size()), store.limit, store.percent);
  std::vector<std::string> kept;
  kept.reserve(lines.size() - static_cast<std::size_t>(count));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name = GetValueFromString(lines[i], "=");
    if (static_cast<std::int64_t>(i) < count) {
      ::unlink(CacheFileOf(store, name).c_str());  // a failed delete is ignored
    } else {
      kept.push_back(std::move(name));
    }
  }
  // The index becomes what the folder holds now: names of files that vanished behind
  // the store would otherwise keep it over its limit while the folder is not.
  std::sort(kept.begin(), kept.end());
  store.index = std::set<std::string>(kept.begin(), kept.end());
}

void RemoveFromTileIndex(const std::string& tileName) {
  if (auto& store = Store()) store->index.erase(tileName);
}

std::int64_t TileIndexCount() {
  const auto& store = Store();
  return store ? static_cast<std::int64_t>(store->index.size()) : 0;
}

bool TileIndexContains(const std::string& tileName) {
  const auto& store = Store();
  return store && store->index.contains(tileName);
}

void DecodeBase64ToStream(std::string_view text, TMemoryStream& stream) {
  static constexpr auto kValues = [] {
    std::array<std::int8_t, 256> values{};
    values.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
      values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::int8_t>(i);
    values['='] = -2;
    return values;
  }();
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 4 * 3 + 3);
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    const int value = kValues[static_cast<unsigned char>(c)];
    if (value == -2) break;
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<std::uint32_t>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes.push_back(static_cast<std::uint8_t>(bits >> count));
    }
  }
  stream.Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

}  // namespace quorvil
