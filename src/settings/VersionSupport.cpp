#include "settings/VersionSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/ProgramError.h"
#include "settings/VersionStamp.h"

namespace quorvil {
namespace {

// Bytes of the file being read; every read is range-checked by the caller against Size().
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual uint64_t Size() const = 0;
  virtual void ReadAt(uint64_t offset, size_t count, uint8_t* out) = 0;
};

class TMemorySource final : public TByteSource {
 public:
  explicit TMemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  void ReadAt(uint64_t offset, size_t count, uint8_t* out) override {
    std::memcpy(out, bytes_.data() + offset, count);
  }

 private:
  std::span<const uint8_t> bytes_;
};

[[noreturn]] void ThrowDamaged(const std::string& fileName, std::string_view what) {
  throw EQuorvilError("Cannot read the version of '" + fileName + "': " + std::string(what));
}

class TFileSource final : public TByteSource {
 public:
  TFileSource(int fd, uint64_t size, const std::string& fileName)
      : fd_(fd), size_(size), fileName_(fileName) {}
  ~TFileSource() override { ::close(fd_); }
  uint64_t Size() const override { return size_; }
  void ReadAt(uint64_t offset, size_t count, uint8_t* out) override {
    while (count > 0) {
      const ssize_t got = ::pread(fd_, out, count, static_cast<off_t>(offset));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) ThrowDamaged(fileName_, std::strerror(errno));
      if (got == 0) ThrowDamaged(fileName_, "the file became shorter while being read");
      out += got;
      offset += static_cast<uint64_t>(got);
      count -= static_cast<size_t>(got);
    }
  }

 private:
  int fd_;
  uint64_t size_;
  const std::string& fileName_;
};

constexpr uint32_t kSectionNoBits = 8;            // SHT_NOBITS: occupies no file space
constexpr uint32_t kSectionIndexEscape = 0xFFFF;  // SHN_XINDEX
// Far above any real executable (they have tens of sections), low enough that a made-up
// header cannot make the reader allocate much.
constexpr uint64_t kMaxSectionTableBytes = 16u << 20;
constexpr uint64_t kMaxNameTableBytes = 16u << 20;

class TElfReader {
 public:
  TElfReader(TByteSource& source, const std::string& fileName)
      : source_(source), fileName_(fileName) {}

  TFileVersion Version() {
    uint8_t ident[16] = {};
    if (source_.Size() < 4) return 0;
    source_.ReadAt(0, 4, ident);
    if (std::memcmp(ident,
                    "\x7F"
                    "ELF",
                    4) != 0)
      return 0;
    if (source_.Size() < sizeof ident) Damaged("the ELF header is cut short");
    source_.ReadAt(0, sizeof ident, ident);
    if (ident[4] != 1 && ident[4] != 2) Damaged("unknown ELF class " + std::to_string(ident[4]));
    if (ident[5] != 1 && ident[5] != 2) {
      Damaged("unknown ELF byte order " + std::to_string(ident[5]));
    }
    is64_ = ident[4] == 2;
    bigEndian_ = ident[5] == 2;

    const auto header = Read(0, is64_ ? 64 : 52, "the ELF header");
    const uint64_t tableOffset = is64_ ? U64(header, 0x28) : U32(header, 0x20);
    const uint32_t entrySize = U16(header, is64_ ? 0x3A : 0x2E);
    uint64_t count = U16(header, is64_ ? 0x3C : 0x30);
    uint64_t namesIndex = U16(header, is64_ ? 0x3E : 0x32);
    if (tableOffset == 0) return 0;  // no section header table
    const uint32_t minEntrySize = is64_ ? 64 : 40;
    if (entrySize < minEntrySize) {
      Damaged("the section header size " + std::to_string(entrySize) + " is too small");
    }
    // Very many sections, or a far section name table, are counted in section 0.
    if (count == 0 || namesIndex == kSectionIndexEscape) {
      const auto first = Read(tableOffset, entrySize, "the section header table");
      if (count == 0) count = SectionSize(first, 0);
      if (namesIndex == kSectionIndexEscape) namesIndex = U32(first, is64_ ? 0x28 : 0x18);
    }
    if (count == 0 || namesIndex == 0) return 0;
    if (count > kMaxSectionTableBytes / entrySize) {
      Damaged("the section count " + std::to_string(count) + " is too large");
    }
    const auto table = Read(tableOffset, count * entrySize, "the section header table");
    if (namesIndex >= count) {
      Damaged("the section name table index " + std::to_string(namesIndex) + " is out of range");
    }

    const size_t namesAt = static_cast<size_t>(namesIndex) * entrySize;
    if (U32(table, namesAt + 4) == kSectionNoBits) Damaged("the section name table holds no data");
    const uint64_t namesSize = SectionSize(table, namesAt);
    if (namesSize > kMaxNameTableBytes) Damaged("the section name table is too large");
    const auto names = Read(SectionOffset(table, namesAt), namesSize, "the section name table");

    for (uint64_t i = 0; i < count; ++i) {
      const size_t at = static_cast<size_t>(i) * entrySize;
      if (SectionName(names, U32(table, at)) != kVersionStampSection) continue;
      if (U32(table, at + 4) == kSectionNoBits || SectionSize(table, at) < sizeof(TVersionStamp)) {
        Damaged("the version section is too small");
      }
      const auto stamp =
          Read(SectionOffset(table, at), sizeof(TVersionStamp), "the version section");
      if (std::memcmp(stamp.data(), kVersionStampMagic, sizeof kVersionStampMagic) != 0) {
        Damaged("the version stamp is damaged");
      }
      return MakeFileVersion(U16(stamp, 16), U16(stamp, 18), U16(stamp, 20), U16(stamp, 22));
    }
    return 0;
  }

