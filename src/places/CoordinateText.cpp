#include "places/CoordinateText.h"

#include <GeographicLib/Geodesic.hpp>
#include <GeographicLib/UTMUPS.hpp>
#include <cmath>
#include <cstdio>

#include "service/FormatSupport.h"

namespace quorvil {

namespace {

// printf's fixed notation, with our separator rather than the process locale's.
std::string Fixed(double value, int decimals, std::string_view separator) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text = buffer;
  if (const std::size_t dot = text.find_first_of(".,"); dot != std::string::npos) {
    text.replace(dot, 1, separator);
  }
  return text;
}

// 40°42'05.3"N: the seconds to a tenth, rounded once so that 59.96" becomes the next minute.
std::string DegreesMinutesSeconds(double value, char positive, char negative,
                                  std::string_view separator) {
  const long long tenths = std::llround(std::fabs(value) * 36000.0);
  const long long degrees = tenths / 36000, minutes = tenths / 600 % 60;
  const double seconds = static_cast<double>(tenths % 600) / 10.0;
  char head[32];
  std::snprintf(head, sizeof head, "%lld\u00b0%02lld'", degrees, minutes);
  std::string text = head;
  if (seconds < 10) text += '0';
  text += Fixed(seconds, 1, separator) + "\"";
  text += value < 0 ? negative : positive;
  return text;
}

struct TUtm {
  std::string Zone;
  long long Easting, Northing;
};

TUtm ToUtm(double longitude, double latitude) {
  int zone = 0;
  bool north = true;
  double x = 0, y = 0;
  GeographicLib::UTMUPS::Forward(latitude, longitude, zone, north, x, y);
  std::string name = zone == GeographicLib::UTMUPS::UPS ? "" : std::to_string(zone);
  name += north ? 'N' : 'S';
  return {name, std::llround(x), std::llround(y)};
}

}  // namespace

TCoordinateFields FormatCoordinateFields(double longitude, double latitude,
                                         TCoordinateFormat format,
                                         std::string_view decimalSeparator) {
  switch (format) {
    case TCoordinateFormat::cfDecimalDegrees:
      return {Fixed(longitude, 6, decimalSeparator), Fixed(latitude, 6, decimalSeparator)};
    case TCoordinateFormat::cfDegreesMinutesSeconds:
      return {DegreesMinutesSeconds(longitude, 'E', 'W', decimalSeparator),
              DegreesMinutesSeconds(latitude, 'N', 'S', decimalSeparator)};
    case TCoordinateFormat::cfUtm: {
      const TUtm utm = ToUtm(longitude, latitude);
      return {utm.Zone + " " + std::to_string(utm.Easting), std::to_string(utm.Northing)};
    }
    case TCoordinateFormat::cfSignificant:
      break;
  }
  return {FormatFloatDisplay(longitude, decimalSeparator),
          FormatFloatDisplay(latitude, decimalSeparator)};
}

std::string CoordinateCopyText(double longitude, double latitude, TCoordinateFormat format,
                               std::string_view decimalSeparator) {
  if (format == TCoordinateFormat::cfSignificant) format = TCoordinateFormat::cfDecimalDegrees;
  const TCoordinateFields fields =
      FormatCoordinateFields(longitude, latitude, format, decimalSeparator);
  if (format == TCoordinateFormat::cfUtm) return fields.First + " " + fields.Second;
  // A comma between the two would read as a decimal comma.
  return fields.Second + (decimalSeparator == "," ? "; " : ", ") + fields.First;
}

TGroundLine MeasureGroundLine(double longitude1, double latitude1, double longitude2,
                              double latitude2) {
  double meters = 0, azimuth1 = 0, azimuth2 = 0;
  GeographicLib::Geodesic::WGS84().Inverse(latitude1, longitude1, latitude2, longitude2, meters,
                                           azimuth1, azimuth2);
  return {meters, azimuth1 < 0 ? azimuth1 + 360 : azimuth1};
}

std::string GroundLineText(const TGroundLine& line, bool englishUnits,
                           std::string_view decimalSeparator) {
  constexpr double kMetersPerFoot = 0.3048, kFeetPerMile = 5280;
  std::string text;
  if (englishUnits) {
    const double feet = line.Meters / kMetersPerFoot;
    text = feet < 1000 ? Fixed(feet, 0, decimalSeparator) + " ft"
                       : Fixed(feet / kFeetPerMile, 2, decimalSeparator) + " mi";
  } else {
    text = line.Meters < 1000 ? Fixed(line.Meters, 0, decimalSeparator) + " m"
                              : Fixed(line.Meters / 1000, 2, decimalSeparator) + " km";
  }
  if (line.Meters < 0.5) return text;  // a point has no bearing
  // 359.6 degrees reads as 0, not 360.
  const long bearing = std::lround(line.Bearing) % 360;
  return text + ", " + std::to_string(bearing) + "\u00b0";
}

}  // namespace quorvil
