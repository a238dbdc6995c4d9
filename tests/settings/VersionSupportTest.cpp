#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "platform/ProgramError.h"
#include "settings/VersionStamp.h"
#include "settings/VersionSupport.h"

// This test program carries a stamp of its own, so that the reader is tried on a real
// executable as the linker laid it out.
QUORVIL_VERSION_STAMP(3, 14, 159, 2653)

namespace quorvil {
namespace {

constexpr TFileVersion kOwnVersion =
    (TFileVersion{3} << 48) | (TFileVersion{14} << 32) | (TFileVersion{159} << 16) | 2653;

using Bytes = std::vector<uint8_t>;

// Result of a read that is allowed to fail: the version, or the error text.
struct TOutcome {
  bool failed = false;
  TFileVersion version = 0;
  std::string error;
};

TOutcome Outcome(const std::function<TFileVersion()>& read) {
  try {
    return {false, read(), ""};
  } catch (const EQuorvilError& e) {
    return {true, 0, e.what()};
  }
}

// A minimal ELF file: header, section names, a code section, the stamp, section headers
// [null, .shstrtab, .text, <stampName>].
class TElfBuilder {
 public:
  TElfBuilder(bool is64, bool bigEndian) : is64_(is64), big_(bigEndian) {}

  Bytes Build(const char* stampName = ".quorvil_version") {
    const std::string names = std::string("\0.shstrtab\0.text\0", 17) + stampName + '\0';
    const uint64_t headerSize = is64_ ? 64 : 52, entrySize = is64_ ? 64 : 40;
    namesAt = headerSize;
    const uint64_t textAt = namesAt + names.size(), textSize = 13;
    stampAt = (textAt + textSize + 7) / 8 * 8;
    tableAt = stampAt + sizeof(TVersionStamp);
    Bytes image(tableAt + 4 * entrySize, 0);
    std::memcpy(image.data(),
                "\x7F"
                "ELF",
                4);
    image[4] = is64_ ? 2 : 1;
    image[5] = big_ ? 2 : 1;
    image[6] = 1;
    Put(image, is64_ ? 0x28 : 0x20, tableAt, is64_ ? 8 : 4);
    Put(image, is64_ ? 0x3A : 0x2E, entrySize, 2);
    Put(image, is64_ ? 0x3C : 0x30, 4, 2);
    Put(image, is64_ ? 0x3E : 0x32, 1, 2);
    std::memcpy(image.data() + namesAt, names.data(), names.size());
    std::memcpy(image.data() + stampAt, kVersionStampMagic, sizeof kVersionStampMagic);
    for (int i = 0; i < 4; ++i) Put(image, stampAt + 16 + 2 * i, 0x0102 + 0x0202 * i, 2);
    Section(image, 1, 1, 3, namesAt, names.size());
    Section(image, 2, 11, 1, textAt, textSize);
    Section(image, 3, 17, 1, stampAt, sizeof(TVersionStamp));
    return image;
  }

  // Field offsets, for the cases that break them.
  uint64_t SectionField(int index, const char* field) const {
    const uint64_t at = tableAt + index * (is64_ ? 64 : 40);
    if (!std::strcmp(field, "name")) return at;
    if (!std::strcmp(field, "type")) return at + 4;
    if (!std::strcmp(field, "offset")) return at + (is64_ ? 0x18 : 0x10);
    if (!std::strcmp(field, "size")) return at + (is64_ ? 0x20 : 0x14);
    return at + (is64_ ? 0x28 : 0x18);  // link
  }
  void Put(Bytes& image, uint64_t at, uint64_t value, int width) const {
    for (int i = 0; i < width; ++i) {
      image.at(at + i) = static_cast<uint8_t>(value >> (8 * (big_ ? width - 1 - i : i)));
    }
  }
  int Width() const { return is64_ ? 8 : 4; }

  uint64_t namesAt = 0, stampAt = 0, tableAt = 0;

 private:
  void Section(Bytes& image, int index, uint32_t name, uint32_t type, uint64_t offset,
               uint64_t size) const {
    Put(image, SectionField(index, "name"), name, 4);
    Put(image, SectionField(index, "type"), type, 4);
    Put(image, SectionField(index, "offset"), offset, Width());
    Put(image, SectionField(index, "size"), size, Width());
  }

  bool is64_, big_;
};

const TFileVersion kBuiltVersion = MakeFileVersion(0x0102, 0x0304, 0x0506, 0x0708);

TEST(GetVersionFromImage, ReadsEveryElfClassAndByteOrder) {
  for (bool is64 : {false, true}) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(std::string(is64 ? "ELF64 " : "ELF32 ") + (big ? "big" : "little"));
      const auto image = TElfBuilder(is64, big).Build();
      EXPECT_EQ(GetVersionFromImage(image, "x"), kBuiltVersion);
    }
  }
}