 private:
  [[noreturn]] void Damaged(std::string_view what) { ThrowDamaged(fileName_, what); }

  std::vector<uint8_t> Read(uint64_t offset, uint64_t count, std::string_view what) {
    if (offset > source_.Size() || count > source_.Size() - offset) {
      Damaged(std::string(what) + " lies outside the file");
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    if (!bytes.empty()) source_.ReadAt(offset, bytes.size(), bytes.data());
    return bytes;
  }

  // Field readers; every caller's offset lies inside a block already read to full size.
  uint64_t Field(const std::vector<uint8_t>& bytes, size_t at, int width) const {
    uint64_t value = 0;
    for (int i = 0; i < width; ++i) {
      const uint64_t byte = bytes.at(at + static_cast<size_t>(i));
      value |= byte << (8 * (bigEndian_ ? width - 1 - i : i));
    }
    return value;
  }
  uint16_t U16(const std::vector<uint8_t>& b, size_t at) const {
    return static_cast<uint16_t>(Field(b, at, 2));
  }
  uint32_t U32(const std::vector<uint8_t>& b, size_t at) const {
    return static_cast<uint32_t>(Field(b, at, 4));
  }
  uint64_t U64(const std::vector<uint8_t>& b, size_t at) const { return Field(b, at, 8); }
  uint64_t SectionOffset(const std::vector<uint8_t>& t, size_t at) const {
    return is64_ ? U64(t, at + 0x18) : U32(t, at + 0x10);
  }
  uint64_t SectionSize(const std::vector<uint8_t>& t, size_t at) const {
    return is64_ ? U64(t, at + 0x20) : U32(t, at + 0x14);
  }

  std::string_view SectionName(const std::vector<uint8_t>& names, uint32_t offset) {
    if (offset >= names.size()) Damaged("a section name lies outside the section name table");
    const auto* start = reinterpret_cast<const char*>(names.data()) + offset;
    const auto* end = static_cast<const char*>(std::memchr(start, 0, names.size() - offset));
    if (!end) Damaged("a section name runs past the end of the section name table");
    return {start, static_cast<size_t>(end - start)};
  }

  TByteSource& source_;
  const std::string& fileName_;
  bool is64_ = true;
  bool bigEndian_ = false;
};

}  // namespace

TFileVersion MakeFileVersion(uint16_t major, uint16_t minor, uint16_t release, uint16_t build) {
  return (TFileVersion{major} << 48) | (TFileVersion{minor} << 32) | (TFileVersion{release} << 16) |
         TFileVersion{build};
}

TFileVersion GetVersionFromImage(std::span<const uint8_t> image, const std::string& fileName) {
  TMemorySource source(image);
  return TElfReader(source, fileName).Version();
}

TFileVersion GetFileVersion(const std::string& fileName) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;  // a file that cannot be opened has no version to show
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return 0;
  }
  TFileSource source(fd, static_cast<uint64_t>(info.st_size), fileName);
  return TElfReader(source, fileName).Version();
}

std::string FileVersionToString(TFileVersion version) {
  std::string text;
  for (int shift = 48; shift >= 0; shift -= 16) {
    if (!text.empty()) text += '.';
    text += std::to_string((version >> shift) & 0xFFFF);
  }
  return text;
}

}  // namespace quorvil
