#include "service/SystemSupport.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/ProgramError.h"

namespace quorvil {

std::string GetValueFromString(std::string_view text, std::string_view separator) {
  const auto at = separator.empty() ? std::string_view::npos : text.find(separator);
  if (at == std::string_view::npos) {
    throw EQuorvilError("GetValueFromString: Separator character not found in string.");
  }
  // Everything after the separator's first character: for the one-character separators
  // every caller passes, everything after the separator.
  return std::string(text.substr(at + 1));
}

namespace fs = std::filesystem;

namespace {

bool SameLetter(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

// The entry's last-write time on the system clock. std::filesystem's clock is not
// convertible in C++20 on every library, so stat() is asked directly.
bool LastWriteTime(const fs::path& path, std::chrono::system_clock::time_point& time) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  time = std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(info.st_mtim.tv_sec) +
          std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
  return true;
}

template <typename MakeLine>
void ListMatching(std::vector<std::string>& list, const std::string& folder, std::string_view mask,
                  MakeLine makeLine) {
  std::error_code error;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), error);
  if (error) return;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return;
    const std::string name = it->path().filename().string();
    if (MatchesFileMask(name, mask)) makeLine(list, *it, name);
  }
}

}  // namespace

std::string ExtractNameBeforeDot(std::string_view fileName) {
  return std::string(fileName.substr(0, fileName.find('.')));
}

void SetFileDateTime(const std::string& fileName, std::chrono::system_clock::time_point time) {
  const auto sinceEpoch = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  const auto nanoseconds =
      std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds);
  const struct timespec times[2] = {
      {0, UTIME_OMIT},  // access time untouched
      {static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())}};
  ::utimensat(AT_FDCWD, fileName.c_str(), times, 0);
}

bool MatchesFileMask(std::string_view name, std::string_view mask) {
  // Greedy matching with one backtrack point: linear for the masks used here.
  std::size_t n = 0, m = 0, starMask = std::string_view::npos, starName = 0;
  while (n < name.size()) {
    if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && SameLetter(mask[m], name[n])))) {
      ++n;
      ++m;
    } else if (m < mask.size() && mask[m] == '*') {
      starMask = m++;
      starName = n;
    } else if (starMask != std::string_view::npos) {
      m = starMask + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

void ListFiles(std::vector<std::string>& list, const std::string& folder, std::string_view mask,
               bool keepExtension) {
  ListMatching(list, folder, mask,
               [keepExtension](std::vector<std::string>& out, const fs::directory_entry&,
                               const std::string& name) {
                 out.push_back(keepExtension ? name : ExtractNameBeforeDot(name));
               });
}

void ListFilesByDate(std::vector<std::string>& list, const std::string& folder,
                     std::string_view mask, bool keepExtension) {
  ListMatching(list, folder, mask,
               [keepExtension](std::vector<std::string>& out, const fs::directory_entry& entry,
                               const std::string& name) {
                 std::chrono::system_clock::time_point time;
                 if (!LastWriteTime(entry.path(), time)) return;  // vanished meanwhile
                 out.push_back(FileStampText(time) + "=" +
                               (keepExtension ? name : ExtractNameBeforeDot(name)));
               });
}

std::string FileStampText(std::chrono::system_clock::time_point time) {
  const auto sinceEpoch = time.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds);
  const time_t whole = static_cast<time_t>(seconds.count());
  struct tm local {};
  ::localtime_r(&whole, &local);
  char text[96];  // room for any int, so the compiler can prove nothing is cut
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis.count()));
  return text;
}

std::string UserHomeFolder() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0') return home;
  const passwd* user = ::getpwuid(::getuid());
  if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/') return user->pw_dir;
  return {};
}

bool CreateOwnerOnlyFolders(const std::filesystem::path& folder) {
  std::error_code error;
  if (folder.empty() || std::filesystem::is_directory(folder, error)) return !folder.empty();
  const std::filesystem::path parent = folder.parent_path();
  if (parent != folder && !parent.empty() && !CreateOwnerOnlyFolders(parent)) return false;
  // Another program may make it meanwhile.
  return ::mkdir(folder.c_str(), 0700) == 0 || std::filesystem::is_directory(folder, error);
}

}  // namespace quorvil
