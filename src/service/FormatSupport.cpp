#include "service/FormatSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

std::string_view SeparatorOrPoint(std::string_view separator) {
  return separator.empty() ? std::string_view(".") : separator;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FormatFloatGeneral(double value, int precision, std::string_view decimalSeparator) {
  precision = std::clamp(precision, 1, 17);
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";  // also for -0

  // Rounded to `precision` significant digits, independent of any locale:
  // "[-]d[.ddd]e[+-]xx".
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::scientific, precision - 1);
  const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, e)) {
    if (IsDigit(c)) digits += c;
  }
  int exponent = 0;
  std::string_view exponentText = scientific.substr(e + 1);
  if (!exponentText.empty() && exponentText.front() == '+') exponentText.remove_prefix(1);
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  const std::string_view separator = SeparatorOrPoint(decimalSeparator);
  const int count = static_cast<int>(digits.size());
  std::string text;
  if (value < 0) text += '-';
  if (exponent < -5 || exponent >= precision) {
    text += digits[0];
    if (count > 1) {
      text += separator;
      text.append(digits, 1);
    }
    text += 'E';
    text += std::to_string(exponent);
  } else if (exponent < 0) {
    text += '0';
    text += separator;
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += digits;
  } else if (count <= exponent + 1) {
    text += digits;
    text.append(static_cast<std::size_t>(exponent + 1 - count), '0');
  } else {
    text.append(digits, 0, static_cast<std::size_t>(exponent + 1));
    text += separator;
    text.append(digits, static_cast<std::size_t>(exponent + 1));
  }
  return text;
}

std::string FloatToStr(double value, std::string_view decimalSeparator) {
  return FormatFloatGeneral(value, 15, decimalSeparator);
}

std::string FormatFloatDisplay(double value, std::string_view decimalSeparator) {
  return FormatFloatGeneral(value, 5, decimalSeparator);
}

namespace {

// Reader steps shared by the number readers; `i` moves past what they take.
void SkipBlanks(std::string_view text, std::size_t& i) {
  while (i < text.size() && IsBlank(text[i])) ++i;
}

// An optional sign; only a minus is copied, since from_chars refuses a plus.
void CopySign(std::string_view text, std::size_t& i, std::string& plain) {
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    if (text[i] == '-') plain += '-';
    ++i;
  }
}

}  // namespace

bool TryStrToFloat(std::string_view text, std::string_view decimalSeparator, double& value) {
  const std::string_view separator = SeparatorOrPoint(decimalSeparator);
  // The accepted text is rewritten in the one syntax from_chars reads, with a point.
  std::string plain;
  std::size_t i = 0;
  const std::size_t n = text.size();
  SkipBlanks(text, i);
  CopySign(text, i, plain);
  int digits = 0;
  bool separatorSeen = false;
  while (i < n) {
    if (IsDigit(text[i])) {
      plain += text[i++];
      ++digits;
    } else if (!separatorSeen && text.substr(i, separator.size()) == separator) {
      plain += '.';
      separatorSeen = true;
      i += separator.size();
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    CopySign(text, i, plain);
    int exponentDigits = 0;
    while (i < n && IsDigit(text[i])) {
      plain += text[i++];
      ++exponentDigits;
    }
    if (exponentDigits == 0) return false;
  }
  SkipBlanks(text, i);
  if (i != n) return false;

  double parsed = 0;
  const char* end = plain.data() + plain.size();
  const auto result = std::from_chars(plain.data(), end, parsed, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

double StrToFloat(std::string_view text, std::string_view decimalSeparator) {
  double value = 0;
  if (!TryStrToFloat(text, decimalSeparator, value)) {
    throw EQuorvilError("'" + std::string(text) + "' is not a valid floating point value");
  }
  return value;
}

bool TryStrToInt(std::string_view text, int& value) {
  std::string plain;
  std::size_t i = 0;
  const std::size_t n = text.size();
  SkipBlanks(text, i);
  CopySign(text, i, plain);
  const std::size_t firstDigit = i;
  while (i < n && IsDigit(text[i])) plain += text[i++];
  if (i == firstDigit) return false;
  SkipBlanks(text, i);
  if (i != n) return false;

  int parsed = 0;
  const char* end = plain.data() + plain.size();
  const auto result = std::from_chars(plain.data(), end, parsed);
  if (result.ec != std::errc() || result.ptr != end) return false;
  value = parsed;
  return true;
}

int StrToInt(std::string_view text) {
  int value = 0;
  if (!TryStrToInt(text, value)) {
    throw EQuorvilError("'" + std::string(text) + "' is not a valid integer value");
  }
  return value;
}

}  // namespace quorvil
