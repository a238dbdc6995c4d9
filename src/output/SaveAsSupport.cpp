#include "output/SaveAsSupport.h"

#include <algorithm>

#include "imagery/ImageSupport.h"
#include "output/WorldFile.h"
#include "platform/ProgramError.h"

namespace quorvil {

TSaveAsFileType FilterIndexToSaveAsFileType(int filterIndex) {
  switch (filterIndex) {
    case 1:
      return TSaveAsFileType::sfJPEG;
    case 2:
      return TSaveAsFileType::sfBitmap;
  }
  throw EQuorvilError("FilterIndexToSaveAsFileType");
}

int SaveAsFileTypeToFilterIndex(TSaveAsFileType fileType) {
  return fileType == TSaveAsFileType::sfBitmap ? 2 : 1;
}

std::string GetSaveAsExtention(TSaveAsFileType fileType) {
  switch (fileType) {
    case TSaveAsFileType::sfJPEG:
      return "jpg";
    case TSaveAsFileType::sfBitmap:
      return "bmp";
  }
  throw EQuorvilError("GetSaveAsExtention");
}

void AppendSaveAsExtension(std::string& fileName, TSaveAsFileType fileType) {
  const std::string extension = GetSaveAsExtention(fileType);
  const std::size_t tail = std::min(fileName.size(), extension.size());
  if (fileName.compare(fileName.size() - tail, tail, extension) != 0) {
    fileName += "." + extension;
  }
}

std::vector<std::string> SaveAsSideFiles(const std::string& fileName, TSaveAsFileType fileType) {
  const std::string extension = GetSaveAsExtention(fileType);
  const std::string worldFile = WorldFileName(fileName, extension);
  if (worldFile.empty()) return {};
  return {worldFile, fileName.substr(0, fileName.size() - extension.size()) + "prj"};
}

std::string WriteSaveAsFiles(const TBitmap24& picture, const AreaBoundingBox& area,
                             const std::string& fileName, TSaveAsFileType fileType,
                             bool worldFiles) {
  static_assert(static_cast<int>(TSaveAsFileType::sfJPEG) == kSaveAsJpeg &&
                static_cast<int>(TSaveAsFileType::sfBitmap) == kSaveAsBitmap);
  SaveBitmapToFile(picture, fileName, static_cast<int>(fileType));
  if (!worldFiles) return {};
  try {
    WriteWorldFiles(fileName, GetSaveAsExtention(fileType), area);
  } catch (const EQuorvilError& error) {
    return std::string(
               "The picture was saved, but the files that place it on the map were "
               "not: ") +
           error.what();
  }
  return {};
}

}  // namespace quorvil
