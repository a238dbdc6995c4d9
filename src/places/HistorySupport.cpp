#include "places/HistorySupport.h"

#include <string>

#include "platform/ProgramError.h"
#include "service/FormatSupport.h"
#include "service/SystemSupport.h"

namespace quorvil {

namespace {

// Zoom levels 10..16 are stored as 0..6.
constexpr int kFirstZoomLevel = 10;
constexpr int kLastZoomLevel = 16;

}  // namespace

std::string_view TakeField(std::string_view& rest) {
  const std::size_t bar = rest.find('|');
  if (bar == std::string_view::npos) return {};
  const std::string_view field = rest.substr(0, bar);
  rest.remove_prefix(bar + 1);
  return field;
}

std::string BuildPlaceFields(std::uint8_t zoomLevel, double longitude, double latitude,
                             std::string_view decimalSeparator) {
  std::string fields = "Longitude=" + FloatToStr(longitude, decimalSeparator);
  fields += "|Latitude=" + FloatToStr(latitude, decimalSeparator);
  fields += "|Zoom=" + std::to_string(static_cast<int>(zoomLevel) - kFirstZoomLevel);
  return fields;
}

std::uint8_t ReadZoomField(std::string_view field) {
  const std::string zoomText = GetValueFromString(field, "=");
  const int zoom = StrToInt(zoomText);
  // A level outside the seven would leave the zoom control and the service's scale
  // out of step, so it is refused rather than wrapped into a byte.
  if (zoom < 0 || zoom > kLastZoomLevel - kFirstZoomLevel) {
    throw EQuorvilError("'" + zoomText + "' is not a valid zoom value");
  }
  return static_cast<std::uint8_t>(zoom + kFirstZoomLevel);
}

std::string BuildHistoryString(std::string_view placeText, std::uint8_t zoomLevel, double longitude,
                               double latitude, std::string_view decimalSeparator) {
  std::string entry = BuildPlaceFields(zoomLevel, longitude, latitude, decimalSeparator);
  entry += "|PlaceName=";
  entry += placeText;
  return entry;
}

THistoryEntry ParseHistoryString(std::string_view entry, std::string_view decimalSeparator) {
  if (entry.empty()) throw EQuorvilError("The history string is blank.");
  std::string_view rest = entry;
  THistoryEntry result;
  result.Longitude = StrToFloat(GetValueFromString(TakeField(rest), "="), decimalSeparator);
  result.Latitude = StrToFloat(GetValueFromString(TakeField(rest), "="), decimalSeparator);
  result.ZoomLevel = ReadZoomField(TakeField(rest));
  result.PlaceText = GetValueFromString(rest, "=");
  return result;
}

}  // namespace quorvil
