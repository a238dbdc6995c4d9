#pragma once

// Coordinates as the window shows and copies them, in the format the preferences choose,
// and the ground distance and bearing between two points on the WGS 84 ellipsoid.

#include <string>
#include <string_view>

#include "settings/PreferencesSupport.h"

namespace quorvil {

// The two fields of the readout: longitude and latitude, or for UTM the zone with the
// easting ("18N 583960") and the northing ("4507523").
struct TCoordinateFields {
  std::string First;
  std::string Second;
};

TCoordinateFields FormatCoordinateFields(double longitude, double latitude,
                                         TCoordinateFormat format,
                                         std::string_view decimalSeparator);

// The text Copy Coordinates puts on the clipboard: latitude first, then longitude (for
// UTM zone, easting, northing). The five significant digits of the readout are too few
// to find a place again, so that format copies six decimals.
std::string CoordinateCopyText(double longitude, double latitude, TCoordinateFormat format,
                               std::string_view decimalSeparator);

struct TGroundLine {
  double Meters = 0;
  double Bearing = 0;  // degrees clockwise from north at the start, 0 <= Bearing < 360
};

// The geodesic from the first point to the second.
TGroundLine MeasureGroundLine(double longitude1, double latitude1, double longitude2,
                              double latitude2);

// "1.25 mi, 45°" / "830 ft, 270°" with English units, "2.01 km, 45°" / "250 m, 45°" else.
std::string GroundLineText(const TGroundLine& line, bool englishUnits,
                           std::string_view decimalSeparator);

}  // namespace quorvil
