#include "ui/main/MapScaleSupport.h"

#include <string>

namespace quorvil {

namespace {

// The foot lengths are feet / 5280 rounded to 10 significant digits.
constexpr TUnitArrayElement kMilesTable[] = {
    {0.0001893939394, "1 Foot"},
    {0.0003787878788, "2 Feet"},
    {0.000946969697, "5 Feet"},
    {0.001893939394, "10 Feet"},
    {0.003787878788, "20 Feet"},
    {0.00946969697, "50 Feet"},
    {0.01893939394, "100 Feet"},
    {0.03787878788, "200 Feet"},
    {0.1, ".1 Miles"},
    {0.25, ".25 Miles"},
    {0.5, ".5 Miles"},
    {0.75, ".75 Miles"},
    {1, "1 Mile"},
    {2, "2 Miles"},
    {5, "5 Miles"},
    {10, "10 Miles"},
    {20, "20 Miles"},
    {50, "50 Miles"},
    {100, "100 Miles"},
    {200, "200 Miles"},
    {500, "500 Miles"},
    {1000, "1000 Miles"},
};

constexpr TUnitArrayElement kKilometersTable[] = {
    {0.001, "1 Meter"},        {0.002, "2 Meters"},     {0.005, "5 Meters"},
    {0.01, "10 Meters"},       {0.02, "20 Meters"},     {0.05, "50 Meters"},
    {0.1, "100 Meters"},       {0.2, "200 Meters"},     {0.5, "500 Meters"},
    {1, "1 Kilometer"},        {2, "2 Kilometers"},     {5, "5 Kilometers"},
    {10, "10 Kilometers"},     {20, "20 Kilometers"},   {50, "50 Kilometers"},
    {100, "100 Kilometers"},   {200, "200 Kilometers"}, {500, "500 Kilometers"},
    {1000, "1000 Kilometers"},
};

}  // namespace

std::span<const TUnitArrayElement> ScaleUnitTable(TScaleUnitOfMeasure unit) {
  if (unit == TScaleUnitOfMeasure::suMiles) return kMilesTable;
  return kKilometersTable;
}

double ScaleUnitsPerPixel(double metresPerPixel, TScaleUnitOfMeasure unit) {
  return metresPerPixel *
         (unit == TScaleUnitOfMeasure::suMiles ? kMilesPerMetre : kKilometresPerMetre);
}

TScaleLegend ChooseScaleLegend(TScaleUnitOfMeasure unit, double unitsPerPixel, int frameWidth) {
  const std::span<const TUnitArrayElement> table = ScaleUnitTable(unit);
  const double limit = frameWidth * unitsPerPixel;
  for (auto row = table.rbegin(); row != table.rend(); ++row) {
    if (row->Length < limit) {
      // Length < frameWidth * unitsPerPixel, so the quotient is below frameWidth.
      return {std::string(row->Text) + ":", static_cast<int>(row->Length / unitsPerPixel)};
    }
  }
  return {":", 0};
}

}  // namespace quorvil
