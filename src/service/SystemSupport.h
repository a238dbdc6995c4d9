#pragma once

#include <string>
#include <string_view>

namespace quorvil {

// Key=value text: returns everything after the first occurrence of `separator`.
// Throws EQuorvilError "GetValueFromString: Separator character not found in string."
std::string GetValueFromString(std::string_view text, std::string_view separator);

}  // namespace quorvil
