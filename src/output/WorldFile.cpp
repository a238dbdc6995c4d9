#include "output/WorldFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "imagery/ZoomLevels.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

constexpr int kFirstUtmZone = 1;
constexpr int kLastUtmZone = 60;

// Shortest text that reads back as the same double, whatever the locale.
std::string NumberText(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// The name without the "." + extension ending; empty when it has no such ending.
std::string StemOf(const std::string& pictureName, const std::string& extension) {
  const std::string ending = "." + extension;
  const std::string leaf = std::filesystem::path(pictureName).filename().string();
  if (extension.empty() || leaf.size() <= ending.size() ||
      leaf.compare(leaf.size() - ending.size(), ending.size(), ending) != 0) {
    return {};
  }
  return pictureName.substr(0, pictureName.size() - ending.size());
}

// Written under a temporary name and renamed, so that no half-written file is left.
void WriteTextFile(const std::string& fileName, const std::string& text) {
  const std::string temporary = fileName + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      const std::string reason = std::strerror(errno);
      out.close();
      std::remove(temporary.c_str());
      throw EQuorvilError("Cannot write file \"" + fileName + "\". " + reason);
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, fileName, error);
  if (error) {
    std::remove(temporary.c_str());
    throw EQuorvilError("Cannot create file \"" + fileName + "\". " + error.message());
  }
}

}  // namespace

std::optional<TWorldPlacement> AreaWorldPlacement(const AreaBoundingBox& area) {
  if (!area.NorthWest || !area.NorthWest->TileMeta || !area.NorthWest->TileMeta->Id ||
      !area.NorthWest->Offset) {
    return std::nullopt;
  }
  const TileId& id = *area.NorthWest->TileMeta->Id;
  const LonLatPtOffset& offset = *area.NorthWest->Offset;
  if (id.Scene < kFirstUtmZone || id.Scene > kLastUtmZone) return std::nullopt;
  TWorldPlacement placement;
  placement.Zone = id.Scene;
  placement.PixelSize = std::ldexp(1.0, static_cast<int>(id.Scale) - kMinZoomLevel);
  // The picture's first column is column XOffset of the tile; its first row lies YOffset
  // rows below the tile's north edge, which is row (Y + 1) x 200 of northing.
  const double column = double(id.X) * kTileSize + offset.XOffset;
  const double northEdge = (double(id.Y) + 1) * kTileSize - offset.YOffset;
  placement.CentreEasting = (column + 0.5) * placement.PixelSize;
  placement.CentreNorthing = (northEdge - 0.5) * placement.PixelSize;
  return placement;
}

std::string WorldFileText(const TWorldPlacement& placement) {
  return NumberText(placement.PixelSize) + "\n0\n0\n" + NumberText(-placement.PixelSize) + "\n" +
         NumberText(placement.CentreEasting) + "\n" + NumberText(placement.CentreNorthing) + "\n";
}

std::string UtmProjectionText(int zone) {
  const std::string number = std::to_string(zone);
  const int meridian = 6 * zone - 183;
  return "PROJCS[\"WGS 84 / UTM zone " + number +
         "N\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563,"
         "AUTHORITY[\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0,"
         "AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433,AUTHORITY[\"EPSG\","
         "\"9122\"]],AUTHORITY[\"EPSG\",\"4326\"]],PROJECTION[\"Transverse_Mercator\"],"
         "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\"," +
         std::to_string(meridian) +
         "],PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],"
         "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1,AUTHORITY[\"EPSG\",\"9001\"]],"
         "AXIS[\"Easting\",EAST],AXIS[\"Northing\",NORTH],AUTHORITY[\"EPSG\",\"" +
         std::to_string(32600 + zone) + "\"]]";
}

std::string WorldFileName(const std::string& pictureName, const std::string& extension) {
  const std::string stem = StemOf(pictureName, extension);
  if (stem.empty()) return {};
  return stem + "." + extension.front() + extension.back() + "w";
}

void WriteWorldFiles(const std::string& pictureName, const std::string& extension,
                     const AreaBoundingBox& area) {
  const std::string worldFile = WorldFileName(pictureName, extension);
  const std::optional<TWorldPlacement> placement = AreaWorldPlacement(area);
  if (worldFile.empty() || !placement) return;
  WriteTextFile(worldFile, WorldFileText(*placement));
  WriteTextFile(StemOf(pictureName, extension) + ".prj", UtmProjectionText(placement->Zone));
}

}  // namespace quorvil
