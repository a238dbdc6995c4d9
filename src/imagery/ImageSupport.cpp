#include "imagery/ImageSupport.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "imagery/JpegCodec.h"
#include "platform/ProgramError.h"

namespace quorvil {

namespace {

void PutLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  PutLe16(p, v & 0xFFFF);
  PutLe16(p + 2, v >> 16);
}

// BITMAPFILEHEADER + BITMAPINFOHEADER, bottom-up rows padded to four bytes.
void WriteBitmapFile(std::ofstream& out, const TBitmap24& picture) {
  const std::int64_t rowBytes = (picture.Stride() + 3) / 4 * 4;
  const std::int64_t imageBytes = rowBytes * picture.Height();
  if (54 + imageBytes > 0xFFFFFFFFLL) {
    throw EQuorvilError("The picture is too large for a bitmap file");
  }
  std::uint8_t header[54] = {};
  header[0] = 'B';
  header[1] = 'M';
  PutLe32(header + 2, static_cast<std::uint32_t>(54 + imageBytes));
  PutLe32(header + 10, 54);
  PutLe32(header + 14, 40);
  PutLe32(header + 18, static_cast<std::uint32_t>(picture.Width()));
  PutLe32(header + 22, static_cast<std::uint32_t>(picture.Height()));
  PutLe16(header + 26, 1);
  PutLe16(header + 28, 24);
  PutLe32(header + 34, static_cast<std::uint32_t>(imageBytes));
  PutLe32(header + 38, 2835);  // 72 dpi
  PutLe32(header + 42, 2835);
  out.write(reinterpret_cast<const char*>(header), sizeof header);
  std::vector<char> row(static_cast<std::size_t>(rowBytes), 0);
  for (int y = picture.Height() - 1; y >= 0; --y) {
    std::memcpy(row.data(), picture.Row(y), static_cast<std::size_t>(picture.Stride()));
    out.write(row.data(), rowBytes);
  }
}

}  // namespace

void SaveBitmapToFile(const TBitmap24& picture, const std::string& fileName, int fileType) {
  if (fileType != kSaveAsJpeg && fileType != kSaveAsBitmap) return;
  if (fileType == kSaveAsJpeg && picture.Empty()) {
    throw EQuorvilError("JPEG error: cannot write an empty picture");
  }

  const std::string temporary = fileName + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      throw EQuorvilError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
    }
    try {
      if (fileType == kSaveAsJpeg) {
        // Encoded straight into the file: a large picture needs no copy of it in memory.
        EncodeJpegToStream(picture, 100, out);
      } else {
        WriteBitmapFile(out, picture);
      }
      out.flush();
      if (!out)
        throw EQuorvilError("Cannot write file \"" + fileName + "\". " + std::strerror(errno));
    } catch (...) {
      out.close();
      std::remove(temporary.c_str());
      throw;
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, fileName, error);
  if (error) {
    std::remove(temporary.c_str());
    throw EQuorvilError("Cannot create file \"" + fileName + "\". " + error.message());
  }
}

// ---- picture operations -------------------------------------------------------------
//
// The hot loops run over plain byte ranges (whole rows, or the whole picture, which has
// no row padding) with no calls inside, so that the compiler turns them into vector code.

namespace {

TAlphaBlendFunction alphaBlendFunction = nullptr;

// `count` pixels of one colour, starting at `pixel`, `advance` bytes apart.
void PutColourRun(std::uint8_t* pixel, std::int64_t count, std::int64_t advance, TColor colour) {
  const std::uint8_t blue = static_cast<std::uint8_t>(colour >> 16);
  const std::uint8_t green = static_cast<std::uint8_t>(colour >> 8);
  const std::uint8_t red = static_cast<std::uint8_t>(colour);
  for (std::int64_t i = 0; i < count; ++i, pixel += advance) {
    pixel[0] = blue;
    pixel[1] = green;
    pixel[2] = red;
  }
}

// One row's worth of bytes in a colour, to be copied where a whole row or band is painted.
std::vector<std::uint8_t> ColourRow(int width, TColor colour) {
  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  if (width > 0) PutColourRun(row.data(), width, 3, colour);
  return row;
}

// Saturating in eight bits: min(byte, 255 - add) + add and max(byte, subtract) - subtract
// never leave 0..255, so the loops run on byte lanes. Each runs in place or from other
// bytes into `to`, with restricted pointers, so that it is vectorised without a check for
// overlap.
void BrightenBytes(std::uint8_t* __restrict bytes, std::int64_t count, unsigned add) {
  const auto limit = static_cast<std::uint8_t>(255 - add);
  const auto amount = static_cast<std::uint8_t>(add);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t value = bytes[i];
    bytes[i] = static_cast<std::uint8_t>((value < limit ? value : limit) + amount);
  }
}

void BrightenBytesInto(std::uint8_t* __restrict to, const std::uint8_t* __restrict from,
                       std::int64_t count, unsigned add) {
  const auto limit = static_cast<std::uint8_t>(255 - add);
  const auto amount = static_cast<std::uint8_t>(add);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t value = from[i];
    to[i] = static_cast<std::uint8_t>((value < limit ? value : limit) + amount);
  }
}

void DarkenBytes(std::uint8_t* __restrict bytes, std::int64_t count, unsigned subtract) {
  const auto amount = static_cast<std::uint8_t>(subtract);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t value = bytes[i];
    bytes[i] = static_cast<std::uint8_t>((value > amount ? value : amount) - amount);
  }
}

void DarkenBytesInto(std::uint8_t* __restrict to, const std::uint8_t* __restrict from,
                     std::int64_t count, unsigned subtract) {
  const auto amount = static_cast<std::uint8_t>(subtract);
  for (std::int64_t i = 0; i < count; ++i) {
    const std::uint8_t value = from[i];
    to[i] = static_cast<std::uint8_t>((value > amount ? value : amount) - amount);
  }
}

#if defined(__x86_64__) || defined(__i386__)
// One of a loop's three builds, chosen once, outside the loops: the baseline has only
// 16-byte vectors.
template <typename Loop>
Loop ChooseByVectors(Loop avx512, Loop avx2, Loop plain) {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw")) return avx512;
  if (__builtin_cpu_supports("avx2")) return avx2;
  return plain;
}
#endif

