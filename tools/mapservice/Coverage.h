#pragma once

// Where the local map service holds imagery: the whole world between 80 degrees south
// and 84 degrees north, or only the fifty states (their outlines, and the ground around
// every town of the gazetteer), so that the client's paths for missing imagery can
// be tried out.

#include <optional>
#include <string_view>

namespace quorvil::mapservice {

enum class CoverageKind { World, UnitedStates };

std::optional<CoverageKind> TryParseCoverage(std::string_view text);

bool CoverageHolds(CoverageKind coverage, double lon, double lat);

}  // namespace quorvil::mapservice
