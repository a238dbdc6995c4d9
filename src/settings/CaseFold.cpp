#include "settings/CaseFold.h"

#include <unicode/ucasemap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "platform/ProgramError.h"

namespace quorvil {
namespace {

struct TCaseMapCloser {
  void operator()(UCaseMap* map) const { ucasemap_close(map); }
};

// Shared by all threads: ICU's folding only reads it.
const UCaseMap& CaseMap() {
  static const std::unique_ptr<UCaseMap, TCaseMapCloser> map = [] {
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<UCaseMap, TCaseMapCloser> made(ucasemap_open("", U_FOLD_CASE_DEFAULT, &error));
    if (U_FAILURE(error)) throw EQuorvilError("Unicode case folding is not available");
    return made;
  }();
  return *map;
}

void AppendFolded(std::string_view run, std::string& out) {
  if (run.empty()) return;
  const std::size_t at = out.size();
  // Full folding at most triples a text's length in UTF-8 (one byte to three).
  std::size_t room = run.size() * 3 + 16;
  for (;;) {
    out.resize(at + room);
    UErrorCode error = U_ZERO_ERROR;
    const int32_t length =
        ucasemap_utf8FoldCase(&CaseMap(), out.data() + at, static_cast<int32_t>(room), run.data(),
                              static_cast<int32_t>(run.size()), &error);
    if (error == U_BUFFER_OVERFLOW_ERROR) {
      room = static_cast<std::size_t>(length);
      continue;
    }
    if (U_FAILURE(error)) throw EQuorvilError("Unicode case folding failed");
    out.resize(at + static_cast<std::size_t>(length));
    return;
  }
}

}  // namespace

std::string FoldCase(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max() / 4)) {
    throw EQuorvilError("The name is too long");
  }
  std::string folded;
  folded.reserve(text.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  int32_t runStart = 0;
  for (int32_t i = 0; i < length;) {
    const int32_t at = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c >= 0) continue;
    // Not UTF-8: what came before is folded, these bytes are kept.
    AppendFolded(text.substr(runStart, at - runStart), folded);
    folded.append(text.substr(at, i - at));
    runStart = i;
  }
  AppendFolded(text.substr(runStart), folded);
  return folded;
}

std::string CaseFoldingName() {
  UVersionInfo version;
  u_getUnicodeVersion(version);
  return "icu-full-" + std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]);
}

}  // namespace quorvil
