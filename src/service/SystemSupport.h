#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvil {

// Key=value text: returns everything after the first occurrence of `separator`.
// Throws EQuorvilError "GetValueFromString: Separator character not found in string."
std::string GetValueFromString(std::string_view text, std::string_view separator);

// ---- File routines -------------------------------------------------------------------
// They report nothing: a missing folder lists nothing, a failed time change is ignored.

// The part of a file name before its first "."; the whole name when it holds none.
std::string ExtractNameBeforeDot(std::string_view fileName);

// Sets the file's last-write time. Failures (missing file, no permission) are ignored.
void SetFileDateTime(const std::string& fileName, std::chrono::system_clock::time_point time);

// Whether `name` matches `mask` ("*" any run, "?" any one character), without regard
// to case as on the system the cache format comes from.
bool MatchesFileMask(std::string_view name, std::string_view mask);

// Appends one line per entry of `folder` (files and subfolders) whose name matches
// `mask`, in the order the file system reports them: the name without path, whole
// when keepExtension is true, else only the part before its first ".". A trailing
// path separator on the folder makes no difference.
void ListFiles(std::vector<std::string>& list, const std::string& folder, std::string_view mask,
               bool keepExtension);

// As ListFiles, but each line is the entry's FileStampText, "=", and the name, so that
// sorting the lines as text sorts the entries by age, oldest first.
void ListFilesByDate(std::vector<std::string>& list, const std::string& folder,
                     std::string_view mask, bool keepExtension);

// A last-write time as 17 characters "yyyymmddhhnnsszzz" in local time (year, month,
// day, hour 00-23, minute, second, milliseconds); text order is time order.
std::string FileStampText(std::chrono::system_clock::time_point time);

// The user's home folder: $HOME, else the password database's entry of the user; empty
// when neither names one.
std::string UserHomeFolder();

// Creates the folder and every missing parent readable by their owner only (mode 0700);
// folders that exist are left as they are. False when the folder is not there afterwards.
bool CreateOwnerOnlyFolders(const std::filesystem::path& folder);

}  // namespace quorvil
