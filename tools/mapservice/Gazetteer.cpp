#include "mapservice/Gazetteer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <unordered_set>

namespace quorvil::mapservice {

namespace {

constexpr double kEarthRadius = 6371008.8;
constexpr double kDeg = std::numbers::pi / 180.0;

struct StateEntry {
  std::string_view code, name;
};

constexpr std::array<StateEntry, 51> kStates = {{
    {"AL", "Alabama"},        {"AK", "Alaska"},         {"AZ", "Arizona"},
    {"AR", "Arkansas"},       {"CA", "California"},     {"CO", "Colorado"},
    {"CT", "Connecticut"},    {"DE", "Delaware"},       {"DC", "District of Columbia"},
    {"FL", "Florida"},        {"GA", "Georgia"},        {"HI", "Hawaii"},
    {"ID", "Idaho"},          {"IL", "Illinois"},       {"IN", "Indiana"},
    {"IA", "Iowa"},           {"KS", "Kansas"},         {"KY", "Kentucky"},
    {"LA", "Louisiana"},      {"ME", "Maine"},          {"MD", "Maryland"},
    {"MA", "Massachusetts"},  {"MI", "Michigan"},       {"MN", "Minnesota"},
    {"MS", "Mississippi"},    {"MO", "Missouri"},       {"MT", "Montana"},
    {"NE", "Nebraska"},       {"NV", "Nevada"},         {"NH", "New Hampshire"},
    {"NJ", "New Jersey"},     {"NM", "New Mexico"},     {"NY", "New York"},
    {"NC", "North Carolina"}, {"ND", "North Dakota"},   {"OH", "Ohio"},
    {"OK", "Oklahoma"},       {"OR", "Oregon"},         {"PA", "Pennsylvania"},
    {"RI", "Rhode Island"},   {"SC", "South Carolina"}, {"SD", "South Dakota"},
    {"TN", "Tennessee"},      {"TX", "Texas"},          {"UT", "Utah"},
    {"VT", "Vermont"},        {"VA", "Virginia"},       {"WA", "Washington"},
    {"WV", "West Virginia"},  {"WI", "Wisconsin"},      {"WY", "Wyoming"},
}};

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool MorePopulous(const GazetteerRecord* a, const GazetteerRecord* b) {
  if (a->Population != b->Population) return a->Population > b->Population;
  const int byName = std::string_view(a->City).compare(b->City);
  if (byName != 0) return byName < 0;
  return std::string_view(a->State) < std::string_view(b->State);
}

// Compass point of the bearing from (lon1, lat1) to (lon2, lat2).
std::string_view Compass(double lon1, double lat1, double lon2, double lat2) {
  static constexpr std::array<std::string_view, 8> kPoints = {"N", "NE", "E", "SE",
                                                              "S", "SW", "W", "NW"};
  const double p1 = lat1 * kDeg, p2 = lat2 * kDeg, dl = (lon2 - lon1) * kDeg;
  const double y = std::sin(dl) * std::cos(p2);
  const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
  double bearing = std::atan2(y, x) / kDeg;
  if (bearing < 0) bearing += 360.0;
  return kPoints[static_cast<int>(std::floor((bearing + 22.5) / 45.0)) % 8];
}

}  // namespace

std::string_view StateName(std::string_view code) {
  for (const StateEntry& s : kStates) {
    if (s.code == code) return s.name;
  }
  return {};
}

std::optional<std::string_view> StateCodeOf(std::string_view codeOrName) {
  const std::string wanted = Lower(Trim(codeOrName));
  for (const StateEntry& s : kStates) {
    if (Lower(s.code) == wanted || Lower(s.name) == wanted) return s.code;
  }
  return std::nullopt;
}

double InfluenceRadius(const GazetteerRecord& record) {
  if (record.RadiusMetres > 0) return record.RadiusMetres;
  const double people = std::max(record.Population, 500);
  return std::min(20000.0, 300.0 * std::sqrt(people / 1000.0));
}

double DistanceMetres(double lon1, double lat1, double lon2, double lat2) {
  const double p1 = lat1 * kDeg, p2 = lat2 * kDeg;
  const double dp = p2 - p1, dl = (lon2 - lon1) * kDeg;
  const double h = std::sin(dp / 2) * std::sin(dp / 2) +
                   std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

const Gazetteer& Gazetteer::Instance() {
  static const Gazetteer gazetteer;
  return gazetteer;
}

long long Gazetteer::CellKey(int lonCell, int latCell) {
  return static_cast<long long>(lonCell) * 1000 + latCell;
}

Gazetteer::Gazetteer() {
  records_.reserve(kGazetteerTownCount + kGazetteerLandmarkCount);
  for (std::size_t i = 0; i < kGazetteerTownCount; ++i) records_.push_back(&kGazetteerTowns[i]);
  for (std::size_t i = 0; i < kGazetteerLandmarkCount; ++i) {
    records_.push_back(&kGazetteerLandmarks[i]);
  }
  lowerNames_.reserve(records_.size());
  for (const GazetteerRecord* r : records_) {
    lowerNames_.push_back(Lower(r->City));
    if (r->Type == PlaceType::CityTown) {
      townCells_[CellKey(static_cast<int>(std::floor(r->Lon)),
                         static_cast<int>(std::floor(r->Lat)))]
          .push_back(r);
    }
    // File the place under every one-degree cell that its influence may touch.
    const double reach = InfluenceRadius(*r) * 2.5 / 111000.0;
    const double minLat = std::min(r->Lat, r->IsBand() ? r->Lat2 : r->Lat) - reach;
    const double maxLat = std::max(r->Lat, r->IsBand() ? r->Lat2 : r->Lat) + reach;
    const double cosLat =
        std::max(0.05, std::cos(std::max(std::fabs(minLat), std::fabs(maxLat)) * kDeg));
    const double minLon = std::min(r->Lon, r->IsBand() ? r->Lon2 : r->Lon) - reach / cosLat;
    const double maxLon = std::max(r->Lon, r->IsBand() ? r->Lon2 : r->Lon) + reach / cosLat;
    for (int x = static_cast<int>(std::floor(minLon)); x <= static_cast<int>(std::floor(maxLon));
         ++x) {
      for (int y = static_cast<int>(std::floor(minLat)); y <= static_cast<int>(std::floor(maxLat));
           ++y) {
        influenceCells_[CellKey(x, y)].push_back(r);
      }
    }
  }
}

std::vector<const GazetteerRecord*> Gazetteer::Search(
    std::string_view text, std::size_t maxItems,
    const std::function<bool(const GazetteerRecord&)>& accept) const {
  std::string_view name = Trim(text);
  std::optional<std::string_view> state;
  if (const auto comma = name.find(','); comma != std::string_view::npos) {
    std::string_view rest = name.substr(comma + 1);
    name = Trim(name.substr(0, comma));
    // "Name, State, Country": the country adds nothing inside one country.
    if (const auto second = rest.find(','); second != std::string_view::npos) {
      rest = rest.substr(0, second);
    }
    if (!Trim(rest).empty()) {
      state = StateCodeOf(rest);
      if (!state) return {};
    }
  }
  const std::string wanted = Lower(name);
  if (wanted.empty()) return {};
  std::vector<const GazetteerRecord*> exact, prefix;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    const GazetteerRecord* r = records_[i];
    if (!lowerNames_[i].starts_with(wanted)) continue;
    if (state && *state != r->State) continue;
    if (accept && !accept(*r)) continue;
    (lowerNames_[i].size() == wanted.size() ? exact : prefix).push_back(r);
  }
  std::sort(exact.begin(), exact.end(), MorePopulous);
  std::sort(prefix.begin(), prefix.end(), MorePopulous);
  exact.insert(exact.end(), prefix.begin(), prefix.end());
  if (exact.size() > maxItems) exact.resize(maxItems);
  return exact;
}

const GazetteerRecord* Gazetteer::Find(std::string_view city, std::string_view state) const {
  const std::string wanted = Lower(Trim(city));
  std::optional<std::string_view> code;
  if (!Trim(state).empty()) {
    code = StateCodeOf(state);
    if (!code) return nullptr;
  }
  const GazetteerRecord* best = nullptr;
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (lowerNames_[i] != wanted || (code && *code != records_[i]->State)) continue;
    if (best == nullptr || MorePopulous(records_[i], best)) best = records_[i];
  }
  return best;
}

