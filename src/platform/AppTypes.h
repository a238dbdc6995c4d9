#pragma once

// Small types that several layers share.

namespace quorvil {

// The selected ground rectangle, handed by value to the output commands.
struct TSelectionRec {
  bool HasSelection = false;
  double West = 0;
  double North = 0;
  double East = 0;
  double South = 0;
};

// Units of the map scale bar; the English measurement system selects suMiles.
enum class TScaleUnitOfMeasure : int { suKilometers = 0, suMiles = 1 };

}  // namespace quorvil
