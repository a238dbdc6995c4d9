#include "service/CacheFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/ProgramError.h"
#include "service/SystemSupport.h"

namespace quorvil {

namespace {

using Clock = std::chrono::system_clock;

// A temporary file this old is no write in progress: a tile is written in milliseconds.
constexpr auto kStalePartAge = std::chrono::minutes(10);
constexpr std::string_view kTileMask = "*.TMP";
constexpr std::string_view kPartMask = "*.part";

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : fd_(fd) {}
  ~TFileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fd_; }
  // Closes now, for the writer that must know whether the close succeeded.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

Clock::time_point ModificationTime(const struct stat& info) {
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

// Calls `visit` with the folder's descriptor and each entry's name; a missing or
// unreadable folder has no entries.
void ForEachEntry(const std::string& folder,
                  const std::function<void(int folderFd, const char* name)>& visit) {
  // No folder keeps no tiles: the working folder is never taken for one.
  if (folder.empty()) return;
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return;
  const int fd = ::dirfd(directory);
  while (const dirent* entry = ::readdir(directory)) visit(fd, entry->d_name);
  ::closedir(directory);
}

// The process id written into a temporary name ("<tile>.TMP-<pid>-<n>.part"), or 0.
pid_t WriterOf(std::string_view name) {
  const auto at = name.find(".TMP-");
  if (at == std::string_view::npos) return 0;
  const std::string_view rest = name.substr(at + 5);
  pid_t pid = 0;
  const auto result = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
  return result.ec == std::errc() ? pid : 0;
}

bool IsStalePart(std::string_view name, Clock::time_point lastWrite) {
  const pid_t writer = WriterOf(name);
  if (writer > 0 && writer != ::getpid() && ::kill(writer, 0) != 0 && errno == ESRCH) return true;
  return Clock::now() - lastWrite > kStalePartAge;
}

std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)) +
         ".part";
}

}  // namespace

TCacheRead ReadCacheFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.Get() < 0) {
    return errno == ENOENT || errno == ENOTDIR ? TCacheRead::crMissing : TCacheRead::crRefused;
  }
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > kMaxCacheFileBytes) {
    return TCacheRead::crRefused;
  }
  bytes.resize(static_cast<std::size_t>(info.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = ::read(file.Get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    // Tiles are replaced by renaming, never cut in place: a file that shrinks while it
    // is read is not one of ours.
    if (got <= 0) return TCacheRead::crRefused;
    done += static_cast<std::size_t>(got);
  }
  const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  ::futimens(file.Get(), times);  // a failure only ages the tile
  return TCacheRead::crRead;
}

bool RemoveCacheEntry(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  return errno == EISDIR && ::rmdir(path.c_str()) == 0;
}

void WriteCacheFile(const std::string& folder, const std::string& path, const std::uint8_t* data,
                    std::size_t size) {
  if (folder.empty()) {
    throw EQuorvilError("There is no home folder to keep the tile cache in");
  }
  const std::string temporary = TemporaryNameFor(path);
  const auto fail = [&](int code) {
    ::unlink(temporary.c_str());
    throw EQuorvilError("Cannot write the cache file \"" + path + "\": " + std::strerror(code));
  };
  const auto create = [&] {
    return ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  };
  int fd = create();
  if (fd < 0 && errno == ENOENT) {
    // The folder is made when it is first needed, not looked for on every tile; only its
    // owner may read it or plant tiles in it.
    CreateOwnerOnlyFolders(folder);
    fd = create();
  }
  if (fd < 0) fail(errno);
  TFileDescriptor file(fd);
  std::size_t left = size;
  while (left > 0) {
    const ssize_t put = ::write(file.Get(), data, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) fail(put == 0 ? ENOSPC : errno);
    data += put;
    left -= static_cast<std::size_t>(put);
  }
  if (file.Close() != 0) fail(errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) fail(errno);
}

std::vector<std::string> ScanCacheFolder(const std::string& folder) {
  std::vector<std::string> names;
  ForEachEntry(folder, [&](int folderFd, const char* name) {
    if (MatchesFileMask(name, kTileMask)) {
      names.push_back(ExtractNameBeforeDot(name));
    } else if (MatchesFileMask(name, kPartMask)) {
      struct stat info {};
      if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
          IsStalePart(name, ModificationTime(info))) {
        ::unlinkat(folderFd, name, 0);
      }
    }
  });
  return names;
}

std::vector<TCachedFile> CacheFilesByAge(const std::string& folder) {
  std::vector<TCachedFile> files;
  ForEachEntry(folder, [&](int folderFd, const char* name) {
    if (!MatchesFileMask(name, kTileMask)) return;
    struct stat info {};
    if (::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return;  // gone meanwhile
    files.push_back({ModificationTime(info), ExtractNameBeforeDot(name)});
  });
  std::sort(files.begin(), files.end(), [](const TCachedFile& a, const TCachedFile& b) {
    return a.lastUse != b.lastUse ? a.lastUse < b.lastUse : a.name < b.name;
  });
  return files;
}

}  // namespace quorvil
