#pragma once

// The files of the tile cache folder: reading a tile file, writing one so that no reader
// ever sees a part of it, and listing the folder for the index and for a trim. Several
// threads, and several programs sharing the folder, may use it at once.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvil {

// No tile comes near this; anything larger under a tile's name is not one, and is not
// read into memory.
inline constexpr std::int64_t kMaxCacheFileBytes = 256 * 1024;

enum class TCacheRead {
  crRead,     // the bytes are there, and the file's last-write time is now
  crMissing,  // nothing under the name
  crRefused,  // something under the name that is not a readable tile file
};

// Reads a tile file with one open and one read: links are not followed, a fifo does not
// block, only regular files up to kMaxCacheFileBytes are read. The last-use time is set
// on the open file.
TCacheRead ReadCacheFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// Removes whatever is under the name (a file, a link, a fifo, an empty folder) so that a
// tile can take its place. False when something stays.
bool RemoveCacheEntry(const std::string& path);

// Writes the bytes under a temporary name beside the file and renames it into place,
// creating the folder first, for its owner only, when it is missing. Throws EQuorvilError
// naming the file when it cannot, and for an empty folder (no place to keep tiles);
// nothing is left behind then. An empty folder also has no entries to scan or list.
void WriteCacheFile(const std::string& folder, const std::string& path, const std::uint8_t* data,
                    std::size_t size);

// The names of the folder's "*.TMP" entries (of any kind) up to their first ".", for the
// index. Temporary files that a crashed program left behind are removed on the way.
std::vector<std::string> ScanCacheFolder(const std::string& folder);

struct TCachedFile {
  std::chrono::system_clock::time_point lastUse;
  std::string name;  // up to the first "."
};

// The folder's "*.TMP" entries, least recently used first; equal times in name order.
// Sorted by the time itself: the local-time text repeats an hour when clocks go back.
std::vector<TCachedFile> CacheFilesByAge(const std::string& folder);

}  // namespace quorvil