TEST(GetVersionFromImage, BrokenOrHostileStructureGivesZeroOrTheClearError) {
  using Edit = std::function<void(TElfBuilder&, Bytes&)>;
  const auto header = [](int at64, int at32, uint64_t value, int width64, int width32) -> Edit {
    return [=](TElfBuilder& b, Bytes& image) {
      const bool is64 = image[4] == 2;
      b.Put(image, is64 ? at64 : at32, value, is64 ? width64 : width32);
    };
  };
  const auto section = [](int index, const char* field, uint64_t value) -> Edit {
    return [=](TElfBuilder& b, Bytes& image) {
      const int width =
          std::strcmp(field, "name") && std::strcmp(field, "type") && std::strcmp(field, "link")
              ? b.Width()
              : 4;
      b.Put(image, b.SectionField(index, field), value, width);
    };
  };
  const auto cut = [](uint64_t size) -> Edit {
    return [=](TElfBuilder&, Bytes& image) { image.resize(size); };
  };
  const struct {
    const char* what;
    Edit edit;
    const char* error;  // nullptr: a quiet 0
    TFileVersion version = 0;
  } rows[] = {
      {"no section table", header(0x28, 0x20, 0, 8, 4), nullptr},
      {"no sections", header(0x3C, 0x30, 0, 2, 2), nullptr},
      {"no name table", header(0x3E, 0x32, 0, 2, 2), nullptr},
      {"table beyond the end", header(0x28, 0x20, 1 << 20, 8, 4),
       "the section header table lies outside the file"},
      {"table offset wraps", header(0x28, 0x20, ~uint64_t{0} - 8, 8, 4),
       "the section header table lies outside the file"},
      {"too many sections", header(0x3C, 0x30, 0xFF00, 2, 2),
       "the section header table lies outside the file"},
      {"tiny entries", header(0x3A, 0x2E, 12, 2, 2), "the section header size 12 is too small"},
      {"name table index", header(0x3E, 0x32, 9, 2, 2),
       "the section name table index 9 is out of range"},
      {"escaped count, huge",
       [&](TElfBuilder& b, Bytes& image) {
         header(0x3C, 0x30, 0, 2, 2)(b, image);
         section(0, "size", 0xFFFFFFFF)(b, image);
       },
       "the section count 4294967295 is too large"},
      {"escaped name table index",
       [&](TElfBuilder& b, Bytes& image) {
         header(0x3E, 0x32, 0xFFFF, 2, 2)(b, image);
         section(0, "link", 1)(b, image);
       },
       nullptr, kBuiltVersion},
      {"names beyond the end", section(1, "offset", 1 << 24),
       "the section name table lies outside the file"},
      {"names huge", section(1, "size", 0x7FFFFFFF), "the section name table is too large"},
      {"names without data", section(1, "type", 8), "the section name table holds no data"},
      {"name outside the names", section(3, "name", 500),
       "a section name lies outside the section name table"},
      {"unterminated name",
       [](TElfBuilder& b, Bytes& image) { b.Put(image, b.SectionField(1, "size"), 20, b.Width()); },
       "a section name runs past the end of the section name table"},
      {"stamp too small", section(3, "size", 10), "the version section is too small"},
      {"stamp without data", section(3, "type", 8), "the version section is too small"},
      {"stamp beyond the end", section(3, "offset", 1 << 20),
       "the version section lies outside the file"},
      {"stamp garbled", [](TElfBuilder& b, Bytes& image) { image[b.stampAt + 3] ^= 0x20; },
       "the version stamp is damaged"},
      {"unknown class", [](TElfBuilder&, Bytes& image) { image[4] = 3; }, "unknown ELF class 3"},
      {"unknown byte order", [](TElfBuilder&, Bytes& image) { image[5] = 0; },
       "unknown ELF byte order 0"},
      {"cut in the identification", cut(10), "the ELF header is cut short"},
      {"cut after the magic", cut(4), "the ELF header is cut short"},
      {"cut in the header", cut(40), "the ELF header lies outside the file"},
      {"cut in the table", [](TElfBuilder& b, Bytes& image) { image.resize(b.tableAt + 70); },
       "the section header table lies outside the file"},
      {"magic only in part", cut(3), nullptr},
      {"not ELF", [](TElfBuilder&, Bytes& image) { image[1] = 'e'; }, nullptr},
  };
  for (bool is64 : {false, true}) {
    for (const auto& row : rows) {
      SCOPED_TRACE(std::string(is64 ? "ELF64: " : "ELF32: ") + row.what);
      TElfBuilder builder(is64, /*bigEndian=*/is64);
      auto image = builder.Build();
      row.edit(builder, image);
      const auto outcome = Outcome([&] { return GetVersionFromImage(image, "/some/file"); });
      if (row.error) {
        EXPECT_EQ(outcome.error,
                  std::string("Cannot read the version of '/some/file': ") + row.error);
      } else {
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(outcome.version, row.version);
      }
    }
  }
}

TEST(GetVersionFromImage, OtherSectionNamesAreNotTheStamp) {
  for (const char* name : {".quorvil_versio", ".quorvil_version2", ".QUORVIL_VERSION", ""}) {
    EXPECT_EQ(GetVersionFromImage(TElfBuilder(true, false).Build(name), "x"), 0u) << name;
  }
}

std::string TempFile(const std::string& name, const std::string& contents) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("quorvil-version-" + std::to_string(getpid()) + "-" + name);
  std::ofstream(path, std::ios::binary) << contents;
  return path.string();
}

