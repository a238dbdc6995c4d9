#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "imagery/Bitmap24.h"
#include "service/MemoryStream.h"

namespace quorvil {

// A resource type: a number (Name empty) or a name.
struct TResourceType {
  int Id = 0;
  std::string_view Name;
};

// The splash picture and other JPEG pictures: type 256, a number.
inline constexpr TResourceType kJpegResourceType{256, {}};
// The cursor pictures (PNG).
inline constexpr TResourceType kPngResourceType{0, "PNG"};

// Where resources come from, step by step as the platform hands them out: find, size,
// load, lock. Each step reports failure by its answer (false, 0 or nullptr).
class TResourceModule {
 public:
  virtual ~TResourceModule() = default;
  virtual bool Find(const TResourceType& type, std::string_view name,
                    std::size_t& handle) const = 0;
  virtual std::int64_t SizeOf(std::size_t handle) const = 0;
  virtual bool Load(std::size_t handle) const = 0;
  virtual const std::uint8_t* Lock(std::size_t handle) const = 0;
};

// The program's own module: the resources compiled into it. Types and names are
// compared without regard to case, as the resource functions of the original platform do.
const TResourceModule& ProgramModule();

// Writes the bytes of the resource to the stream at its position. Throws EQuorvilError
// 'Resource "<name>" ' followed by "was not found.", "has a zero length.",
// "could not be loaded." or "could not be locked." for the step that fails.
void LoadResourceToStream(TMemoryStream& stream, const TResourceModule& module,
                          const TResourceType& type, std::string_view name);

// Decodes the resource of type 256 and this name as a JPEG picture into `picture`.
// Throws the errors of LoadResourceToStream and of the JPEG decoder.
void LoadJpegFromResource(TBitmap24& picture, std::string_view name);
void LoadJpegFromResource(TBitmap24& picture, const TResourceModule& module, std::string_view name);

}  // namespace quorvil
