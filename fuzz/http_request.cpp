// The map service's HTTP request reader. The same bytes are fed whole and in pieces (the
// first byte sets their size): both ways must read the same requests, and nothing read
// may pass the limits.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mapservice/HttpRequest.h"

using namespace quorvil;
using namespace quorvil::mapservice;

namespace {

constexpr HttpLimits kLimits{512, 128, 4096};

struct Outcome {
  std::vector<std::string> requests;  // method, target, body of each, or the refusal
  bool operator==(const Outcome&) const = default;
};

Outcome Read(std::string_view bytes, std::size_t piece) {
  Outcome outcome;
  HttpRequestParser parser(kLimits);
  std::string pending;
  for (std::size_t at = 0; at < bytes.size() || !pending.empty();) {
    if (at < bytes.size()) {
      const std::size_t n = std::min(piece, bytes.size() - at);
      pending.append(bytes.substr(at, n));
      at += n;
    }
    const std::size_t taken = parser.Feed(pending);
    fuzz::Check(taken <= pending.size(), "took more than it was given");
    pending.erase(0, taken);
    const auto state = parser.GetState();
    if (state == HttpRequestParser::State::Failed) {
      fuzz::Check(parser.ErrorStatus() >= 400 && parser.ErrorStatus() < 600, "refusal status");
      outcome.requests.push_back("refused " + std::to_string(parser.ErrorStatus()));
      break;
    }
    if (state == HttpRequestParser::State::Complete) {
      const HttpRequest& r = parser.Request();
      fuzz::Check(r.body.size() <= kLimits.maxBodyBytes, "body over the limit");
      fuzz::Check(r.target.size() <= kLimits.maxTargetBytes, "target over the limit");
      fuzz::Check(!r.path.empty(), "complete request without a path");
      outcome.requests.push_back(r.method + " " + r.target + " " + r.body);
      parser.Reset();
      continue;
    }
    fuzz::Check(pending.empty(), "a reading parser left bytes untaken");
    if (at >= bytes.size()) break;
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = 1 + data[0] % 17;
  const std::string_view bytes = fuzz::AsText(data + 1, size - 1);
  fuzz::Check(Read(bytes, bytes.size() + 1) == Read(bytes, piece),
              "pieces read differently from the whole");
  return 0;
}
