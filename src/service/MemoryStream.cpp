#include "service/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace quorvil {

void TMemoryStream::Seek(std::int64_t position) {
  position_ = std::clamp<std::int64_t>(position, 0, Size());
}

void TMemoryStream::Clear() {
  bytes_.clear();
  position_ = 0;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n =
      std::clamp<std::int64_t>(Size() - position_, 0, std::max<std::int64_t>(count, 0));
  if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

void TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return;
  const std::int64_t end = position_ + count;
  if (end > Size()) bytes_.resize(static_cast<std::size_t>(end));
  std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
}

void TMemoryStream::Assign(std::vector<std::uint8_t> bytes) {
  bytes_ = std::move(bytes);
  position_ = 0;
}

}  // namespace quorvil