using TAdjustBytes = void (*)(std::uint8_t* to, const std::uint8_t* from, std::int64_t count,
                              std::uint8_t level);

// The bytes of `from` brightened or darkened into `to`, which may be `from` itself; level
// 127 copies.
void AdjustBytesPlain(std::uint8_t* to, const std::uint8_t* from, std::int64_t count,
                      std::uint8_t level) {
  if (level > 127) {
    if (to == from) {
      BrightenBytes(to, count, level - 127u);
    } else {
      BrightenBytesInto(to, from, count, level - 127u);
    }
  } else if (level < 127) {
    if (to == from) {
      DarkenBytes(to, count, 127u - level);
    } else {
      DarkenBytesInto(to, from, count, 127u - level);
    }
  } else if (to != from) {
    std::memcpy(to, from, static_cast<std::size_t>(count));
  }
}

#if defined(__x86_64__) || defined(__i386__)
// The same with the saturating byte arithmetic of the vector units, 32 bytes at a time;
// each step loads before it stores, so `to` may be `from`.
__attribute__((target("avx2"))) void AdjustBytesAvx2(std::uint8_t* to, const std::uint8_t* from,
                                                     std::int64_t count, std::uint8_t level) {
  const bool brighten = level > 127;
  const __m256i amount = _mm256_set1_epi8(static_cast<char>(brighten ? level - 127 : 127 - level));
  std::int64_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const __m256i value = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), brighten
                                                                ? _mm256_adds_epu8(value, amount)
                                                                : _mm256_subs_epu8(value, amount));
  }
  AdjustBytesPlain(to + i, from + i, count - i, level);
}

// The same, 64 bytes at a time.
__attribute__((target("avx512bw"))) void AdjustBytesAvx512(std::uint8_t* to,
                                                           const std::uint8_t* from,
                                                           std::int64_t count, std::uint8_t level) {
  const bool brighten = level > 127;
  const __m512i amount = _mm512_set1_epi8(static_cast<char>(brighten ? level - 127 : 127 - level));
  std::int64_t i = 0;
  for (; i + 64 <= count; i += 64) {
    const __m512i value = _mm512_loadu_si512(from + i);
    _mm512_storeu_si512(
        to + i, brighten ? _mm512_adds_epu8(value, amount) : _mm512_subs_epu8(value, amount));
  }
  AdjustBytesAvx2(to + i, from + i, count - i, level);
}
#endif

void AdjustBytes(std::uint8_t* to, const std::uint8_t* from, std::int64_t count,
                 std::uint8_t level) {
#if defined(__x86_64__) || defined(__i386__)
  static const TAdjustBytes chosen =
      ChooseByVectors(&AdjustBytesAvx512, &AdjustBytesAvx2, &AdjustBytesPlain);
#else
  static const TAdjustBytes chosen = &AdjustBytesPlain;
#endif
  // Level 127 leaves the bytes as they are: the vector loops never see it.
  (level == 127 ? &AdjustBytesPlain : chosen)(to, from, count, level);
}

// alpha * over + (255 - alpha) * under is at most 255 * 255 and fits 16 bits, so the loop
// runs on 16-bit lanes; the division by the constant 255 stays exact and becomes a
// multiply-high and a shift. `to` is `under` itself or bytes apart from both.
[[gnu::always_inline]] inline std::uint8_t Weigh(std::uint16_t a, std::uint8_t above,
                                                 std::uint8_t below) {
  return static_cast<std::uint8_t>(static_cast<std::uint16_t>(a * above + (255 - a) * below) / 255);
}

// Two loops with restricted pointers, so that neither needs a check for overlap to be
// vectorised.
[[gnu::always_inline]] inline void BlendInPlace(std::uint8_t* __restrict bytes,
                                                const std::uint8_t* __restrict over,
                                                std::int64_t count, std::uint16_t a) {
  for (std::int64_t i = 0; i < count; ++i) bytes[i] = Weigh(a, over[i], bytes[i]);
}

[[gnu::always_inline]] inline void BlendInto(std::uint8_t* __restrict out,
                                             const std::uint8_t* __restrict under,
                                             const std::uint8_t* __restrict over,
                                             std::int64_t count, std::uint16_t a) {
  for (std::int64_t i = 0; i < count; ++i) out[i] = Weigh(a, over[i], under[i]);
}

[[gnu::always_inline]] inline void BlendBytesLoop(std::uint8_t* to, const std::uint8_t* under,
                                                  const std::uint8_t* over, std::int64_t count,
                                                  unsigned alpha) {
  const auto a = static_cast<std::uint16_t>(alpha);
  if (to == under) {
    BlendInPlace(to, over, count, a);
  } else {
    BlendInto(to, under, over, count, a);
  }
}

using TBlendBytes = void (*)(std::uint8_t*, const std::uint8_t*, const std::uint8_t*, std::int64_t,
                             unsigned);

void BlendBytesPlain(std::uint8_t* to, const std::uint8_t* under, const std::uint8_t* over,
                     std::int64_t count, unsigned alpha) {
  BlendBytesLoop(to, under, over, count, alpha);
}

#if defined(__x86_64__) || defined(__i386__)
// The kernels run faster than the hardware prefetcher fetches two streams from a shared
// cache; asking for the lines 1 KiB ahead keeps both streams arriving in time. Prefetches
// never fault, so running past the end is harmless. 32-byte steps ask twice per line.
inline void PrefetchAhead(const std::uint8_t* under, const std::uint8_t* over) {
  constexpr std::int64_t kAhead = 1024;
  _mm_prefetch(reinterpret_cast<const char*>(over + kAhead), _MM_HINT_T0);
  _mm_prefetch(reinterpret_cast<const char*>(under + kAhead), _MM_HINT_T0);
}

