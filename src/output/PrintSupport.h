#pragma once

// The print job: the output picture of the selection on one page of the current
// printer, placed by the page-setup choices.

#include <cstdint>

#include "imagery/Bitmap24.h"
#include "output/PrintPlacement.h"
#include "service/TerraServiceSoapSupport.h"

class QPainter;

namespace quorvil {

inline constexpr const char* kSendingToPrinterMessage =
    "Sending Image to Printer.\r\rPlease Wait...";

// Draws the whole picture, stretched, into the rectangle of width x height whose
// top-left corner is (left, bottom - height) on the open job's page, in one copy.
void StretchBitmapToPrinter(QPainter& painter, const TBitmap24& picture, std::int64_t left,
                            std::int64_t bottom, std::int64_t height, std::int64_t width);

// Prints the picture on one page of the current printer at its placement, under the
// wait screen; what falls outside the printable area is cut off. A picture without
// pixels is refused before the job begins. Throws EQuorvilError when the job fails; the
// job is ended and the wait screen hidden on every path.
void PrintPictureOnPage(const TBitmap24& picture, const TPrintOptions& options);

// Assembles the picture of the area in the download progress window and prints it on one
// page, also when the download did not complete (the missing tiles are white). Returns
// whether all tiles were drawn; printer errors are passed on.
bool PrintPhoto(const AreaBoundingBox& area, const TPrintOptions& options);

}  // namespace quorvil
