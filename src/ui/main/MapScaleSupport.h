#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/AppTypes.h"

namespace quorvil {

// One distance of the scale legend, in the unit of its table.
struct TUnitArrayElement {
  double Length;
  std::string_view Text;
};

// The distances the legend can show, shortest first: miles (from "1 Foot" to
// "1000 Miles") for suMiles, kilometres (from "1 Meter" to "1000 Kilometers") for
// suKilometers.
std::span<const TUnitArrayElement> ScaleUnitTable(TScaleUnitOfMeasure unit);

// Ground length units per metre of the two measurement systems.
inline constexpr double kMilesPerMetre = 0.0006213711922;
inline constexpr double kKilometresPerMetre = 0.001;

// The legend's ground length of one pixel, in the unit of the table in use.
double ScaleUnitsPerPixel(double metresPerPixel, TScaleUnitOfMeasure unit);

// Width of the scale frame in the main window.
inline constexpr int kMapScaleFrameWidth = 140;

// What the legend shows: the caption ("200 Feet:") and the bar's width in pixels.
struct TScaleLegend {
  std::string Caption;
  int BarWidth = 0;
};

// The longest distance of the unit's table that is strictly shorter than the frame is
// wide (frameWidth * unitsPerPixel), its bar trunc(Length / unitsPerPixel) pixels long;
// when none is shorter, the caption ":" and no bar.
TScaleLegend ChooseScaleLegend(TScaleUnitOfMeasure unit, double unitsPerPixel, int frameWidth);

}  // namespace quorvil
