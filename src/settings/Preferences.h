#pragma once

// The preferences dialog: the measurement system, how coordinates are shown, the smooth
// paper map, opening where the user left off, the map service's address (with a test of
// the address typed), the tile cache's size limit and delete percent, and the cache's
// size now with a way to clear it.

namespace quorvil {

// Shows the dialog modally, filled from the settings store. True when it closed with Ok;
// the values are then stored.
bool ShowPreferences();

}  // namespace quorvil