std::vector<const GazetteerRecord*> Gazetteer::InRect(double west, double north, double east,
                                                      double south, PlaceType type) const {
  std::vector<const GazetteerRecord*> found;
  for (const GazetteerRecord* r : records_) {
    if (type != PlaceType::UnknownPlaceType && r->Type != type) continue;
    if (r->Lon >= west && r->Lon <= east && r->Lat >= south && r->Lat <= north) {
      found.push_back(r);
    }
  }
  std::sort(found.begin(), found.end(), MorePopulous);
  return found;
}

const GazetteerRecord* Gazetteer::NearestTown(double lon, double lat, double* distance) const {
  const GazetteerRecord* best = nullptr;
  double bestDistance = 0;
  const int cx = static_cast<int>(std::floor(lon)), cy = static_cast<int>(std::floor(lat));
  // Widen the ring of cells until the nearest town found cannot be beaten by a town
  // further out (one cell is at least ~ 111 km * cos(lat) wide; rings stop at 60).
  for (int ring = 0; ring <= 60; ++ring) {
    for (int x = cx - ring; x <= cx + ring; ++x) {
      for (int y = cy - ring; y <= cy + ring; ++y) {
        if (std::max(std::abs(x - cx), std::abs(y - cy)) != ring) continue;
        const int wrapped = ((x + 180) % 360 + 360) % 360 - 180;
        const auto it = townCells_.find(CellKey(wrapped, y));
        if (it == townCells_.end()) continue;
        for (const GazetteerRecord* r : it->second) {
          const double d = DistanceMetres(lon, lat, r->Lon, r->Lat);
          if (best == nullptr || d < bestDistance) {
            best = r;
            bestDistance = d;
          }
        }
      }
    }
    const double ringReach =
        ring * 111000.0 * std::max(0.05, std::cos(std::min(89.0, std::fabs(lat) + ring) * kDeg));
    if (best != nullptr && bestDistance <= ringReach) break;
  }
  if (best == nullptr) {
    for (const GazetteerRecord* r : records_) {
      if (r->Type != PlaceType::CityTown) continue;
      const double d = DistanceMetres(lon, lat, r->Lon, r->Lat);
      if (best == nullptr || d < bestDistance) {
        best = r;
        bestDistance = d;
      }
    }
  }
  if (distance != nullptr) *distance = bestDistance;
  return best;
}

std::string Gazetteer::NearestPlaceText(double lon, double lat) const {
  double d = 0;
  const GazetteerRecord* town = NearestTown(lon, lat, &d);
  if (town == nullptr) return {};
  std::string name = std::string(town->City) + ", " + std::string(StateName(town->State));
  if (d < 1000.0) return name;
  const long long km = std::llround(d / 1000.0);
  return std::to_string(km) + " km " + std::string(Compass(town->Lon, town->Lat, lon, lat)) +
         " of " + name;
}

void Gazetteer::ForEachInfluencing(double west, double south, double east, double north,
                                   const std::function<void(const GazetteerRecord&)>& visit) const {
  std::unordered_set<const GazetteerRecord*> seen;
  for (int x = static_cast<int>(std::floor(west)); x <= static_cast<int>(std::floor(east)); ++x) {
    for (int y = static_cast<int>(std::floor(south)); y <= static_cast<int>(std::floor(north));
         ++y) {
      const auto it = influenceCells_.find(CellKey(x, y));
      if (it == influenceCells_.end()) continue;
      for (const GazetteerRecord* r : it->second) {
        if (seen.insert(r).second) visit(*r);
      }
    }
  }
}

}  // namespace quorvil::mapservice
