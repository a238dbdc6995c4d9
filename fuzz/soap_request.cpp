// The map service's reader of SOAP requests: whatever the body, the answer is a
// well-formed XML document (an answer or a fault).

#include <pugixml.hpp>

#include "FuzzSupport.h"
#include "mapservice/MapService.h"
#include "mapservice/SoapXml.h"
#include "platform/ProgramError.h"

using namespace quorvil;
using namespace quorvil::mapservice;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A small tile cache: the fuzzer asks for many different tiles.
  static const MapService service({CoverageKind::World, 4 << 20});
  // The first line is the SOAPAction header, the rest the body.
  const std::string_view input = fuzz::AsText(data, size);
  const std::size_t newline = input.find('\n');
  const std::string_view action = newline == std::string_view::npos ? "" : input.substr(0, newline);
  const std::string_view body =
      newline == std::string_view::npos ? input : input.substr(newline + 1);
  const SoapReply reply = service.Handle(action, body);
  fuzz::Check(reply.status == 200 || reply.status == 500, "status of a SOAP answer");
  pugi::xml_document doc;
  try {
    LoadRequestXml(doc, reply.body);
  } catch (const EQuorvilError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::Check(false, "the answer is not well-formed XML");
  }
  return 0;
}
