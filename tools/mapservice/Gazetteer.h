#pragma once

// The place names the service knows: real places of the United States compiled into the
// program (towns with their population, and landmarks), searchable by name, by
// rectangle and by nearness.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil::mapservice {

struct GazetteerRecord {
  const char* City = "";
  const char* State = "";  // two-letter postal code
  double Lat = 0;
  double Lon = 0;
  int Population = 0;
  PlaceType Type = PlaceType::CityTown;
  // Rough ground radius in metres; 0 means: from the population.
  float RadiusMetres = 0;
  // A second point makes the feature a band from (Lat, Lon) to (Lat2, Lon2).
  double Lat2 = 0;
  double Lon2 = 0;

  bool IsBand() const { return Lat2 != 0 || Lon2 != 0; }
};

extern const GazetteerRecord kGazetteerTowns[];
extern const std::size_t kGazetteerTownCount;
extern const GazetteerRecord kGazetteerLandmarks[];
extern const std::size_t kGazetteerLandmarkCount;

inline constexpr std::string_view kCountryName = "United States";

// "New Jersey" for "NJ"; empty for an unknown code.
std::string_view StateName(std::string_view code);
// The code of a state given by its code or its name, in any letter case.
std::optional<std::string_view> StateCodeOf(std::string_view codeOrName);

// Ground radius in metres within which a place shapes the land.
double InfluenceRadius(const GazetteerRecord& record);

// Great-circle distance in metres.
double DistanceMetres(double lon1, double lat1, double lon2, double lat2);

class Gazetteer {
 public:
  static const Gazetteer& Instance();

  std::size_t Size() const { return records_.size(); }
  const std::vector<const GazetteerRecord*>& Records() const { return records_; }

  // Places whose name equals the text or begins with it, without regard to case;
  // "Name, State" narrows by state (code or name). Exact names first, then by
  // population. `accept` filters before maxItems counts.
  std::vector<const GazetteerRecord*> Search(
      std::string_view text, std::size_t maxItems,
      const std::function<bool(const GazetteerRecord&)>& accept = {}) const;

  // The place of that city (and state, when not empty), without regard to case: the most
  // populous when several match; nullptr when none does.
  const GazetteerRecord* Find(std::string_view city, std::string_view state) const;

  // Places inside the rectangle (west <= lon <= east, south <= lat <= north) of the type,
  // or of any type for UnknownPlaceType, most populous first.
  std::vector<const GazetteerRecord*> InRect(double west, double north, double east, double south,
                                             PlaceType type) const;

  // The nearest town and its distance in metres.
  const GazetteerRecord* NearestTown(double lon, double lat, double* distance) const;
  // "3 km NW of Hoboken, New Jersey", or "Hoboken, New Jersey" when nearer than 1 km.
  std::string NearestPlaceText(double lon, double lat) const;

  // Every place whose influence may reach the box (degrees).
  void ForEachInfluencing(double west, double south, double east, double north,
                          const std::function<void(const GazetteerRecord&)>& visit) const;

 private:
  Gazetteer();
  static long long CellKey(int lonCell, int latCell);

  std::vector<const GazetteerRecord*> records_;
  std::vector<std::string> lowerNames_;  // parallel to records_
  std::unordered_map<long long, std::vector<const GazetteerRecord*>> townCells_;
  std::unordered_map<long long, std::vector<const GazetteerRecord*>> influenceCells_;
};

}  // namespace quorvil::mapservice
