#include "mapservice/UtmProjection.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quorvil::mapservice {

namespace {

constexpr double kA = 6378137.0;
constexpr double kF = 1.0 / 298.257223563;
constexpr double kK0 = 0.9996;
constexpr double kFalseEasting = 500000.0;
constexpr double kDeg = std::numbers::pi / 180.0;

struct Series {
  double n, a, alpha[4], beta[4], delta[4], e2n;
  Series() {
    n = kF / (2 - kF);
    const double n2 = n * n, n3 = n2 * n, n4 = n3 * n;
    a = kA / (1 + n) * (1 + n2 / 4 + n4 / 64);
    alpha[0] = n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180;
    alpha[1] = 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440;
    alpha[2] = 61 * n3 / 240 - 103 * n4 / 140;
    alpha[3] = 49561 * n4 / 161280;
    beta[0] = n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360;
    beta[1] = n2 / 48 + n3 / 15 - 437 * n4 / 1440;
    beta[2] = 17 * n3 / 480 - 37 * n4 / 840;
    beta[3] = 4397 * n4 / 161280;
    delta[0] = 2 * n - 2 * n2 / 3 - 2 * n3 + 116 * n4 / 45;
    delta[1] = 7 * n2 / 3 - 8 * n3 / 5 - 227 * n4 / 45;
    delta[2] = 56 * n3 / 15 - 136 * n4 / 35;
    delta[3] = 4279 * n4 / 630;
    e2n = 2 * std::sqrt(n) / (1 + n);
  }
};

const Series& S() {
  static const Series series;
  return series;
}

}  // namespace

int UtmZoneOf(double lon) {
  const int zone = static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1;
  return std::clamp(zone, kFirstUtmZone, kLastUtmZone);
}

double UtmCentralMeridian(int zone) { return -183.0 + 6.0 * zone; }

UtmCoordinate UtmForward(GeoPoint point, int zone) {
  const Series& s = S();
  const double phi = point.Lat * kDeg;
  double lambda = (point.Lon - UtmCentralMeridian(zone)) * kDeg;
  // Keep the longitude difference within one turn of the central meridian.
  lambda = std::remainder(lambda, 2 * std::numbers::pi);
  const double sinPhi = std::sin(phi);
  const double t = std::sinh(std::atanh(sinPhi) - s.e2n * std::atanh(s.e2n * sinPhi));
  const double xiP = std::atan2(t, std::cos(lambda));
  const double etaP = std::atanh(std::sin(lambda) / std::sqrt(1 + t * t));
  double xi = xiP, eta = etaP;
  for (int j = 1; j <= 4; ++j) {
    xi += s.alpha[j - 1] * std::sin(2 * j * xiP) * std::cosh(2 * j * etaP);
    eta += s.alpha[j - 1] * std::cos(2 * j * xiP) * std::sinh(2 * j * etaP);
  }
  return {zone, kFalseEasting + kK0 * s.a * eta, kK0 * s.a * xi};
}

UtmCoordinate UtmForward(GeoPoint point) { return UtmForward(point, UtmZoneOf(point.Lon)); }

GeoPoint UtmInverse(const UtmCoordinate& utm) {
  const Series& s = S();
  const double xi = utm.Northing / (kK0 * s.a);
  const double eta = (utm.Easting - kFalseEasting) / (kK0 * s.a);
  double xiP = xi, etaP = eta;
  for (int j = 1; j <= 4; ++j) {
    xiP -= s.beta[j - 1] * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
    etaP -= s.beta[j - 1] * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
  }
  const double chi = std::asin(std::sin(xiP) / std::cosh(etaP));
  double phi = chi;
  for (int j = 1; j <= 4; ++j) phi += s.delta[j - 1] * std::sin(2 * j * chi);
  double lon = UtmCentralMeridian(utm.Zone) + std::atan2(std::sinh(etaP), std::cos(xiP)) / kDeg;
  if (lon > 180.0) lon -= 360.0;
  if (lon < -180.0) lon += 360.0;
  return {lon, phi / kDeg};
}

}  // namespace quorvil::mapservice
