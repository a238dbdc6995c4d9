#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvil {

// One shown view as the Back command needs it.
struct THistoryEntry {
  std::string PlaceText;
  double Longitude = 0;
  std::uint8_t ZoomLevel = 10;  // 10..16
  double Latitude = 0;
};

// "Longitude=<lon>|Latitude=<lat>|Zoom=<level - 10>|PlaceName=<place text>", the numbers
// in the general format with 15 significant digits and the given decimal separator.
// Nothing is escaped: the place text comes last and may hold "|" and "=".
std::string BuildHistoryString(std::string_view placeText, std::uint8_t zoomLevel, double longitude,
                               double latitude, std::string_view decimalSeparator);

// The three fields that history entries and stored favourites begin with:
// "Longitude=<lon>|Latitude=<lat>|Zoom=<level - 10>".
std::string BuildPlaceFields(std::uint8_t zoomLevel, double longitude, double latitude,
                             std::string_view decimalSeparator);

// The zoom level of a "Zoom=<level - 10>" field (the key is not checked). Throws the
// GetValueFromString error, the integer conversion error, or "'<text>' is not a valid
// zoom value" for a value outside 0..6.
std::uint8_t ReadZoomField(std::string_view field);

// Splits off the text before the first "|" of `rest` and removes it and the bar. With no
// bar left the field is empty and `rest` stays as it is, so that the value reader
// reports the missing "=". Stored favourites are read field by field the same way.
std::string_view TakeField(std::string_view& rest);

// Reads an entry by position (the keys are not checked). Throws EQuorvilError:
// "The history string is blank." for an empty entry, the GetValueFromString error for a
// field without "=", the conversion errors for a value that is not a number, and
// "'<text>' is not a valid zoom value" for a zoom outside 0..6.
THistoryEntry ParseHistoryString(std::string_view entry, std::string_view decimalSeparator);

}  // namespace quorvil
