#include "imagery/Bitmap24.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "platform/ProgramError.h"

namespace quorvil {

TBitmap24::TBitmap24(int width, int height) { SetSize(width, height); }

TBitmap24::TBitmap24(const TBitmap24& other) {
  SetSize(other.width_, other.height_);
  if (other.ByteCount() > 0) std::memcpy(data_.get(), other.data_.get(), other.ByteCount());
}

TBitmap24& TBitmap24::operator=(const TBitmap24& other) {
  if (this != &other) {
    SetSize(other.width_, other.height_);
    if (other.ByteCount() > 0) std::memcpy(data_.get(), other.data_.get(), other.ByteCount());
  }
  return *this;
}

TBitmap24::TBitmap24(TBitmap24&& other) noexcept
    : width_(other.width_),
      height_(other.height_),
      capacity_(other.capacity_),
      data_(std::move(other.data_)) {
  other.width_ = other.height_ = 0;
  other.capacity_ = 0;
}

TBitmap24& TBitmap24::operator=(TBitmap24&& other) noexcept {
  if (this != &other) {
    width_ = other.width_;
    height_ = other.height_;
    capacity_ = other.capacity_;
    data_ = std::move(other.data_);
    other.width_ = other.height_ = 0;
    other.capacity_ = 0;
  }
  return *this;
}

void TBitmap24::SetSize(int width, int height) {
  if (width < 0 || height < 0) {
    throw EQuorvilError("Invalid picture size " + std::to_string(width) + " x " +
                        std::to_string(height));
  }
  // width * 3 fits in 64 bits; guard the product with height before forming it.
  const std::int64_t stride = static_cast<std::int64_t>(width) * 3;
  if (height > 0 && stride > INT64_MAX / height) {
    throw EQuorvilError("Not enough memory for a picture of " + std::to_string(width) + " x " +
                        std::to_string(height) + " pixels");
  }
  const std::int64_t bytes = stride * height;
  if (bytes > capacity_) {
    std::unique_ptr<std::uint8_t[]> fresh(new (std::nothrow) std::uint8_t[bytes]);
    if (!fresh) {
      throw EQuorvilError("Not enough memory for a picture of " + std::to_string(width) + " x " +
                          std::to_string(height) + " pixels");
    }
    data_ = std::move(fresh);
    capacity_ = bytes;
  }
  width_ = width;
  height_ = height;
}

bool TBitmap24::operator==(const TBitmap24& other) const {
  return width_ == other.width_ && height_ == other.height_ &&
         (ByteCount() == 0 || std::memcmp(data_.get(), other.data_.get(), ByteCount()) == 0);
}

}  // namespace quorvil