// One multiply-add per byte pair: with the bytes made signed (s - 128, d - 128), the
// weights a and 255 - a stay unsigned and a * s + (255 - a) * d - 128 * 255 fits a signed
// 16-bit lane without saturating; adding 128 * 255 back gives the exact sum x, and for
// x <= 255 * 255, x div 255 = (x + 1) * 257 div 65536 (exact over that whole range).
// Unpacking and packing within 128-bit lanes keeps the bytes in order. Each step loads
// before it stores, so `to` may be `under`.
__attribute__((target("avx2"))) void BlendBytesAvx2(std::uint8_t* to, const std::uint8_t* under,
                                                    const std::uint8_t* over, std::int64_t count,
                                                    unsigned alpha) {
  const __m256i weights = _mm256_set1_epi16(static_cast<short>(alpha | (255 - alpha) << 8));
  const __m256i flip = _mm256_set1_epi8(static_cast<char>(0x80));
  const __m256i bias = _mm256_set1_epi16(128 * 255 + 1);
  const __m256i by257 = _mm256_set1_epi16(257);
  std::int64_t i = 0;
  for (; i + 32 <= count; i += 32) {
    PrefetchAhead(under + i, over + i);
    const __m256i s =
        _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(over + i)), flip);
    const __m256i d =
        _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(under + i)), flip);
    __m256i low = _mm256_add_epi16(_mm256_maddubs_epi16(weights, _mm256_unpacklo_epi8(s, d)), bias);
    __m256i high =
        _mm256_add_epi16(_mm256_maddubs_epi16(weights, _mm256_unpackhi_epi8(s, d)), bias);
    _mm256_storeu_si256(
        reinterpret_cast<__m256i*>(to + i),
        _mm256_packus_epi16(_mm256_mulhi_epu16(low, by257), _mm256_mulhi_epu16(high, by257)));
  }
  BlendBytesLoop(to + i, under + i, over + i, count - i, alpha);
}

// The same, 64 bytes at a time.
__attribute__((target("avx512bw"))) void BlendBytesAvx512(std::uint8_t* to,
                                                          const std::uint8_t* under,
                                                          const std::uint8_t* over,
                                                          std::int64_t count, unsigned alpha) {
  const __m512i weights = _mm512_set1_epi16(static_cast<short>(alpha | (255 - alpha) << 8));
  const __m512i flip = _mm512_set1_epi8(static_cast<char>(0x80));
  const __m512i bias = _mm512_set1_epi16(128 * 255 + 1);
  const __m512i by257 = _mm512_set1_epi16(257);
  std::int64_t i = 0;
  for (; i + 64 <= count; i += 64) {
    PrefetchAhead(under + i, over + i);
    const __m512i s = _mm512_xor_si512(_mm512_loadu_si512(over + i), flip);
    const __m512i d = _mm512_xor_si512(_mm512_loadu_si512(under + i), flip);
    const __m512i low =
        _mm512_add_epi16(_mm512_maddubs_epi16(weights, _mm512_unpacklo_epi8(s, d)), bias);
    const __m512i high =
        _mm512_add_epi16(_mm512_maddubs_epi16(weights, _mm512_unpackhi_epi8(s, d)), bias);
    _mm512_storeu_si512(to + i, _mm512_packus_epi16(_mm512_mulhi_epu16(low, by257),
                                                    _mm512_mulhi_epu16(high, by257)));
  }
  BlendBytesAvx2(to + i, under + i, over + i, count - i, alpha);
}
#endif

TBlendBytes BlendBytesFunction() {
#if defined(__x86_64__) || defined(__i386__)
  static const TBlendBytes chosen =
      ChooseByVectors(&BlendBytesAvx512, &BlendBytesAvx2, &BlendBytesPlain);
#else
  static const TBlendBytes chosen = &BlendBytesPlain;
#endif
  return chosen;
}

// `bytes` of each of `rows` rows from pixel (x, y) on, of `over` blended over `under` into
// `destination` (which may be `under`). Rows that span the pictures whole lie back to
// back, so they go as one run, without a restart per row.
void BlendRows(TBitmap24& destination, const TBitmap24& under, const TBitmap24& over,
               std::uint8_t alpha, int x, int y, std::int64_t bytes, std::int64_t rows) {
  if (rows <= 0) return;
  if (bytes == destination.Stride() && bytes == under.Stride() && bytes == over.Stride()) {
    bytes *= rows;
    rows = 1;
  }
  const TBlendBytes blend = BlendBytesFunction();
  for (std::int64_t r = 0; r < rows; ++r) {
    const int row = static_cast<int>(y + r);
    std::uint8_t* to = destination.Pixel(x, row);
    const std::uint8_t* below = under.Pixel(x, row);
    if (alpha == 255 || alpha == 0) {
      const std::uint8_t* from = alpha == 255 ? over.Pixel(x, row) : below;
      if (from != to) std::memcpy(to, from, static_cast<std::size_t>(bytes));
    } else {
      blend(to, below, over.Pixel(x, row), bytes, alpha);
    }
  }
}

void DrawRun(TBitmap24& canvas, std::int64_t from, std::int64_t to, std::int64_t at,
             bool horizontal, TColor colour) {
  const std::int64_t length = horizontal ? canvas.Width() : canvas.Height();
  const std::int64_t across = horizontal ? canvas.Height() : canvas.Width();
  if (at < 0 || at >= across) return;
  from = std::max<std::int64_t>(from, 0);
  to = std::min(to, length);
  if (from >= to) return;
  if (horizontal) {
    PutColourRun(canvas.Pixel(static_cast<int>(from), static_cast<int>(at)), to - from, 3, colour);
  } else {
    PutColourRun(canvas.Pixel(static_cast<int>(at), static_cast<int>(from)), to - from,
                 canvas.Stride(), colour);
  }
}

void DrawDashedLine(TBitmap24& canvas, int start, int end, std::span<const TColor> colours,
                    int step, int at, bool horizontal) {
  if (end < start || colours.empty() || step < 1) return;
  std::size_t i = 0;
  std::int64_t from = start;
  // The pen moves to `start`, then draws to every step mark up to `end`; each segment
  // covers its pixels up to, not including, the mark.
  for (std::int64_t x = static_cast<std::int64_t>(start) + step; x <= end; x += step) {
    DrawRun(canvas, from, x, at, horizontal, colours[i]);
    i = i + 1 == colours.size() ? 0 : i + 1;
    from = x;
  }
  DrawRun(canvas, from, end, at, horizontal, colours[i]);
}

}  // namespace

