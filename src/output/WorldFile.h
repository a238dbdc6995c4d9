#pragma once

// Where a saved picture lies on the map, written beside it so that GIS programs place
// it: a world file (pixel size and the position of the upper-left pixel's centre) and a
// ".prj" file naming the coordinate system. The service's grid is a UTM zone per scene:
// tile X counts 200-pixel columns of easting, tile Y 200-pixel rows of northing, at the
// scale's metres per pixel, with pixel offsets counted from a tile's west and north edges.

#include <optional>
#include <string>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

struct TWorldPlacement {
  int Zone = 0;              // UTM zone, northern hemisphere (WGS 84)
  double PixelSize = 0;      // metres
  double CentreEasting = 0;  // of the upper-left pixel's centre, metres
  double CentreNorthing = 0;
};

// The placement of an area's picture, from its north-west tile, offsets and scale;
// nothing when its scene is not a UTM zone.
std::optional<TWorldPlacement> AreaWorldPlacement(const AreaBoundingBox& area);

// The six lines of a world file: pixel width, two rotations, negative pixel height, the
// easting and the northing of the upper-left pixel's centre.
std::string WorldFileText(const TWorldPlacement& placement);

// WGS 84 / UTM zone <zone>N as the well-known text that ".prj" files hold.
std::string UtmProjectionText(int zone);

// The name of the world file beside a picture whose name ends in "." + extension: the
// extension's first and last letters and "w" (site.jpg: site.jgw; site.bmp: site.bpw).
// Empty when the name has no such ending.
std::string WorldFileName(const std::string& pictureName, const std::string& extension);

// Writes the world file and the ".prj" file beside the picture. Writes neither when the
// picture's name does not end in "." + extension, or when the area's scene is not a UTM
// zone. Throws EQuorvilError when a file cannot be written.
void WriteWorldFiles(const std::string& pictureName, const std::string& extension,
                     const AreaBoundingBox& area);

}  // namespace quorvil
