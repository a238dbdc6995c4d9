#include "service/TerraServiceSoapSupport.h"

#include <algorithm>
#include <array>

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

constexpr std::array<std::string_view, 3> kThemeNames = {"Photo", "Topo", "Relief"};

constexpr std::array<std::string_view, 25> kScaleNames = {
    "Scale1mm",   "Scale2mm",   "Scale4mm",   "Scale8mm",  "Scale16mm", "Scale32mm", "Scale63mm",
    "Scale125mm", "Scale250mm", "Scale500mm", "Scale1m",   "Scale2m",   "Scale4m",   "Scale8m",
    "Scale16m",   "Scale32m",   "Scale64m",   "Scale128m", "Scale256m", "Scale512m", "Scale1km",
    "Scale2km",   "Scale4km",   "Scale8km",   "Scale16km"};

constexpr std::array<std::string_view, 13> kPlaceTypeNames = {
    "UnknownPlaceType", "AirRailStation",  "BayGulf", "CapePeninsula",    "CityTown",
    "HillMountain",     "Island",          "Lake",    "OtherLandFeature", "OtherWaterFeature",
    "ParkBeach",        "PointOfInterest", "River"};

constexpr std::array<std::string_view, 3> kProjectionTypeNames = {"Geographic", "UtmNad27",
                                                                  "UtmNad83"};

template <typename E, std::size_t N>
std::string_view NameOf(const std::array<std::string_view, N>& names, E value) {
  const auto index = static_cast<std::size_t>(value);
  return index < N ? names[index] : std::string_view{};
}

template <typename E, std::size_t N>
std::optional<E> Find(const std::array<std::string_view, N>& names, std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == name) return static_cast<E>(i);
  }
  return std::nullopt;
}

template <typename E>
E Require(std::optional<E> value, std::string_view typeName, std::string_view name) {
  if (!value) {
    throw EQuorvilError("'" + std::string(name) + "' is not a valid " + std::string(typeName) +
                        " value");
  }
  return *value;
}

}  // namespace

std::string_view EnumName(Theme value) { return NameOf(kThemeNames, value); }
std::string_view EnumName(Scale value) { return NameOf(kScaleNames, value); }
std::string_view EnumName(PlaceType value) { return NameOf(kPlaceTypeNames, value); }
std::string_view EnumName(ProjectionType value) { return NameOf(kProjectionTypeNames, value); }

std::optional<Theme> TryParseTheme(std::string_view name) { return Find<Theme>(kThemeNames, name); }
std::optional<Scale> TryParseScale(std::string_view name) { return Find<Scale>(kScaleNames, name); }
std::optional<PlaceType> TryParsePlaceType(std::string_view name) {
  return Find<PlaceType>(kPlaceTypeNames, name);
}
std::optional<ProjectionType> TryParseProjectionType(std::string_view name) {
  return Find<ProjectionType>(kProjectionTypeNames, name);
}

Theme ParseTheme(std::string_view name) { return Require(TryParseTheme(name), "Theme", name); }
Scale ParseScale(std::string_view name) { return Require(TryParseScale(name), "Scale", name); }
PlaceType ParsePlaceType(std::string_view name) {
  return Require(TryParsePlaceType(name), "PlaceType", name);
}
ProjectionType ParseProjectionType(std::string_view name) {
  return Require(TryParseProjectionType(name), "ProjectionType", name);
}

AreaBoundingBox::~AreaBoundingBox() {
  OverlappingThemeInfos.clear();
  Center.reset();
  SouthEast.reset();
  SouthWest.reset();
  NorthEast.reset();
  NorthWest.reset();
}

std::int64_t Base64DecodedSize(std::string_view text) {
  const std::string_view data = text.substr(0, std::min(text.find('='), text.size()));
  const auto digits = std::count_if(data.begin(), data.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
  });
  return static_cast<std::int64_t>(digits) * 6 / 8;
}

}  // namespace quorvil