void AdjustBrightness(TBitmap24& picture, std::uint8_t level) {
  if (picture.Empty() || level == 127) return;
  AdjustBytes(picture.Data(), picture.Data(), picture.ByteCount(), level);
}

void BlendBitmapsSoftware(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha,
                          int width, int height) {
  if (width <= 0 || height <= 0) return;
  if (destination.Width() < width || destination.Height() < height) return;
  if (source.Width() < width || source.Height() < height) return;
  if (alpha == 0) return;
  const std::int64_t bytes = static_cast<std::int64_t>(width) * 3;
  if (&destination == &source) return;  // a picture over itself stays as it is
  BlendRows(destination, destination, source, alpha, 0, 0, bytes, height);
}

void BlendBitmaps(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha, int width,
                  int height) {
  if (width <= 0 || height <= 0) return;
  if (destination.Width() < width || destination.Height() < height) return;
  if (source.Width() < width || source.Height() < height) return;
  if (alphaBlendFunction != nullptr) {
    alphaBlendFunction(destination, source, alpha, width, height);
  } else {
    BlendBitmapsSoftware(destination, source, alpha, width, height);
  }
}

void SetAlphaBlendFunction(TAlphaBlendFunction function) { alphaBlendFunction = function; }

TAlphaBlendFunction GetAlphaBlendFunction() { return alphaBlendFunction; }

void FillBitmap(TBitmap24& picture, TColor colour) {
  if (picture.Empty()) return;
  PutColourRun(picture.Row(0), picture.Width(), 3, colour);
  const auto stride = static_cast<std::size_t>(picture.Stride());
  for (int y = 1; y < picture.Height(); ++y) std::memcpy(picture.Row(y), picture.Row(0), stride);
}

void ShiftBitmap(TBitmap24& picture, int dx, int dy, TColor colour) {
  const int width = picture.Width();
  const int height = picture.Height();
  if (picture.Empty() || (dx == 0 && dy == 0)) return;
  if (std::abs(static_cast<std::int64_t>(dx)) >= width ||
      std::abs(static_cast<std::int64_t>(dy)) >= height) {
    FillBitmap(picture, colour);
    return;
  }
  const std::vector<std::uint8_t> fill = ColourRow(width, colour);
  const auto stride = static_cast<std::size_t>(picture.Stride());
  const auto kept = static_cast<std::size_t>(width - std::abs(dx)) * 3;
  const auto band = static_cast<std::size_t>(std::abs(dx)) * 3;
  const std::size_t from = dx < 0 ? band : 0;
  const std::size_t to = dx > 0 ? band : 0;
  const std::size_t bandAt = dx > 0 ? 0 : kept;
  // Rows are visited so that a row is read before it is overwritten.
  auto moveRow = [&](int y) {
    std::uint8_t* row = picture.Row(y);
    std::memmove(row + to, picture.Row(y - dy) + from, kept);
    if (band > 0) std::memcpy(row + bandAt, fill.data(), band);
  };
  if (dy >= 0) {
    for (int y = height - 1; y >= dy; --y) moveRow(y);
    for (int y = 0; y < dy; ++y) std::memcpy(picture.Row(y), fill.data(), stride);
  } else {
    for (int y = 0; y < height + dy; ++y) moveRow(y);
    for (int y = height + dy; y < height; ++y) std::memcpy(picture.Row(y), fill.data(), stride);
  }
}

void DrawDashedHorzLine(TBitmap24& canvas, int x1, int x2, std::span<const TColor> colours,
                        int step, int y) {
  DrawDashedLine(canvas, x1, x2, colours, step, y, true);
}

void DrawDashedVertLine(TBitmap24& canvas, int y1, int y2, std::span<const TColor> colours,
                        int step, int x) {
  DrawDashedLine(canvas, y1, y2, colours, step, x, false);
}

void DrawDashedRect(TBitmap24& canvas, const TRect& rectangle, int step,
                    std::span<const TColor> colours) {
  if (step == 0) return;
  const TRect& r = rectangle;
  DrawDashedHorzLine(canvas, r.Left, r.Right, colours, step, r.Top);
  DrawDashedVertLine(canvas, r.Top + 1, r.Bottom - 1, colours, step, r.Left);
  DrawDashedVertLine(canvas, r.Top + 1, r.Bottom - 1, colours, step, r.Right);
  DrawDashedHorzLine(canvas, r.Left, r.Right, colours, step, r.Bottom);
}

void NormalizeRect(int& left, int& top, int& right, int& bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
}

namespace {

[[gnu::always_inline]] inline void XrgbLoop(std::uint32_t* __restrict destination,
                                            const std::uint8_t* __restrict source,
                                            std::int64_t pixels) {
  for (std::int64_t x = 0; x < pixels; ++x, source += 3) {
    destination[x] =
        0xff000000u | std::uint32_t{source[2]} << 16 | std::uint32_t{source[1]} << 8 | source[0];
  }
}

using TXrgb = void (*)(std::uint32_t*, const std::uint8_t*, std::int64_t);

void XrgbPlain(std::uint32_t* destination, const std::uint8_t* source, std::int64_t pixels) {
  XrgbLoop(destination, source, pixels);
}

#if defined(__x86_64__) || defined(__i386__)
// 4 pixels a step: one shuffle spreads 12 bytes to 16, the alpha bytes set by an or. The
// load takes 16 bytes, so the last 2 pixels of the run go the plain way.
__attribute__((target("ssse3"))) void XrgbSsse3(std::uint32_t* destination,
                                                const std::uint8_t* source, std::int64_t pixels) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xff000000u));
  std::int64_t x = 0;
  for (; x + 6 <= pixels; x += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + x),
                     _mm_or_si128(_mm_shuffle_epi8(bytes, spread), alpha));
  }
  XrgbLoop(destination + x, source + 3 * x, pixels - x);
}

