#include "service/SystemSupport.h"

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

}  // namespace quorvil
