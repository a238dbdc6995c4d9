// Base64 decoding of tile answers: any text decodes without fault, to at most three bytes
// for every four characters, and the service's own encoding decodes back to its bytes.

#include "FuzzSupport.h"
#include "mapservice/MapService.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSupport.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream decoded;
  DecodeBase64ToStream(fuzz::AsText(data, size), decoded);
  fuzz::Check(static_cast<std::size_t>(decoded.Size()) <= size / 4 * 3 + 3, "decoded too much");

  TMemoryStream roundTrip;
  DecodeBase64ToStream(mapservice::Base64Encode(data, size), roundTrip);
  fuzz::Check(roundTrip.Bytes() == std::vector<std::uint8_t>(data, data + size),
              "encoded bytes did not decode back");
  return 0;
}