// 16 pixels a step with a byte permute across the whole register; masked loads and stores
// take the rest without reading past the run.
__attribute__((target("avx512bw,avx512vbmi"))) void XrgbAvx512(std::uint32_t* destination,
                                                               const std::uint8_t* source,
                                                               std::int64_t pixels) {
  // Output byte 4p + c takes input byte 3p + c; the alpha byte's pick is or-ed over.
  static constexpr auto kOrder = [] {
    std::array<std::uint8_t, 64> order{};
    for (int i = 0; i < 64; ++i)
      order[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 0 : i / 4 * 3 + i % 4);
    return order;
  }();
  const __m512i spread = _mm512_loadu_si512(kOrder.data());
  const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xff000000u));
  std::int64_t x = 0;
  for (; x + 16 <= pixels; x += 16) {
    const __m512i bytes = _mm512_maskz_loadu_epi8((__mmask64{1} << 48) - 1, source + 3 * x);
    _mm512_storeu_si512(destination + x,
                        _mm512_or_si512(_mm512_permutex2var_epi8(bytes, spread, bytes), alpha));
  }
  if (x < pixels) {
    const std::int64_t rest = pixels - x;
    const __m512i bytes = _mm512_maskz_loadu_epi8((__mmask64{1} << (3 * rest)) - 1, source + 3 * x);
    _mm512_mask_storeu_epi32(
        destination + x, static_cast<__mmask16>((1u << rest) - 1),
        _mm512_or_si512(_mm512_permutex2var_epi8(bytes, spread, bytes), alpha));
  }
}
#endif

TXrgb ChooseXrgb() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi")) {
    return &XrgbAvx512;
  }
  if (__builtin_cpu_supports("ssse3")) return &XrgbSsse3;
#endif
  return &XrgbPlain;
}

}  // namespace

void PixelsToXrgb32(std::uint32_t* destination, const std::uint8_t* source, std::int64_t pixels) {
  static const TXrgb chosen = ChooseXrgb();
  if (pixels > 0) chosen(destination, source, pixels);
}

void CopyBitmapRect(TBitmap24& destination, int destX, int destY, const TBitmap24& source,
                    int sourceX, int sourceY, int width, int height) {
  std::int64_t dx = destX, dy = destY, sx = sourceX, sy = sourceY, w = width, h = height;
  // Clip to both pictures; each cut moves both corners alike.
  if (sx < 0) dx -= sx, w += sx, sx = 0;
  if (sy < 0) dy -= sy, h += sy, sy = 0;
  if (dx < 0) sx -= dx, w += dx, dx = 0;
  if (dy < 0) sy -= dy, h += dy, dy = 0;
  w = std::min({w, source.Width() - sx, destination.Width() - dx});
  h = std::min({h, source.Height() - sy, destination.Height() - dy});
  if (w <= 0 || h <= 0) return;
  const auto bytes = static_cast<std::size_t>(w) * 3;
  auto copyRow = [&](std::int64_t j) {
    std::memmove(destination.Pixel(static_cast<int>(dx), static_cast<int>(dy + j)),
                 source.Pixel(static_cast<int>(sx), static_cast<int>(sy + j)), bytes);
  };
  if (&destination == &source && dy > sy) {
    for (std::int64_t j = h - 1; j >= 0; --j) copyRow(j);
  } else {
    for (std::int64_t j = 0; j < h; ++j) copyRow(j);
  }
}

