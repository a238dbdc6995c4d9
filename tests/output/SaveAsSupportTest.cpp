#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "imagery/JpegCodec.h"
#include "output/SaveAsSupport.h"
#include "output/WorldFile.h"
#include "platform/ProgramError.h"
#include "support/FakeTerraService.h"
#include "support/TempFolder.h"
#include "support/TestPictures.h"

namespace quorvil {
namespace {

namespace fs = std::filesystem;
using testing::MakeArea;
using testing::TTempFolder;

std::string ErrorOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const EQuorvilError& error) {
    return error.what();
  }
  return "no error";
}

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The standard output of a command line.
std::string CommandOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

TEST(SaveAsSupport, FileTypesFilterIndexesAndExtensions) {
  EXPECT_STREQ(kSaveAsFilter, "JPEG (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp");
  EXPECT_EQ(FilterIndexToSaveAsFileType(1), TSaveAsFileType::sfJPEG);
  EXPECT_EQ(FilterIndexToSaveAsFileType(2), TSaveAsFileType::sfBitmap);
  EXPECT_EQ(SaveAsFileTypeToFilterIndex(TSaveAsFileType::sfJPEG), 1);
  EXPECT_EQ(SaveAsFileTypeToFilterIndex(TSaveAsFileType::sfBitmap), 2);
  EXPECT_EQ(GetSaveAsExtention(TSaveAsFileType::sfJPEG), "jpg");
  EXPECT_EQ(GetSaveAsExtention(TSaveAsFileType::sfBitmap), "bmp");
  for (const int index : {0, 3, -1}) {
    EXPECT_EQ(ErrorOf([&] { FilterIndexToSaveAsFileType(index); }), "FilterIndexToSaveAsFileType");
  }
  EXPECT_EQ(ErrorOf([] { GetSaveAsExtention(static_cast<TSaveAsFileType>(2)); }),
            "GetSaveAsExtention");
}

TEST(SaveAsSupport, ExtensionRule) {
  const struct {
    const char* chosen;
    TSaveAsFileType type;
    const char* written;
  } cases[] = {
      {"/maps/site", TSaveAsFileType::sfJPEG, "/maps/site.jpg"},
      {"/maps/site.jpg", TSaveAsFileType::sfJPEG, "/maps/site.jpg"},
      {"/maps/site.JPG", TSaveAsFileType::sfJPEG, "/maps/site.JPG.jpg"},
      {"/maps/sitejpg", TSaveAsFileType::sfJPEG, "/maps/sitejpg"},
      {"/maps/site.jpg", TSaveAsFileType::sfBitmap, "/maps/site.jpg.bmp"},
      {"/maps/site.bmp", TSaveAsFileType::sfBitmap, "/maps/site.bmp"},
      {"/maps/site.BMP", TSaveAsFileType::sfBitmap, "/maps/site.BMP.bmp"},
      {"pg", TSaveAsFileType::sfJPEG, "pg.jpg"},
      {"", TSaveAsFileType::sfBitmap, ".bmp"},
  };
  for (const auto& c : cases) {
    std::string name = c.chosen;
    AppendSaveAsExtension(name, c.type);
    EXPECT_EQ(name, c.written) << c.chosen;
  }
}

TEST(WorldFile, NamesBesideThePicture) {
  const struct {
    const char* picture;
    const char* extension;
    const char* world;
  } cases[] = {
      {"/maps/site.jpg", "jpg", "/maps/site.jgw"},
      {"/maps/site.bmp", "bmp", "/maps/site.bpw"},
      {"/maps/site.JPG.jpg", "jpg", "/maps/site.JPG.jgw"},
      {"/maps.d/site.jpg.bmp", "bmp", "/maps.d/site.jpg.bpw"},
      {"/maps/sitejpg", "jpg", ""},
      {"/maps/site.xjpg", "jpg", ""},
      {"/maps/.jpg", "jpg", ""},
      {"/maps/site.jpg", "bmp", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WorldFileName(c.picture, c.extension), c.world) << c.picture;
  }
}

