// The key=value reader: the first byte sets the separator's length (0 to 3), the next
// bytes are the separator, the rest is the text.

#include "FuzzSupport.h"
#include "platform/ProgramError.h"
#include "service/SystemSupport.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t length = std::min<std::size_t>(data[0] % 4, size - 1);
  const std::string_view separator = fuzz::AsText(data + 1, length);
  const std::string_view text = fuzz::AsText(data + 1 + length, size - 1 - length);
  try {
    const std::string value = GetValueFromString(text, separator);
    // Everything after the first character of the separator's first occurrence.
    fuzz::Check(!separator.empty() && text.ends_with(value) &&
                    value.size() == text.size() - text.find(separator) - 1,
                "the value is not the text after the separator");
  } catch (const EQuorvilError&) {
  }
  return 0;
}