namespace {

// The destination pixels a stretch may write: the picture, or a part of it.
struct TClip {
  std::int64_t Left, Top, Right, Bottom;  // right and bottom exclusive
};

TClip WholeOf(const TBitmap24& picture) { return {0, 0, picture.Width(), picture.Height()}; }

TClip ClipOf(const TBitmap24& picture, const TPixelArea& area) {
  return {std::max<std::int64_t>(area.X, 0), std::max<std::int64_t>(area.Y, 0),
          std::min<std::int64_t>(std::int64_t{area.X} + area.Width, picture.Width()),
          std::min<std::int64_t>(std::int64_t{area.Y} + area.Height, picture.Height())};
}

void StretchClipped(TBitmap24& destination, int destX, int destY, int destWidth, int destHeight,
                    const TBitmap24& source, int sourceX, int sourceY, int sourceWidth,
                    int sourceHeight, const TClip& clip) {
  if (destWidth <= 0 || destHeight <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return;
  if (&destination == &source) {
    const TBitmap24 copy(source);
    StretchClipped(destination, destX, destY, destWidth, destHeight, copy, sourceX, sourceY,
                   sourceWidth, sourceHeight, clip);
    return;
  }
  // Source column of each destination column that lies on both pictures; the mapping
  // only grows, so those columns form one run.
  const std::int64_t firstX = std::max<std::int64_t>(destX, clip.Left);
  const std::int64_t endX =
      std::min<std::int64_t>(static_cast<std::int64_t>(destX) + destWidth, clip.Right);
  if (destWidth == sourceWidth && destHeight == sourceHeight) {
    // One to one: a copy, without working out a column map for every band of rows.
    const std::int64_t firstY = std::max<std::int64_t>(destY, clip.Top);
    const std::int64_t endY =
        std::min<std::int64_t>(static_cast<std::int64_t>(destY) + destHeight, clip.Bottom);
    if (endX > firstX && endY > firstY) {
      CopyBitmapRect(destination, static_cast<int>(firstX), static_cast<int>(firstY), source,
                     static_cast<int>(sourceX + firstX - destX),
                     static_cast<int>(sourceY + firstY - destY), static_cast<int>(endX - firstX),
                     static_cast<int>(endY - firstY));
    }
    return;
  }
  std::vector<std::int64_t> offsets;
  std::int64_t runStart = -1;
  for (std::int64_t x = firstX; x < endX; ++x) {
    const std::int64_t column = sourceX + (x - destX) * sourceWidth / destWidth;
    if (column < 0) continue;
    if (column >= source.Width()) break;
    if (runStart < 0) runStart = x;
    offsets.push_back(column * 3);
  }
  if (offsets.empty()) return;
  const auto count = static_cast<std::int64_t>(offsets.size());
  const std::int64_t* __restrict offset = offsets.data();
  const std::int64_t first = offset[0];
  // The two mappings the view composes with get loops of their own: one to one (a row
  // copy) and doubled (the topographic map at the finest zoom level).
  bool copies = true;
  bool doubles = std::endian::native == std::endian::little;
  for (std::int64_t i = 0; i < count; ++i) {
    copies = copies && offset[i] == first + 3 * i;
    doubles = doubles && offset[i] == first + 3 * (i / 2);
  }
  // Wider moves read a pixel's bytes as one word: never from the source's last column,
  // whose word may reach past the picture.
  const std::int64_t lastColumn = (source.Width() - std::int64_t{1}) * 3;
  std::int64_t fromLastColumn = 0;
  while (fromLastColumn < count && offset[count - 1 - fromLastColumn] == lastColumn) {
    ++fromLastColumn;
  }
  // Four bytes per pixel, the fourth landing on the next pixel, which is written
  // afterwards: all but the last pixel, and none from the last column.
  const std::int64_t words = std::max<std::int64_t>(0, std::min(count - 1, count - fromLastColumn));
  // Doubled: one word in, two pixels (and two bytes of the next pair) out.
  const std::int64_t pairs =
      std::max<std::int64_t>(0, std::min((count - 1) / 2, (count - fromLastColumn) / 2));

  auto stretchRow = [&](std::uint8_t* __restrict out, const std::uint8_t* __restrict in) {
    std::int64_t i = 0;
    if (copies) {
      std::memcpy(out, in + first, static_cast<std::size_t>(count) * 3);
      return;
    }
    if (doubles) {
      const std::uint8_t* pixel = in + first;
      for (std::int64_t k = 0; k < pairs; ++k, pixel += 3) {
        std::uint32_t word;
        std::memcpy(&word, pixel, 4);
        const std::uint64_t colour = word & 0xFFFFFFu;
        const std::uint64_t twice = colour | colour << 24;
        std::memcpy(out + 6 * k, &twice, 8);
      }
      i = 2 * pairs;
    } else {
      for (; i < words; ++i) {
        std::uint32_t word;
        std::memcpy(&word, in + offset[i], 4);
        std::memcpy(out + 3 * i, &word, 4);
      }
    }
    for (; i < count; ++i) {
      const std::uint8_t* pixel = in + offset[i];
      out[3 * i] = pixel[0];
      out[3 * i + 1] = pixel[1];
      out[3 * i + 2] = pixel[2];
    }
  };

  const std::int64_t firstY = std::max<std::int64_t>(destY, clip.Top);
  const std::int64_t endY =
      std::min<std::int64_t>(static_cast<std::int64_t>(destY) + destHeight, clip.Bottom);
  std::int64_t previousRow = -1;
  const std::uint8_t* previous = nullptr;
  for (std::int64_t y = firstY; y < endY; ++y) {
    const std::int64_t row = sourceY + (y - destY) * sourceHeight / destHeight;
    if (row < 0) continue;
    if (row >= source.Height()) break;
    std::uint8_t* out = destination.Pixel(static_cast<int>(runStart), static_cast<int>(y));
    if (row == previousRow) {
      // A repeated source row: the row just made serves again.
      std::memcpy(out, previous, static_cast<std::size_t>(count) * 3);
    } else {
      stretchRow(out, source.Row(static_cast<int>(row)));
    }
    previousRow = row;
    previous = out;
  }
}

}  // namespace

void StretchBitmapRect(TBitmap24& destination, int destX, int destY, int destWidth, int destHeight,
                       const TBitmap24& source, int sourceX, int sourceY, int sourceWidth,
                       int sourceHeight) {
  StretchClipped(destination, destX, destY, destWidth, destHeight, source, sourceX, sourceY,
                 sourceWidth, sourceHeight, WholeOf(destination));
}

void StretchBitmap(TBitmap24& destination, const TBitmap24& source) {
  StretchBitmapRect(destination, 0, 0, destination.Width(), destination.Height(), source, 0, 0,
                    source.Width(), source.Height());
}

void StretchBitmapArea(TBitmap24& destination, const TBitmap24& source, const TPixelArea& area) {
  StretchClipped(destination, 0, 0, destination.Width(), destination.Height(), source, 0, 0,
                 source.Width(), source.Height(), ClipOf(destination, area));
}

void AdjustBrightnessArea(TBitmap24& picture, std::uint8_t level, const TPixelArea& area) {
  AdjustBrightnessArea(picture, picture, level, area);
}

void AdjustBrightnessArea(TBitmap24& destination, const TBitmap24& source, std::uint8_t level,
                          const TPixelArea& area) {
  TClip clip = ClipOf(destination, area);
  clip.Right = std::min<std::int64_t>(clip.Right, source.Width());
  clip.Bottom = std::min<std::int64_t>(clip.Bottom, source.Height());
  if (clip.Left >= clip.Right) return;
  std::int64_t bytes = (clip.Right - clip.Left) * 3, rows = clip.Bottom - clip.Top;
  if (bytes == destination.Stride() && bytes == source.Stride()) {
    bytes *= rows;
    rows = 1;
  }
  for (std::int64_t r = 0; r < rows; ++r) {
    const int x = static_cast<int>(clip.Left), y = static_cast<int>(clip.Top + r);
    AdjustBytes(destination.Pixel(x, y), source.Pixel(x, y), bytes, level);
  }
}

void BlendBitmapsArea(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha,
                      const TPixelArea& area) {
  if (alpha == 0 || &destination == &source) return;
  BlendBitmapsArea(destination, destination, source, alpha, area);
}

void BlendBitmapsArea(TBitmap24& destination, const TBitmap24& under, const TBitmap24& over,
                      std::uint8_t alpha, const TPixelArea& area) {
  TClip clip = ClipOf(destination, area);
  clip.Right = std::min<std::int64_t>({clip.Right, under.Width(), over.Width()});
  clip.Bottom = std::min<std::int64_t>({clip.Bottom, under.Height(), over.Height()});
  if (clip.Left >= clip.Right) return;
  BlendRows(destination, under, over, alpha, static_cast<int>(clip.Left),
            static_cast<int>(clip.Top), (clip.Right - clip.Left) * 3, clip.Bottom - clip.Top);
}

namespace {

// About 3/4 of `near` + 1/4 of `side`: the rounded-up average of near with the rounded-up
// average of both.
inline std::uint8_t ThreeToOne(std::uint8_t near, std::uint8_t side) {
  const auto half = static_cast<std::uint8_t>((near + side + 1) >> 1);
  return static_cast<std::uint8_t>((near + half + 1) >> 1);
}

// The smooth stretch across works in blocks: 8 source pixels become 16 destination
// pixels (48 bytes). `padded` holds the source row from the pixel left of the first
// block's, edge pixels repeated, so every block may read 3 bytes before its pixels and
// up to 7 past them (kSmoothPadBytes in all beyond the blocks' own 24 each).
constexpr std::int64_t kSmoothBlockPixels = 16;
constexpr std::int64_t kSmoothPadBytes = 9;

// Destination pixel p of a block weighs source pixel p / 2 against its left neighbour
// (even p) or its right one (odd p); this gives the padded-row byte of either for each
// output byte.
constexpr std::int64_t SmoothSourceByte(int outputByte, bool side) {
  const int pixel = outputByte / 3, channel = outputByte % 3;
  const int near = pixel / 2;
  const int from = side ? (pixel % 2 ? near + 1 : near - 1) : near;
  return 3 + 3 * from + channel;
}

void SmoothAcrossPlain(std::uint8_t* __restrict out, const std::uint8_t* __restrict padded,
                       std::int64_t blocks) {
  for (std::int64_t b = 0; b < blocks; ++b, out += 48, padded += 24) {
    for (int i = 0; i < 48; ++i) {
      out[i] = ThreeToOne(padded[SmoothSourceByte(i, false)], padded[SmoothSourceByte(i, true)]);
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Each 16 output bytes of a block come from one 16-byte load of the padded row at these
// offsets, rearranged by a byte shuffle into the near and the side pixels.
constexpr int kSmoothLoadAt[3] = {0, 6, 15};

struct TSmoothShuffles {
  alignas(16) std::uint8_t Near[3][16];
  alignas(16) std::uint8_t Side[3][16];
};

constexpr TSmoothShuffles MakeSmoothShuffles() {
  TSmoothShuffles shuffles{};
  for (int v = 0; v < 3; ++v) {
    for (int i = 0; i < 16; ++i) {
      shuffles.Near[v][i] =
          static_cast<std::uint8_t>(SmoothSourceByte(16 * v + i, false) - kSmoothLoadAt[v]);
      shuffles.Side[v][i] =
          static_cast<std::uint8_t>(SmoothSourceByte(16 * v + i, true) - kSmoothLoadAt[v]);
    }
  }
  return shuffles;
}

constexpr TSmoothShuffles kSmoothShuffles = MakeSmoothShuffles();

constexpr bool SmoothLoadsCoverTheirBytes() {
  for (int v = 0; v < 3; ++v) {
    for (int i = 0; i < 16; ++i) {
      if (kSmoothShuffles.Near[v][i] > 15 || kSmoothShuffles.Side[v][i] > 15) return false;
    }
  }
  return kSmoothLoadAt[2] + 16 <= 24 + kSmoothPadBytes;
}
static_assert(SmoothLoadsCoverTheirBytes());

__attribute__((target("ssse3"))) inline void SmoothBlockSsse3(
    std::uint8_t* __restrict out, const std::uint8_t* __restrict padded) {
  for (int v = 0; v < 3; ++v) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(padded + kSmoothLoadAt[v]));
    const __m128i near = _mm_shuffle_epi8(
        in, _mm_load_si128(reinterpret_cast<const __m128i*>(kSmoothShuffles.Near[v])));
    const __m128i side = _mm_shuffle_epi8(
        in, _mm_load_si128(reinterpret_cast<const __m128i*>(kSmoothShuffles.Side[v])));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * v),
                     _mm_avg_epu8(near, _mm_avg_epu8(near, side)));
  }
}

__attribute__((target("ssse3"))) void SmoothAcrossSsse3(std::uint8_t* __restrict out,
                                                        const std::uint8_t* __restrict padded,
                                                        std::int64_t blocks) {
  for (std::int64_t b = 0; b < blocks; ++b, out += 48, padded += 24) SmoothBlockSsse3(out, padded);
}

__attribute__((target("avx2"))) inline __m256i LoadLanes(const std::uint8_t* low,
                                                         const std::uint8_t* high) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(high),
                             reinterpret_cast<const __m128i*>(low));
}

