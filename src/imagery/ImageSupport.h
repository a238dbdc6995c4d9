#pragma once

#include <string>

#include "imagery/Bitmap24.h"

namespace quorvil {

// File types of SaveBitmapToFile, as the save dialog numbers them.
inline constexpr int kSaveAsJpeg = 0;
inline constexpr int kSaveAsBitmap = 1;

// Writes the picture as a JPEG file at quality 100 (fileType 0) or a 24-bit Windows
// bitmap file (fileType 1); any other type writes nothing. The file appears whole or
// not at all: it is written under a temporary name beside it and renamed into place.
// Throws EQuorvilError when the file cannot be written.
void SaveBitmapToFile(const TBitmap24& picture, const std::string& fileName, int fileType);

}  // namespace quorvil
