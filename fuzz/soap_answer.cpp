// The client's reader of SOAP answers: any bytes, read as the answer to one operation (the
// first byte picks which) and through that operation's record reader.

#include <array>

#include "FuzzSupport.h"
#include "service/SoapEnvelope.h"

using namespace quorvil;

namespace {

using Reader = void (*)(pugi::xml_node);

template <auto Read>
void Use(pugi::xml_node node) {
  [[maybe_unused]] const auto value = Read(node);
}

struct Operation {
  const char* name;
  Reader read;
};

constexpr std::array<Operation, 16> kOperations = {{
    {"ConvertLonLatPtToNearestPlace", Use<ReadText>},
    {"ConvertLonLatPtToUtmPt", Use<ReadUtmPt>},
    {"ConvertUtmPtToLonLatPt", Use<ReadLonLatPt>},
    {"ConvertPlaceToLonLatPt", Use<ReadLonLatPt>},
    {"CountPlacesInRect", Use<ReadInt>},
    {"GetAreaFromPt", Use<ReadAreaBoundingBox>},
    {"GetAreaFromRect", Use<ReadAreaBoundingBox>},
    {"GetAreaFromTileId", Use<ReadAreaBoundingBox>},
    {"GetLatLonMetrics", Use<ReadArrayOfThemeBoundingBox>},
    {"GetPlaceFacts", Use<ReadPlaceFacts>},
    {"GetPlaceList", Use<ReadArrayOfPlaceFacts>},
    {"GetPlaceListInRect", Use<ReadArrayOfPlaceFacts>},
    {"GetTheme", Use<ReadThemeInfo>},
    {"GetTileMetaFromLonLatPt", Use<ReadTileMeta>},
    {"GetTileMetaFromTileId", Use<ReadTileMeta>},
    {"GetTile", Use<ReadText>},
}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Operation& op = kOperations[data[0] % kOperations.size()];
  const std::string_view xml = fuzz::AsText(data + 1, size - 1);
  try {
    [[maybe_unused]] const auto fault = FindSoapFault(xml);
    const SoapAnswer answer(xml, op.name);
    op.read(answer.Result());
  } catch (const EQuorvilError&) {
  }
  return 0;
}