// Two blocks at a time: the six 16-byte parts of their output pair up into three 32-byte
// vectors, each lane loaded and shuffled as its part is in the single-block form.
__attribute__((target("avx2"))) void SmoothAcrossAvx2(std::uint8_t* __restrict out,
                                                      const std::uint8_t* __restrict padded,
                                                      std::int64_t blocks) {
  const int partOf[6] = {0, 1, 2, 0, 1, 2};
  __m256i nearShuffle[3], sideShuffle[3];
  int loadAt[6];
  for (int p = 0; p < 6; ++p) loadAt[p] = kSmoothLoadAt[partOf[p]] + (p < 3 ? 0 : 24);
  for (int v = 0; v < 3; ++v) {
    nearShuffle[v] =
        LoadLanes(kSmoothShuffles.Near[partOf[2 * v]], kSmoothShuffles.Near[partOf[2 * v + 1]]);
    sideShuffle[v] =
        LoadLanes(kSmoothShuffles.Side[partOf[2 * v]], kSmoothShuffles.Side[partOf[2 * v + 1]]);
  }
  std::int64_t b = 0;
  for (; b + 2 <= blocks; b += 2, out += 96, padded += 48) {
    for (int v = 0; v < 3; ++v) {
      const __m256i in = LoadLanes(padded + loadAt[2 * v], padded + loadAt[2 * v + 1]);
      const __m256i near = _mm256_shuffle_epi8(in, nearShuffle[v]);
      const __m256i side = _mm256_shuffle_epi8(in, sideShuffle[v]);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * v),
                          _mm256_avg_epu8(near, _mm256_avg_epu8(near, side)));
    }
  }
  if (b < blocks) SmoothBlockSsse3(out, padded);
}

