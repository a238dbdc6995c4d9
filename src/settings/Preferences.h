#pragma once

// The preferences dialog: the measurement system, the map service's address (with a test
// of the address typed), the tile cache's size limit and delete percent.

namespace quorvil {

// Shows the dialog modally, filled from the settings store. True when it closed with Ok;
// the four values are then stored.
bool ShowPreferences();

}  // namespace quorvil
