#include "service/ServiceTextSupport.h"

#include <cstdint>

namespace quorvil {

namespace {

// The length of the UTF-8 sequence that starts at `at`, or 0 when the bytes there are
// not one (a stray continuation byte, an overlong form, a surrogate, a cut-off end).
std::size_t SequenceLength(std::string_view text, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[at + i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

}  // namespace

std::string ServiceTextForDisplay(std::string_view text) {
  std::string shown;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = SequenceLength(text, at, code);
    if (length == 0) {
      ++at;
      continue;
    }
    const bool blank = code == '\t' || code == '\n' || code == '\r';
    if (!IsControl(code) || blank) {
      if (characters == kMaxServiceTextLength) return shown + "\u2026";
      if (blank) {
        shown += ' ';
      } else {
        shown.append(text.substr(at, length));
      }
      ++characters;
    }
    at += length;
  }
  return shown;
}

}  // namespace quorvil
