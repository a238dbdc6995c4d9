#pragma once

// Texts of the map service (fault strings, place names) made fit to show: the service
// lies outside the program, and a text of its own would otherwise reach a message box
// or a terminal as it is, escape sequences and megabytes included.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvil {

// The most characters of a service text that are shown.
inline constexpr std::size_t kMaxServiceTextLength = 1000;

// The text without control characters (line breaks and tabs become blanks) and without
// bytes that are not UTF-8; past kMaxServiceTextLength characters it is cut and ends
// in "…".
std::string ServiceTextForDisplay(std::string_view text);

}  // namespace quorvil
