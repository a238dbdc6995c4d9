#include "mapservice/ImageryPreset.h"

#include <cstdlib>
#include <filesystem>

#include "platform/ProgramError.h"

namespace quorvil::mapservice {

namespace {

namespace fs = std::filesystem;

struct Preset {
  const char* name;
  const char* photo;
  const char* topo;
  const char* supplier;
  const char* notice;
};

constexpr Preset kPresets[] = {
    {"usgs", "usgs-imagery.xml", "usgs-topo.xml", "U.S. Geological Survey, The National Map",
     "Public domain; place names from GeoNames (CC BY 4.0)"},
};

}  // namespace

std::string PresetFolder() {
  if (const char* given = std::getenv("QUORVIL_IMAGERY_DIR"); given != nullptr && given[0]) {
    return given;
  }
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const fs::path installed = program.parent_path().parent_path() / "share/quorvil/imagery";
    if (fs::is_directory(installed, error)) return installed.string();
  }
  return QUORVIL_SOURCE_IMAGERY_DIR;
}

std::optional<ImageryPaths> TakePresetOption(std::vector<std::string>& args,
                                             const ImageryPaths& imagery) {
  std::optional<ImageryPaths> chosen;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] != "--preset") {
      rest.push_back(std::move(args[i]));
      continue;
    }
    if (chosen) throw EQuorvilError("--preset names one preset only");
    const std::string name = i + 1 < args.size() ? args[++i] : std::string();
    const Preset* preset = nullptr;
    for (const Preset& p : kPresets) {
      if (name == p.name) preset = &p;
    }
    if (preset == nullptr) throw EQuorvilError("--preset wants usgs, not '" + name + "'");
    if (!imagery.Empty()) {
      throw EQuorvilError("--preset " + name + " brings both themes; leave out --photo and --topo");
    }
    const fs::path folder = PresetFolder();
    chosen = ImageryPaths{(folder / preset->photo).string(), (folder / preset->topo).string(),
                          preset->supplier, preset->notice};
  }
  args = std::move(rest);
  return chosen;
}

std::string PresetUsageText() {
  return "  --preset usgs      serve real aerial photographs and topographic maps of the\n"
         "                     United States: The National Map of the U.S. Geological\n"
         "                     Survey (public domain), fetched over the internet and\n"
         "                     cached under $XDG_CACHE_HOME/Quorvil/gdal\n";
}

}  // namespace quorvil::mapservice
