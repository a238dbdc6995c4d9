#include "imagery/ResourceSupport.h"

#include <span>
#include <string>

#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"
#include "resources/EmbeddedResources.h"

namespace quorvil {

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class TProgramModule final : public TResourceModule {
 public:
  bool Find(const TResourceType& type, std::string_view name, std::size_t& handle) const override {
    const std::span<const TEmbeddedResource> resources = EmbeddedResources();
    for (std::size_t i = 0; i < resources.size(); ++i) {
      const TEmbeddedResource& r = resources[i];
      const bool sameType = type.Name.empty() ? r.TypeName[0] == '\0' && r.TypeId == type.Id
                                              : SameText(r.TypeName, type.Name);
      if (sameType && SameText(r.Name, name)) {
        handle = i;
        return true;
      }
    }
    return false;
  }
  std::int64_t SizeOf(std::size_t handle) const override {
    return static_cast<std::int64_t>(EmbeddedResources()[handle].Size);
  }
  // The bytes are part of the program image: always loaded, always readable.
  bool Load(std::size_t) const override { return true; }
  const std::uint8_t* Lock(std::size_t handle) const override {
    return EmbeddedResources()[handle].Data;
  }
};

[[noreturn]] void Fail(std::string_view name, const char* ending) {
  throw EQuorvilError("Resource \"" + std::string(name) + "\" " + ending);
}

}  // namespace

const TResourceModule& ProgramModule() {
  static const TProgramModule module;
  return module;
}

void LoadResourceToStream(TMemoryStream& stream, const TResourceModule& module,
                          const TResourceType& type, std::string_view name) {
  std::size_t handle = 0;
  if (!module.Find(type, name, handle)) Fail(name, "was not found.");
  const std::int64_t size = module.SizeOf(handle);
  if (size <= 0) Fail(name, "has a zero length.");
  if (!module.Load(handle)) Fail(name, "could not be loaded.");
  const std::uint8_t* bytes = module.Lock(handle);
  if (bytes == nullptr) Fail(name, "could not be locked.");
  stream.Write(bytes, size);
}

void LoadJpegFromResource(TBitmap24& picture, std::string_view name) {
  LoadJpegFromResource(picture, ProgramModule(), name);
}

void LoadJpegFromResource(TBitmap24& picture, const TResourceModule& module,
                          std::string_view name) {
  TMemoryStream stream;
  LoadResourceToStream(stream, module, kJpegResourceType, name);
  stream.Rewind();
  picture = DecodeJpeg(stream.Data(), static_cast<std::size_t>(stream.Size()));
}

}  // namespace quorvil
