#include "settings/CaseFold.h"

#include <cstdint>

namespace quorvil {
namespace {

// Pairs where the capital letter sits on the even code point and its small letter follows.
bool InEvenPairRange(char32_t c) {
  struct TRange {
    char32_t first, last;
  };
  static constexpr TRange kRanges[] = {{0x0100, 0x012F}, {0x0132, 0x0137}, {0x014A, 0x0177},
                                       {0x0370, 0x0373}, {0x0376, 0x0377}, {0x03D8, 0x03EF},
                                       {0x0460, 0x0481}, {0x048A, 0x04BF}, {0x04D0, 0x052F},
                                       {0x1E00, 0x1E95}, {0x1EA0, 0x1EFF}};
  for (const auto& r : kRanges) {
    if (c >= r.first && c <= r.last) return true;
  }
  return false;
}

// Pairs where the capital letter sits on the odd code point.
bool InOddPairRange(char32_t c) {
  return (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E) ||
         (c >= 0x04C1 && c <= 0x04CE);
}

char32_t FoldCodePoint(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  if ((c >= 0x0391 && c <= 0x03A1) || (c >= 0x03A3 && c <= 0x03AB)) return c + 0x20;
  if (c >= 0x0410 && c <= 0x042F) return c + 0x20;
  if (c >= 0x0400 && c <= 0x040F) return c + 0x50;
  if (c >= 0x0531 && c <= 0x0556) return c + 0x30;
  if (c >= 0x0388 && c <= 0x038A) return c + 0x25;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
  if (c >= 0x03FD && c <= 0x03FF) return c - 0x82;
  if (InEvenPairRange(c)) return (c % 2 == 0) ? c + 1 : c;
  if (InOddPairRange(c)) return (c % 2 == 1) ? c + 1 : c;
  switch (c) {
    case 0x00B5:
      return 0x03BC;  // micro sign -> mu
    case 0x0178:
      return 0x00FF;
    case 0x017F:
      return 's';  // long s
    case 0x0345:
      return 0x03B9;
    case 0x037F:
      return 0x03F3;
    case 0x0386:
      return 0x03AC;
    case 0x038C:
      return 0x03CC;
    case 0x038E:
      return 0x03CD;
    case 0x038F:
      return 0x03CE;
    case 0x03C2:
      return 0x03C3;  // final sigma
    case 0x03CF:
      return 0x03D7;
    case 0x03D0:
      return 0x03B2;
    case 0x03D1:
      return 0x03B8;
    case 0x03D5:
      return 0x03C6;
    case 0x03D6:
      return 0x03C0;
    case 0x03F0:
      return 0x03BA;
    case 0x03F1:
      return 0x03C1;
    case 0x03F4:
      return 0x03B8;
    case 0x03F5:
      return 0x03B5;
    case 0x03F7:
      return 0x03F8;
    case 0x03F9:
      return 0x03F2;
    case 0x03FA:
      return 0x03FB;
    case 0x04C0:
      return 0x04CF;
    case 0x1E9B:
      return 0x1E61;
    case 0x1E9E:
      return 0x00DF;  // capital sharp s
    default:
      return c;
  }
}

// Decodes one well-formed UTF-8 sequence at text[at]; returns its length, 0 when the bytes
// there are not one.
size_t Decode(std::string_view text, size_t at, char32_t& out) {
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
  const uint8_t lead = byte(0);
  size_t length;
  char32_t c;
  if (lead < 0x80) {
    out = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i) & 0x3F);
  }
  const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
  if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  out = c;
  return length;
}

void Encode(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char32_t c;
    const size_t length = Decode(text, at, c);
    if (length == 0) {
      folded += text[at++];  // not UTF-8: kept byte by byte
      continue;
    }
    Encode(FoldCodePoint(c), folded);
    at += length;
  }
  return folded;
}

}  // namespace quorvil
