#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorvil {

// The program's picture: 24 bits per pixel, three bytes per pixel in the order blue,
// green, red, rows of exactly width * 3 bytes from the top row down (no padding), so
// that a QImage of Format_BGR888 can wrap the bytes and hot loops can run over whole
// rows. The picture owns its bytes.
class TBitmap24 {
 public:
  TBitmap24() = default;
  // Throws EQuorvilError when the size is negative or the bytes cannot be had.
  TBitmap24(int width, int height);

  TBitmap24(const TBitmap24& other);
  TBitmap24& operator=(const TBitmap24& other);
  TBitmap24(TBitmap24&& other) noexcept;
  TBitmap24& operator=(TBitmap24&& other) noexcept;
  ~TBitmap24() = default;

  // Resizes to width x height; the contents are undefined afterwards (callers fill).
  // Keeps the allocation when it is large enough. Throws EQuorvilError as the
  // constructor does.
  void SetSize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  std::int64_t Stride() const { return static_cast<std::int64_t>(width_) * 3; }
  std::int64_t ByteCount() const { return Stride() * height_; }

  std::uint8_t* Data() { return data_.get(); }
  const std::uint8_t* Data() const { return data_.get(); }
  std::uint8_t* Row(int y) { return data_.get() + Stride() * y; }
  const std::uint8_t* Row(int y) const { return data_.get() + Stride() * y; }
  std::uint8_t* Pixel(int x, int y) { return Row(y) + static_cast<std::int64_t>(x) * 3; }
  const std::uint8_t* Pixel(int x, int y) const {
    return Row(y) + static_cast<std::int64_t>(x) * 3;
  }

  bool operator==(const TBitmap24& other) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::int64_t capacity_ = 0;
  std::unique_ptr<std::uint8_t[]> data_;
};

}  // namespace quorvil
