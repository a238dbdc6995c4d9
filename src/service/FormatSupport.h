#pragma once

#include <string>
#include <string_view>

namespace quorvil {

// Number texts as the program writes and reads them. The decimal separator is the
// user's (the caller takes it from the system locale); nothing here looks at the
// process locale. An empty separator stands for ".".

// The general format with at most `precision` (1..17) significant digits: the value is
// rounded to that many digits and written with the fewest of them that stand for it,
// trailing zeros dropped, a leading "-" for negative values, no thousands separators.
// Fixed notation from a magnitude of 0.00001 up to the one where the integer part
// alone would need more than `precision` digits; exponent notation ("1.5E-6", "1E20")
// otherwise. Zero is "0"; not-a-number and infinities are "NAN", "INF", "-INF".
std::string FormatFloatGeneral(double value, int precision, std::string_view decimalSeparator);

// Stored coordinates (history entries, favourites): the general format at 15 digits.
// -74.06 is written "-74.06".
std::string FloatToStr(double value, std::string_view decimalSeparator);

// Shown coordinates, the "%.5g" display format: the general format at 5 digits.
// -73.96542 shows as "-73.965", 0.00005 as "0.00005".
std::string FormatFloatDisplay(double value, std::string_view decimalSeparator);

// The decimal-number reader: optional blanks, an optional sign, digits with at most one
// decimal separator (at least one digit in all), an optional exponent ("E" or "e", an
// optional sign, digits), optional blanks. Nothing else: no "nan", "inf", hexadecimal,
// thousands separators, or values beyond the range of a double. Returns false and leaves
// `value` alone when the text is refused.
bool TryStrToFloat(std::string_view text, std::string_view decimalSeparator, double& value);

// As TryStrToFloat; throws EQuorvilError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text, std::string_view decimalSeparator);

// The integer reader: optional blanks, an optional sign, decimal digits, optional blanks,
// within the range of int. Returns false and leaves `value` alone when refused.
bool TryStrToInt(std::string_view text, int& value);

// As TryStrToInt; throws EQuorvilError "'<text>' is not a valid integer value".
int StrToInt(std::string_view text);

}  // namespace quorvil
