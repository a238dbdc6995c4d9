#pragma once

// Copy: the photograph of the selection at the zoom level the view shows, assembled in
// the download progress window and put on the clipboard as a picture. Pictures of more
// than kClipboardPixelLimit pixels are refused with a warning.

#include <cstdint>

#include "imagery/ZoomLevels.h"
#include "platform/AppTypes.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// 2048 x 2048; exactly this many pixels are still copied.
inline constexpr std::int64_t kClipboardPixelLimit = 4194304;

inline constexpr const char* kClipboardTooLargeText =
    "The area selected is too large for the clipboard.  Use \"SaveAs...\" instead.";

// Assembles the picture of the area and puts it on the clipboard, replacing what it held;
// the picture goes there also when the download did not complete (white where tiles are
// missing). Returns whether all tiles were drawn.
bool CopyPhotoToClipboard(const AreaBoundingBox& area);

// The main window's Copy command: asks for the selection's area at the zoom level, warns
// when its picture is above the limit, copies it otherwise. Errors end here, shown by the
// general error display (a declined retry shows nothing).
void CopySelectionToClipboard(const TSelectionRec& selection, TZoomLevel zoomLevel);

}  // namespace quorvil
