#pragma once

// WGS 84 transverse Mercator in UTM zones (Krüger series, sub-millimetre within the
// zones and good to centimetres 30 degrees from the central meridian). Northings are
// signed, without the southern false northing, so that tile rows run on across the
// equator; eastings carry the usual 500 km false easting.

namespace quorvil::mapservice {

inline constexpr int kFirstUtmZone = 1;
inline constexpr int kLastUtmZone = 60;

struct UtmCoordinate {
  int Zone = 0;
  double Easting = 0;
  double Northing = 0;
};

struct GeoPoint {
  double Lon = 0;
  double Lat = 0;
};

// The zone whose 6-degree band holds the longitude (180 belongs to zone 60).
int UtmZoneOf(double lon);
// Central meridian of a zone, in degrees.
double UtmCentralMeridian(int zone);

// Projects a point into the given zone, which need not be its own (areas keep the zone
// of their centre).
UtmCoordinate UtmForward(GeoPoint point, int zone);
UtmCoordinate UtmForward(GeoPoint point);
GeoPoint UtmInverse(const UtmCoordinate& utm);

}  // namespace quorvil::mapservice