__attribute__((target("avx2"))) void SmoothDownAvx2(std::uint8_t* __restrict out,
                                                    const std::uint8_t* __restrict near,
                                                    const std::uint8_t* __restrict far,
                                                    std::int64_t count) {
  for (std::int64_t b = 0; b < count; ++b) out[b] = ThreeToOne(near[b], far[b]);
}
#endif

void SmoothDownPlain(std::uint8_t* __restrict out, const std::uint8_t* __restrict near,
                     const std::uint8_t* __restrict far, std::int64_t count) {
  for (std::int64_t b = 0; b < count; ++b) out[b] = ThreeToOne(near[b], far[b]);
}

struct TSmoothLoops {
  void (*Across)(std::uint8_t*, const std::uint8_t*, std::int64_t) = &SmoothAcrossPlain;
  void (*Down)(std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
               std::int64_t) = &SmoothDownPlain;
};

// Chosen once, outside the loops: the shuffles are not in the x86-64 baseline.
TSmoothLoops ChooseSmoothLoops() {
  TSmoothLoops loops;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("ssse3")) loops.Across = &SmoothAcrossSsse3;
  if (__builtin_cpu_supports("avx2")) {
    loops.Across = &SmoothAcrossAvx2;
    loops.Down = &SmoothDownAvx2;
  }
#endif
  return loops;
}

const TSmoothLoops& SmoothLoops() {
  static const TSmoothLoops chosen = ChooseSmoothLoops();
  return chosen;
}

}  // namespace

void StretchDoubleSmoothArea(TBitmap24& destination, const TBitmap24& source,
                             const TPixelArea& area) {
  const std::int64_t sw = source.Width(), sh = source.Height();
  const TClip clip = ClipOf(destination, area);
  if (sw <= 0 || sh <= 0 || clip.Left >= clip.Right || clip.Top >= clip.Bottom) return;
  if (&destination == &source) {
    const TBitmap24 copy(source);
    StretchDoubleSmoothArea(destination, copy, area);
    return;
  }
  // Each source row is stretched across once, in whole blocks from the even destination
  // column at or left of the area; each destination row then weighs its near stretched
  // row with the one on its side. Padded pixel q is source column first + q, clamped.
  const std::int64_t startX = clip.Left & ~std::int64_t{1};
  const std::int64_t blocks = (clip.Right - startX + kSmoothBlockPixels - 1) / kSmoothBlockPixels;
  const std::int64_t first = startX / 2 - 1;
  const std::int64_t count = (blocks * 24 + kSmoothPadBytes) / 3;
  const std::int64_t inFirst = std::clamp<std::int64_t>(-first, 0, count);  // on the picture
  const std::int64_t inEnd = std::clamp<std::int64_t>(sw - first, inFirst, count);
  const std::int64_t rowBytes = (clip.Right - clip.Left) * 3;
  const std::int64_t slotBytes = blocks * 48;
  const std::int64_t skip = (clip.Left - startX) * 3;
  std::vector<std::uint8_t> paddedRow(static_cast<std::size_t>(count * 3));
  // The rows a destination row reads are three neighbours at most: a slot each.
  std::vector<std::uint8_t> stretchedRows(static_cast<std::size_t>(3 * slotBytes));
  std::int64_t rowInSlot[3] = {-1, -1, -1};
  std::uint8_t* padded = paddedRow.data();
  const TSmoothLoops& loops = SmoothLoops();
  const auto stretched = [&](std::int64_t row) -> const std::uint8_t* {
    const auto slot = static_cast<std::size_t>(row % 3);
    std::uint8_t* out = stretchedRows.data() + slot * static_cast<std::size_t>(slotBytes);
    if (rowInSlot[slot] == row) return out + skip;
    rowInSlot[slot] = row;
    const std::uint8_t* in = source.Row(static_cast<int>(row));
    if (inEnd > inFirst) {
      std::memcpy(padded + inFirst * 3, in + (first + inFirst) * 3,
                  static_cast<std::size_t>((inEnd - inFirst) * 3));
    }
    const std::uint8_t* leftEdge = in;
    const std::uint8_t* rightEdge = in + (sw - 1) * 3;
    for (std::int64_t c = 0; c < inFirst; ++c) std::memcpy(padded + c * 3, leftEdge, 3);
    for (std::int64_t c = inEnd; c < count; ++c) std::memcpy(padded + c * 3, rightEdge, 3);
    loops.Across(out, padded, blocks);
    return out + skip;
  };
  for (std::int64_t y = clip.Top; y < clip.Bottom; ++y) {
    const std::int64_t j = y >> 1;
    const std::uint8_t* near = stretched(std::min(j, sh - 1));
    const std::uint8_t* far =
        stretched(std::clamp<std::int64_t>((y & 1) ? j + 1 : j - 1, 0, sh - 1));
    loops.Down(destination.Pixel(static_cast<int>(clip.Left), static_cast<int>(y)), near, far,
               rowBytes);
  }
}

TPixelArea SmoothStretchReach(const TPixelArea& sourceArea, int destinationWidth,
                              int destinationHeight) {
  if (sourceArea.Width <= 0 || sourceArea.Height <= 0) return {};
  const std::int64_t left = std::max<std::int64_t>(2 * std::int64_t{sourceArea.X} - 1, 0);
  const std::int64_t top = std::max<std::int64_t>(2 * std::int64_t{sourceArea.Y} - 1, 0);
  const std::int64_t right = std::min<std::int64_t>(
      2 * (std::int64_t{sourceArea.X} + sourceArea.Width) + 1, destinationWidth);
  const std::int64_t bottom = std::min<std::int64_t>(
      2 * (std::int64_t{sourceArea.Y} + sourceArea.Height) + 1, destinationHeight);
  if (right <= left || bottom <= top) return {};
  return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
          static_cast<int>(bottom - top)};
}

}  // namespace quorvil