TEST(WorldFile, ProjectionNamesTheZoneAsGisProgramsReadIt) {
  for (const int zone : {1, 10, 18, 60}) {
    TTempFolder folder;
    const std::string prj = folder / "zone.prj";
    std::ofstream(prj) << UtmProjectionText(zone);
    const std::string info = CommandOutput("gdalsrsinfo -o epsg " + prj + " 2>&1");
    EXPECT_NE(info.find("EPSG:" + std::to_string(32600 + zone)), std::string::npos)
        << zone << ": " << info;
    EXPECT_NE(UtmProjectionText(zone).find("\"WGS 84 / UTM zone " + std::to_string(zone) + "N\""),
              std::string::npos);
  }
}

TEST(WorldFile, TheUpperLeftPixelsCentreInMetres) {
  // Scene 18 at 4 metres per pixel: tile (2500, 11250) spans eastings 2000000..2000800
  // and northings 9000000..9000800; pixel (50, 120) of it begins 200 m east of its west
  // edge and 480 m below its north edge.
  const auto area =
      MakeArea(2500, 11250, 50, 120, 2502, 11249, 10, 10, Theme::Photo, Scale::Scale4m, 18);
  const auto placement = AreaWorldPlacement(*area);
  ASSERT_TRUE(placement.has_value());
  EXPECT_EQ(placement->Zone, 18);
  EXPECT_EQ(WorldFileText(*placement), "4\n0\n0\n-4\n2000202\n9000318\n");
  // A scene that is not a UTM zone has no placement.
  EXPECT_FALSE(
      AreaWorldPlacement(*MakeArea(0, 0, 0, 0, 1, 0, 0, 0, Theme::Photo, Scale::Scale1m, 0)));
}

TEST(SaveAsSupport, WritesThePictureWithItsWorldFilesWhereTheNameAllows) {
  const auto area =
      MakeArea(2500, 11250, 50, 120, 2502, 11249, 10, 10, Theme::Photo, Scale::Scale4m, 18);
  const TBitmap24 picture = testing::Pattern(40, 30, 3);
  const struct {
    const char* name;
    TSaveAsFileType type;
    const char* world;  // nullptr: none
    const char* prj;
  } cases[] = {
      {"site.jpg", TSaveAsFileType::sfJPEG, "site.jgw", "site.prj"},
      {"site.bmp", TSaveAsFileType::sfBitmap, "site.bpw", "site.prj"},
      {"sitejpg", TSaveAsFileType::sfJPEG, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    TTempFolder folder;
    WriteSaveAsFiles(picture, *area, folder / c.name, c.type);
    const std::string bytes = ReadFile(folder / c.name);
    if (c.type == TSaveAsFileType::sfJPEG) {
      EXPECT_EQ(bytes.substr(0, 2), "\xFF\xD8") << c.name;
    } else {
      EXPECT_EQ(bytes.substr(0, 2), "BM") << c.name;
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder.Path())) ++files;
    EXPECT_EQ(files, c.world != nullptr ? 3u : 1u) << c.name;
    if (c.world == nullptr) continue;
    EXPECT_EQ(ReadFile(folder / c.world), "4\n0\n0\n-4\n2000202\n9000318\n") << c.name;
    EXPECT_EQ(ReadFile(folder / c.prj), UtmProjectionText(18)) << c.name;
  }
}

TEST(SaveAsSupport, AFolderThatCannotBeWrittenIsAnError) {
  const auto area = MakeArea(0, 0, 0, 0, 0, 0, 10, 10);
  const std::string message = ErrorOf([&] {
    WriteSaveAsFiles(testing::Pattern(4, 4, 1), *area, "/nonexistent-folder/site.jpg",
                     TSaveAsFileType::sfJPEG);
  });
  EXPECT_NE(message.find("/nonexistent-folder/site.jpg"), std::string::npos) << message;
}

}  // namespace
}  // namespace quorvil
