#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "ui/main/MapScaleSupport.h"

namespace quorvil {
namespace {

constexpr auto kMiles = TScaleUnitOfMeasure::suMiles;
constexpr auto kKilometers = TScaleUnitOfMeasure::suKilometers;

TEST(MapScaleSupport, LegendPerZoomLevelAndUnitInTheMainWindow) {
  const struct {
    int zoomLevel;
    const char* english;
    int englishBar;
    const char* metric;
    int metricBar;
  } levels[] = {
      {10, "200 Feet:", 60, "100 Meters:", 100},   {11, ".1 Miles:", 80, "200 Meters:", 100},
      {12, ".25 Miles:", 100, "500 Meters:", 125}, {13, ".5 Miles:", 100, "1 Kilometer:", 125},
      {14, "1 Mile:", 100, "2 Kilometers:", 125},  {15, "2 Miles:", 100, "2 Kilometers:", 62},
      {16, "5 Miles:", 125, "5 Kilometers:", 78},
  };
  for (const auto& level : levels) {
    SCOPED_TRACE(level.zoomLevel);
    const double metresPerPixel = std::ldexp(1.0, level.zoomLevel - 10);
    const TScaleLegend english =
        ChooseScaleLegend(kMiles, ScaleUnitsPerPixel(metresPerPixel, kMiles), kMapScaleFrameWidth);
    EXPECT_EQ(english.Caption, level.english);
    EXPECT_EQ(english.BarWidth, level.englishBar);
    const TScaleLegend metric = ChooseScaleLegend(
        kKilometers, ScaleUnitsPerPixel(metresPerPixel, kKilometers), kMapScaleFrameWidth);
    EXPECT_EQ(metric.Caption, level.metric);
    EXPECT_EQ(metric.BarWidth, level.metricBar);
  }
}

TEST(MapScaleSupport, ChoiceAtTheEdgesOfTheTables) {
  const struct {
    TScaleUnitOfMeasure unit;
    double unitsPerPixel;
    int frameWidth;
    const char* caption;
    int bar;
  } cases[] = {
      {kMiles, 1.0, 140, "100 Miles:", 100},
      {kKilometers, 0.5, 4, "1 Kilometer:", 2},  // "2 Kilometers" equals the limit
      {kKilometers, 0.5, 5, "2 Kilometers:", 4},
      {kMiles, 100.0, 140, "1000 Miles:", 10},
      {kMiles, 1e-9, 140, ":", 0},
      {kKilometers, 1e-9, 140, ":", 0},
      {kKilometers, 0.001 / 140, 140, ":", 0},  // limit just at "1 Meter"
      {kKilometers, 0.0, 140, ":", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    const TScaleLegend legend = ChooseScaleLegend(c.unit, c.unitsPerPixel, c.frameWidth);
    EXPECT_EQ(legend.Caption, c.caption);
    EXPECT_EQ(legend.BarWidth, c.bar);
  }
}

TEST(MapScaleSupport, TablesRiseAndFeetAreTenDigitFractionsOfAMile) {
  EXPECT_EQ(ScaleUnitTable(kMiles).size(), 22u);
  EXPECT_EQ(ScaleUnitTable(kKilometers).size(), 19u);
  for (auto unit : {kMiles, kKilometers}) {
    const auto table = ScaleUnitTable(unit);
    for (std::size_t i = 1; i < table.size(); ++i) {
      EXPECT_LT(table[i - 1].Length, table[i].Length) << table[i].Text;
    }
  }
  const int feet[] = {1, 2, 5, 10, 20, 50, 100, 200};
  for (int i = 0; i < 8; ++i) {
    const TUnitArrayElement& row = ScaleUnitTable(kMiles)[static_cast<std::size_t>(i)];
    EXPECT_EQ(row.Text, std::to_string(feet[i]) + (feet[i] == 1 ? " Foot" : " Feet"));
    EXPECT_NEAR(row.Length, feet[i] / 5280.0, feet[i] / 5280.0 * 1e-9);
    EXPECT_NE(row.Length, feet[i] / 5280.0);  // the rounded decimal, not the fraction
  }
}

}  // namespace
}  // namespace quorvil
