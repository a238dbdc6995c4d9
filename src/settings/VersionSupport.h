#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvil {

// A version number: four 16-bit parts, from the most significant: major, minor, release,
// build.
using TFileVersion = uint64_t;

TFileVersion MakeFileVersion(uint16_t major, uint16_t minor, uint16_t release, uint16_t build);

// The version stamp of an executable file; 0 when it has none: a missing file, a file that is
// not ELF, an ELF file without the stamp. An ELF file whose structure points outside itself
// (cut short, or made up) raises EQuorvilError naming the file and the fault.
TFileVersion GetFileVersion(const std::string& fileName);

// The same for the bytes of a whole file held in memory; fileName only names it in errors.
TFileVersion GetVersionFromImage(std::span<const uint8_t> image, const std::string& fileName);

// "major.minor.release.build", for example "1.0.0.12".
std::string FileVersionToString(TFileVersion version);

}  // namespace quorvil
