#pragma once

// The version stamp the build puts into every executable, read back by GetFileVersion. Kept
// free of other includes: the build compiles it into executables of every layer.

#include <cstdint>

// The section and magic as literals, because the section attribute takes only a literal.
#define QUORVIL_VERSION_SECTION ".quorvil_version"
#define QUORVIL_VERSION_MAGIC "QuorvilVersion1"

namespace quorvil {

inline constexpr char kVersionStampSection[] = QUORVIL_VERSION_SECTION;
inline constexpr char kVersionStampMagic[16] = QUORVIL_VERSION_MAGIC;

// Laid out without padding; the numbers are in the executable's own byte order.
struct TVersionStamp {
  char Magic[16];
  uint16_t Major;
  uint16_t Minor;
  uint16_t Release;
  uint16_t Build;
};
static_assert(sizeof(TVersionStamp) == 24);

}  // namespace quorvil

// Defines the stamp of the executable this is compiled into; once per executable.
#define QUORVIL_VERSION_STAMP(major, minor, release, build)                                     \
  namespace {                                                                                   \
  [[gnu::used,                                                                                  \
    gnu::section(QUORVIL_VERSION_SECTION)]] const ::quorvil::TVersionStamp quorvilVersionStamp{ \
      QUORVIL_VERSION_MAGIC, (major), (minor), (release), (build)};                             \
  }
