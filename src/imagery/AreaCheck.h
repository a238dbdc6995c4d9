#pragma once

// What an area of the map service must be before any of its tiles is fetched: a wrong
// or hostile answer would otherwise cost a download of thousands of tiles, a picture of
// gigabytes, or a black picture reported as done.

#include <cstdint>

#include "imagery/ZoomLevels.h"
#include "platform/AppTypes.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// The area GetAreaFromPt returned for a picture of width x height pixels: its corners
// in order, their offsets inside their tiles, and no fewer tiles than the picture needs
// nor more than one extra on each side. Throws EQuorvilError naming what is wrong.
void CheckViewArea(const AreaBoundingBox& area, int width, int height);

// The area GetAreaFromRect returned for the selection at the level: as above, and a
// picture of at least one pixel that is no larger than SelectionPictureLimit.
void CheckSelectionArea(const AreaBoundingBox& area, const TSelectionRec& selection,
                        TZoomLevel level);

struct TPictureLimit {
  std::int64_t Width = 0;
  std::int64_t Height = 0;
};

// The largest picture an honest answer for the selection can have at the level: the
// rectangle's extent in pixels, with room for the grid's turn against the meridians and
// its stretch away from them, and one tile more on each side. Throws EQuorvilError
// for a selection that is not a finite rectangle of the earth.
TPictureLimit SelectionPictureLimit(const TSelectionRec& selection, TZoomLevel level);

}  // namespace quorvil
