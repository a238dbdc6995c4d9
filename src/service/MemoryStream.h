#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvil {

// A growable block of bytes with a read/write position, as tiles and resources are
// handed around in.
class TMemoryStream {
 public:
  std::int64_t Size() const { return static_cast<std::int64_t>(bytes_.size()); }
  std::int64_t Position() const { return position_; }
  // Positions outside 0..Size() are clamped.
  void Seek(std::int64_t position);
  void Rewind() { position_ = 0; }
  void Clear();

  // Reads up to `count` bytes from the position, moves the position, returns the count read.
  std::int64_t Read(void* buffer, std::int64_t count);
  // Writes at the position (overwriting, then growing), moves the position.
  void Write(const void* buffer, std::int64_t count);

  const std::uint8_t* Data() const { return bytes_.data(); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  // Takes over `bytes` as the whole content; the position goes to 0.
  void Assign(std::vector<std::uint8_t> bytes);

 private:
  std::vector<std::uint8_t> bytes_;
  std::int64_t position_ = 0;
};

}  // namespace quorvil