Bytes OwnImage() {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(GetFileVersion, ReadsTheStampOfThisProgram) {
  EXPECT_EQ(GetFileVersion("/proc/self/exe"), kOwnVersion);
  EXPECT_EQ(FileVersionToString(GetFileVersion("/proc/self/exe")), "3.14.159.2653");
}

TEST(GetFileVersion, FilesWithoutAStampGiveZero) {
  const auto text = TempFile("text", "Just some text,\nnot a program.\n");
  const auto empty = TempFile("empty", "");
  const auto stampless = TempFile("stampless", [] {
    const auto image = TElfBuilder(true, false).Build(".data");
    return std::string(image.begin(), image.end());
  }());
  for (const std::string& file : {text, empty, stampless, std::string("/no/such/file"),
                                  std::filesystem::temp_directory_path().string()}) {
    EXPECT_EQ(GetFileVersion(file), 0u) << file;
  }
  for (const auto& file : {text, empty, stampless}) std::filesystem::remove(file);
}

TEST(GetFileVersion, CutCopiesOfThisProgramGiveZeroOrTheClearError) {
  const auto image = OwnImage();
  ASSERT_GT(image.size(), 4096u);
  for (size_t size : {size_t{0}, size_t{3}, size_t{16}, size_t{63}, size_t{64}, size_t{4096},
                      image.size() / 2, image.size() - 1}) {
    SCOPED_TRACE(size);
    const auto file = TempFile("cut", std::string(image.begin(), image.begin() + size));
    const auto outcome = Outcome([&] { return GetFileVersion(file); });
    EXPECT_EQ(outcome.version, 0u);
    if (outcome.failed) {
      EXPECT_EQ(outcome.error.find("Cannot read the version of '" + file + "': "), 0u);
    }
    std::filesystem::remove(file);
  }
}

// Mutates the parts of this program's file that the reader looks at, many times over:
// every result must be a version or the clear error, never a crash or another exception.
TEST(GetVersionFromImage, SurvivesRandomDamageToARealExecutable) {
  auto image = OwnImage();
  ASSERT_GE(image.size(), 64u);
  ASSERT_EQ(image[4], 2) << "expects a 64-bit program";
  ASSERT_EQ(image[5], 1) << "expects a little-endian program";
  const auto get = [&](size_t at, int width) {
    uint64_t v = 0;
    std::memcpy(&v, image.data() + at, width);
    return v;
  };
  const uint64_t tableAt = get(0x28, 8), entry = get(0x3A, 2), count = get(0x3C, 2);
  const uint64_t namesEntry = tableAt + get(0x3E, 2) * entry;
  struct TRegion {
    uint64_t at, size;
  };
  const TRegion regions[] = {
      {0, 64}, {tableAt, count * entry}, {get(namesEntry + 0x18, 8), get(namesEntry + 0x20, 8)}};
  for (const auto& r : regions) ASSERT_LE(r.at + r.size, image.size());

  std::mt19937_64 random(20240611);
  const uint64_t extremes[] = {
      0, 1, 0x7F, 0xFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF, 0x8000000000000000, ~uint64_t{0}};
  int versions = 0, errors = 0;
  for (int iteration = 0; iteration < 20000; ++iteration) {
    std::vector<std::pair<size_t, uint8_t>> undo;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const auto& region = regions[random() % std::size(regions)];
      const int width = 1 << (random() % 4);
      const size_t at = region.at + random() % region.size;
      const uint64_t value = random() % 2 ? extremes[random() % std::size(extremes)] : random();
      for (int i = 0; i < width && at + i < image.size(); ++i) {
        undo.emplace_back(at + i, image[at + i]);
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
      }
    }
    const size_t size = random() % 8 == 0 ? random() % (image.size() + 1) : image.size();
    try {
      if (GetVersionFromImage(std::span(image).first(size), "x") != 0) ++versions;
    } catch (const EQuorvilError&) {
      ++errors;
    } catch (const std::exception& e) {
      FAIL() << "iteration " << iteration << ": " << e.what();
    }
    for (auto it = undo.rbegin(); it != undo.rend(); ++it) image[it->first] = it->second;
  }
  // Both outcomes must have come up, or the damage missed what the reader reads.
  EXPECT_GT(versions, 0);
  EXPECT_GT(errors, 0);
  EXPECT_EQ(GetVersionFromImage(image, "x"), kOwnVersion);
}

TEST(FileVersionToString, JoinsTheFourPartsMajorFirst) {
  const struct {
    TFileVersion version;
    const char* text;
  } rows[] = {{MakeFileVersion(2, 1, 0, 35), "2.1.0.35"},
              {MakeFileVersion(1, 0, 0, 12), "1.0.0.12"},
              {0, "0.0.0.0"},
              {~TFileVersion{0}, "65535.65535.65535.65535"},
              {MakeFileVersion(0x0102, 0x0304, 0x0506, 0x0708), "258.772.1286.1800"}};
  for (const auto& row : rows) EXPECT_EQ(FileVersionToString(row.version), row.text);
}

}  // namespace
}  // namespace quorvil
