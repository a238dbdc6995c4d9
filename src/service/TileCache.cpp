// The module routines of the tile store: a thin layer over the one store the program
// owns between InitializeTileService and FinalizeTileService.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <utility>

#include "platform/ProgramError.h"
#include "service/SoapTransport.h"
#include "service/SystemSupport.h"
#include "service/TerraServiceSupport.h"
#include "service/TileStore.h"

namespace quorvil {

namespace fs = std::filesystem;

namespace {

// The program's store. Callers hold it for as long as they use it, so that a
// FinalizeTileService meanwhile ends its workers but frees nothing under them.
struct TModuleStore {
  std::mutex mutex;
  std::shared_ptr<TTileStore> store;
};

TModuleStore& Module() {
  static TModuleStore module;
  return module;
}

std::shared_ptr<TTileStore> StartedOrNull() {
  TModuleStore& module = Module();
  std::lock_guard lock(module.mutex);
  return module.store;
}

std::string WithSeparator(std::string folder) {
  if (folder.empty()) return folder;  // no folder: no tiles are kept on disk
  if (folder.back() != '/') folder.push_back('/');
  return folder;
}

void Install(std::shared_ptr<TTileStore> store) {
  std::shared_ptr<TTileStore> previous;
  {
    TModuleStore& module = Module();
    std::lock_guard lock(module.mutex);
    previous = std::exchange(module.store, std::move(store));
  }
  if (previous) previous->Shutdown();
}

}  // namespace

std::shared_ptr<TTileStore> CurrentTileStore() {
  auto store = StartedOrNull();
  if (!store) throw EQuorvilError("The tile service has not been started");
  return store;
}

void InitializeTileService(std::shared_ptr<TerraServiceSoap> proxy,
                           const std::string& serviceAddress, const std::string& cacheFolder,
                           std::int64_t tileLimit, int deletePercent, int connections) {
  StartTileService(std::move(proxy), {}, serviceAddress, cacheFolder, tileLimit, deletePercent,
                   connections);
}

void StartTileService(std::shared_ptr<TerraServiceSoap> proxy,
                      std::function<std::shared_ptr<TerraServiceSoap>()> downloadProxy,
                      const std::string& serviceAddress, const std::string& cacheFolder,
                      std::int64_t tileLimit, int deletePercent, int connections) {
  FinalizeTileService();
  TTileStoreSettings settings{WithSeparator(cacheFolder), tileLimit, deletePercent, serviceAddress,
                              connections};
  Install(std::make_shared<TTileStore>(std::move(settings), std::move(proxy),
                                       std::move(downloadProxy)));
}

void FinalizeTileService() { Install(nullptr); }

bool TileServiceStarted() { return StartedOrNull() != nullptr; }

TerraServiceSoap& ServiceProxy() {
  TerraServiceSoap* proxy = CurrentTileStore()->Proxy();
  if (!proxy) throw EQuorvilError("The tile service has no service proxy");
  return *proxy;
}

std::string TileCacheFolder() { return CurrentTileStore()->Settings().cacheFolder; }
std::string TileServiceAddress() { return CurrentTileStore()->Settings().serviceAddress; }
std::int64_t TileCacheLimit() { return CurrentTileStore()->Settings().tileLimit; }
int TileServiceConnections() { return CurrentTileStore()->Settings().connections; }

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
  return UserCacheFolder();
}

std::string UserCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  fs::path base;
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    // Never a shared folder such as /tmp, where another user could plant tiles.
    const std::string home = UserHomeFolder();
    if (home.empty()) return {};
    base = fs::path(home) / ".cache";
  }
  return (base / "Quorvil" / "Cache").string() + "/";
}

std::string TileName(const TileId& id) {
  return std::to_string(static_cast<int>(id.Theme)) + "-" +
         std::to_string(static_cast<int>(id.Scale)) + "-" + std::to_string(id.Scene) + "-" +
         std::to_string(id.X) + "-" + std::to_string(id.Y);
}

std::string TileFileName(const TileId& id) { return CurrentTileStore()->FileOf(TileName(id)); }

void LoadTileToStream(TMemoryStream& stream, const TileId& id) {
  CurrentTileStore()->Load(stream, id);
}

void DiscardCachedTile(const TileId& id) { CurrentTileStore()->Discard(id); }

bool CacheOverLimit() {
  const auto store = StartedOrNull();
  return store && store->OverLimit();
}

std::string TakeTileCacheWarning() {
  const auto store = StartedOrNull();
  return store ? store->TakeCacheWarning() : std::string();
}

void AbortServiceTransfers() {
  AbortSoapTransfers();
  if (const auto store = StartedOrNull()) store->FailAbortedDownloads();
}

std::int64_t TrimDeleteCount(std::int64_t listed, std::int64_t tileLimit, int deletePercent) {
  const std::int64_t n = (listed - tileLimit) + tileLimit * deletePercent / 100;
  return n >= 0 ? std::min(n + 1, listed) : 0;
}

void TrimTileCache() { CurrentTileStore()->Trim(); }

void RemoveFromTileIndex(const std::string& tileName) {
  if (const auto store = StartedOrNull()) store->RemoveFromIndex(tileName);
}

std::int64_t TileIndexCount() {
  const auto store = StartedOrNull();
  return store ? store->IndexCount() : 0;
}

std::int64_t CachedTileFiles(std::int64_t* bytes) {
  const auto store = StartedOrNull();
  const TCacheUsage usage = store ? store->Usage() : CacheFolderUsage(ProgramCacheFolder());
  if (bytes) *bytes = usage.bytes;
  return usage.files;
}

bool ClearTileCache() {
  if (const auto store = StartedOrNull()) return store->Clear();
  ClearCacheFolder(ProgramCacheFolder());
  return true;
}

bool TileIndexContains(const std::string& tileName) {
  const auto store = StartedOrNull();
  return store && store->IndexContains(tileName);
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
