#pragma once

// Named sets of real imagery that ship with the program: `--preset usgs` serves the
// photographs and the topographic map of the U.S. Geological Survey's The National Map
// from the tile-service descriptions installed beside the program.

#include <optional>
#include <string>
#include <vector>

#include "mapservice/GdalImagery.h"

namespace quorvil::mapservice {

// Where the description files lie: $QUORVIL_IMAGERY_DIR when set, else
// <prefix>/share/quorvil/imagery beside the installed program, else the source tree's
// resources/imagery (a program run from its build folder).
std::string PresetFolder();

// Removes --preset NAME from the command line and returns the datasets and the credit
// of the named preset; nothing without the option. Throws EQuorvilError for an unknown
// name, a second --preset, or --photo/--topo beside it (`imagery`: what those named).
std::optional<ImageryPaths> TakePresetOption(std::vector<std::string>& args,
                                             const ImageryPaths& imagery);

// The lines of the usage text that describe the presets.
std::string PresetUsageText();

}  // namespace quorvil::mapservice
