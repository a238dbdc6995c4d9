// The number readers: the program's decimal and integer readers and the SOAP layer's
// xsd:double reader. What they accept is finite, and what the writers make of a value
// reads back to it.

#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "platform/ProgramError.h"
#include "service/FormatSupport.h"
#include "service/SoapEnvelope.h"

using namespace quorvil;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view separator = data[0] % 2 == 0 ? "." : ",";
  const std::string_view text = fuzz::AsText(data + 1, size - 1);

  double value = 0;
  if (TryStrToFloat(text, separator, value)) {
    fuzz::Check(std::isfinite(value), "a decimal read as not finite");
  }
  // Subnormal values are left out: the reader takes them as beyond a double's range.
  if (TryStrToFloat(text, separator, value) && (std::isnormal(value) || value == 0)) {
    double back = 0;
    fuzz::Check(
        TryStrToFloat(FormatFloatGeneral(value, 17, separator), separator, back) && back == value,
        "17 digits did not read back");
  }
  int integer = 0;
  if (TryStrToInt(text, integer)) {
    fuzz::Check(StrToInt(std::to_string(integer)) == integer, "an integer did not read back");
  }
  if (const auto xsd = ParseXsdDouble(text)) {
    const auto back = ParseXsdDouble(FormatXsdDouble(*xsd));
    fuzz::Check(back && (std::memcmp(&*back, &*xsd, sizeof(double)) == 0 ||
                         (std::isnan(*back) && std::isnan(*xsd))),
                "an xsd:double did not read back");
  }
  // The raw bytes as a double, written and read back.
  if (size >= 1 + sizeof(double)) {
    double bits;
    std::memcpy(&bits, data + 1, sizeof bits);
    if (std::isnormal(bits) || bits == 0) {
      double back = 0;
      fuzz::Check(
          TryStrToFloat(FormatFloatGeneral(bits, 17, separator), separator, back) && back == bits,
          "a double written with 17 digits did not read back");
    }
  }
  return 0;
}
