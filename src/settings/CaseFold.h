#pragma once

#include <string>
#include <string_view>

namespace quorvil {

// The case-folded form of a UTF-8 text, used to compare key paths and value names without
// regard to case. One code point maps to one code point (simple folding, as the Windows
// registry compares names), for Latin, Greek, Cyrillic and Armenian letters; everything
// else, including bytes that are not valid UTF-8, is kept as it is.
//
// The folded form is stored in the settings file, so its mapping must only ever grow by
// letters no earlier build folded.
std::string FoldCase(std::string_view text);

}  // namespace quorvil
