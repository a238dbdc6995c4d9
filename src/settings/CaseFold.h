#pragma once

#include <string>
#include <string_view>

namespace quorvil {

// The case-folded form of a UTF-8 text, used to compare key paths and value names without
// regard to case: ICU's full Unicode case folding ("Ș" and "ș", the Kelvin sign and "k",
// "ß" and "ss" fold alike). Bytes that are not valid UTF-8 are kept as they are, so that
// distinct names never fold alike merely for being broken.
std::string FoldCase(std::string_view text);

// Names the folding FoldCase does, Unicode version included. The settings store keeps
// the name of the folding its stored forms were made with, and folds them again when it
// differs from this one.
std::string CaseFoldingName();

}  // namespace quorvil
