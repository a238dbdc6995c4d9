#pragma once

// The file types of Save As, the save dialog's filter, the extension rule, and the writing
// of a saved picture with the files that place it on the map.

#include <string>

#include "imagery/Bitmap24.h"
#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// Ordinals are the picture writer's file types.
enum class TSaveAsFileType : int { sfJPEG = 0, sfBitmap = 1 };

// Pairs of description and pattern, separated by "|"; filter indexes count from 1.
inline constexpr const char* kSaveAsFilter = "JPEG (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp";

// 1 gives sfJPEG, 2 sfBitmap; any other index throws EQuorvilError
// "FilterIndexToSaveAsFileType".
TSaveAsFileType FilterIndexToSaveAsFileType(int filterIndex);
int SaveAsFileTypeToFilterIndex(TSaveAsFileType fileType);

// "jpg" or "bmp"; any other value throws EQuorvilError "GetSaveAsExtention".
std::string GetSaveAsExtention(TSaveAsFileType fileType);

// Appends "." and the type's extension unless the name's last three characters are that
// extension, compared exactly: "site" gives "site.jpg", "sitejpg" stays, "site.JPG" gives
// "site.JPG.jpg".
void AppendSaveAsExtension(std::string& fileName, TSaveAsFileType fileType);

#include <vector>

// The world file and ".prj" file that saving under the name writes beside the picture;
// none when the name does not end in "." and the type's extension.
std::vector<std::string> SaveAsSideFiles(const std::string& fileName, TSaveAsFileType fileType);

// Writes the picture in the type's format (JPEG at quality 100, or a 24-bit bitmap), and
// with `worldFiles` beside it the world file and the ".prj" file of the area when the
// name ends in the type's extension. Throws EQuorvilError when the picture cannot be
// written. The picture is saved then whatever befalls the side files: their failure is
// returned as a warning for the user, empty when there is none.
std::string WriteSaveAsFiles(const TBitmap24& picture, const AreaBoundingBox& area,
                             const std::string& fileName, TSaveAsFileType fileType,
                             bool worldFiles = true);

}  // namespace quorvil
