#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <cmath>

#include "imagery/MosaicSupport.h"
#include "mapservice/UtmProjection.h"
#include "output/SaveAsWizard.h"
#include "service/TerraServiceSupport.h"
#include "support/MapServiceTestSupport.h"
#include "support/QtTestSupport.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

namespace mst = mapservice::testing;

// What a command line prints, or empty when it could not run.
QByteArray Output(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(30000)) return {};
  return process.readAllStandardOutput();
}

// A picture saved from the local map service is placed by GIS programs where the area
// lies: gdalinfo's corners, from the world file, within one pixel of the corners that the
// service gave for the area, and the ".prj" names the area's UTM zone.
TEST(SavedWorldFile, GdalPlacesThePictureOnTheAreasCorners) {
  if (mst::kMapServicePath == nullptr) GTEST_SKIP() << "the map service is not built";
  mst::ServiceProcess server({"--port", "0"});
  ASSERT_FALSE(server.Endpoint().empty()) << server.Line();
  testing::TTempFolder folder;
  InitializeTileService(server.Endpoint(), folder / "Cache", 100000, 10);
  // Around Central Park, New York (UTM zone 18), at 2 metres per pixel.
  const TSelectionRec selection{true, -73.975, 40.785, -73.965, 40.775};
  const auto area = GetAreaForSelection(selection, Theme::Photo, Scale::Scale2m);
  const int zone = area->NorthWest->TileMeta->Id->Scene;
  ASSERT_EQ(zone, 18);
  const auto corner = [&](const AreaCoordinate& c) {
    return mapservice::UtmForward({c.Offset->Point->Lon, c.Offset->Point->Lat}, zone);
  };
  const mapservice::UtmCoordinate upperLeft = corner(*area->NorthWest);
  const mapservice::UtmCoordinate lowerRight = corner(*area->SouthEast);

  for (const auto& [name, type] :
       {std::pair{"site.jpg", TSaveAsFileType::sfJPEG}, {"site.bmp", TSaveAsFileType::sfBitmap}}) {
    const std::string file = folder / name;
    ASSERT_TRUE(SavePhoto(*area, file, type).Completed) << name;
    const QJsonObject info =
        QJsonDocument::fromJson(Output("gdalinfo", {"-json", QString::fromStdString(file)}))
            .object();
    ASSERT_FALSE(info.isEmpty()) << name << ": gdalinfo gave nothing";
    const QJsonArray size = info["size"].toArray();
    EXPECT_EQ(size[0].toInt(), AreaPixelWidth(*area)) << name;
    EXPECT_EQ(size[1].toInt(), AreaPixelHeight(*area)) << name;
    const QJsonObject corners = info["cornerCoordinates"].toObject();
    const QJsonArray ul = corners["upperLeft"].toArray();
    const QJsonArray lr = corners["lowerRight"].toArray();
    EXPECT_NEAR(ul[0].toDouble(), upperLeft.Easting, 2.0) << name;
    EXPECT_NEAR(ul[1].toDouble(), upperLeft.Northing, 2.0) << name;
    EXPECT_NEAR(lr[0].toDouble(), lowerRight.Easting, 2.0) << name;
    EXPECT_NEAR(lr[1].toDouble(), lowerRight.Northing, 2.0) << name;
    const QByteArray srs = Output("gdalsrsinfo", {"-o", "epsg", (folder / "site.prj").c_str()});
    EXPECT_TRUE(srs.contains("EPSG:32618")) << srs.toStdString();
  }
  FinalizeTileService();
}

}  // namespace
}  // namespace quorvil
