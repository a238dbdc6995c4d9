#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imagery/Bitmap24.h"

namespace quorvil {

// A colour as 32 bits: red in the low byte, then green, then blue (0xFFFF00 is aqua).
using TColor = std::uint32_t;

constexpr TColor RgbColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<TColor>(red) | static_cast<TColor>(green) << 8 |
         static_cast<TColor>(blue) << 16;
}
inline constexpr TColor kColorBlack = 0x000000;

// A rectangle of pixel coordinates.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

// A rectangle of whole pixels by its top-left corner and its size.
struct TPixelArea {
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
};

// Adds level - 127 to every byte of the picture, clamped to 0..255: 127 leaves it alone,
// 119 (the start position of the brightness control) darkens every byte by 8.
void AdjustBrightness(TBitmap24& picture, std::uint8_t level);

// Lays the upper-left width x height pixels of `source` over the same pixels of
// `destination` with the constant opacity alpha: each byte becomes
// (alpha * source + (255 - alpha) * destination) div 255. Does nothing when either picture
// is narrower than width or lower than height. Uses the installed fast path when there
// is one, the software blend otherwise.
void BlendBitmaps(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha, int width,
                  int height);

// The software blend, the reference every fast path must match up to rounding.
void BlendBitmapsSoftware(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha,
                          int width, int height);

// The area-limited forms of the operations above, for redrawing only the part of a
// picture that changed. Each gives the pixels of the area exactly what the whole
// operation gives them and leaves every other pixel alone; the area is clipped to the
// pictures.
void AdjustBrightnessArea(TBitmap24& picture, std::uint8_t level, const TPixelArea& area);
// Software blend of the area's pixels of `source` over the same pixels of `destination`.
void BlendBitmapsArea(TBitmap24& destination, const TBitmap24& source, std::uint8_t alpha,
                      const TPixelArea& area);
// The same two, from other pictures into the area of `destination`, in one pass instead of
// a copy and the operation: the area of `source` brightened, and the area of `over`
// blended over that of `under` (which may be `destination` itself). The area is clipped
// to all the pictures.
void AdjustBrightnessArea(TBitmap24& destination, const TBitmap24& source, std::uint8_t level,
                          const TPixelArea& area);
void BlendBitmapsArea(TBitmap24& destination, const TBitmap24& under, const TBitmap24& over,
                      std::uint8_t alpha, const TPixelArea& area);

// A platform blend (for instance one of a windowing library's raster engine). It is
// called only with sizes that fit both pictures.
using TAlphaBlendFunction = void (*)(TBitmap24& destination, const TBitmap24& source,
                                     std::uint8_t alpha, int width, int height);

// Installs the fast path, once at start-up before the first blend; nullptr removes it.
void SetAlphaBlendFunction(TAlphaBlendFunction function);
TAlphaBlendFunction GetAlphaBlendFunction();

// Paints the whole picture in one colour.
void FillBitmap(TBitmap24& picture, TColor colour);

// Moves the content by dx pixels to the right and dy down; uncovered pixels take the
// colour, content moved past an edge is lost.
void ShiftBitmap(TBitmap24& picture, int dx, int dy, TColor colour);

// A dashed line one pixel wide along row y from x1 towards x2, the colour changing every
// `step` pixels and cycling through `colours` from the first. Like the platform's line
// drawing it stops just before its end point: pixels x1..x2 - 1 are drawn. Nothing is
// drawn when x2 < x1, step < 1 or there are no colours; pixels off the canvas are skipped.
void DrawDashedHorzLine(TBitmap24& canvas, int x1, int x2, std::span<const TColor> colours,
                        int step, int y);
// The same along column x, from y1 towards y2.
void DrawDashedVertLine(TBitmap24& canvas, int y1, int y2, std::span<const TColor> colours,
                        int step, int x);

// Outlines the rectangle with dashed lines, each starting afresh with the first colour:
// the top edge from Left to Right at Top, the left and right edges from Top + 1 to
// Bottom - 1, the bottom edge from Left to Right at Bottom. Step 0 draws nothing.
void DrawDashedRect(TBitmap24& canvas, const TRect& rectangle, int step,
                    std::span<const TColor> colours);

// Afterwards left <= right and top <= bottom.
void NormalizeRect(int& left, int& top, int& right, int& bottom);

// Copies width x height pixels from (sourceX, sourceY) of `source` to (destX, destY) of
// `destination`, pixel for pixel; whatever lies outside either picture is left out. The
// two may be the same picture, also with overlapping rectangles.
void CopyBitmapRect(TBitmap24& destination, int destX, int destY, const TBitmap24& source,
                    int sourceX, int sourceY, int width, int height);

// `pixels` pixels of 3 bytes (blue, green, red) as 32-bit 0xffRRGGBB, the form the window
// paints from.
void PixelsToXrgb32(std::uint32_t* destination, const std::uint8_t* source, std::int64_t pixels);

// Nearest-neighbour stretch of the source rectangle (sourceX, sourceY, sourceWidth x
// sourceHeight) onto the destination rectangle (destX, destY, destWidth x destHeight): a
// destination pixel at offset (i, j) in its rectangle takes the source pixel at offset
// (i * sourceWidth div destWidth, j * sourceHeight div destHeight). Pixels that fall
// outside either picture are left out; empty rectangles draw nothing.
void StretchBitmapRect(TBitmap24& destination, int destX, int destY, int destWidth, int destHeight,
                       const TBitmap24& source, int sourceX, int sourceY, int sourceWidth,
                       int sourceHeight);

// The whole source stretched over the whole destination (at its present size).
void StretchBitmap(TBitmap24& destination, const TBitmap24& source);
// StretchBitmap, drawing only the destination pixels inside the area.
void StretchBitmapArea(TBitmap24& destination, const TBitmap24& source, const TPixelArea& area);

// The source drawn twice its size with bilinear filtering, for the destination pixels
// inside the area: destination pixel x lies at source position x / 2 - 1/4, so that it
// takes about 3/4 of its nearest source pixel and 1/4 of the next one on the side it
// lies, first across, then down; each 3/4 + 1/4 is the rounded-up average of the near
// value with the rounded-up average of both. Positions past the source's edge take its
// edge pixels (so an odd size's last column or row repeats the edge). No division per
// pixel.
void StretchDoubleSmoothArea(TBitmap24& destination, const TBitmap24& source,
                             const TPixelArea& area);
// The destination pixels of StretchDoubleSmoothArea that the source pixels inside
// `sourceArea` reach, within a destination of the given size.
TPixelArea SmoothStretchReach(const TPixelArea& sourceArea, int destinationWidth,
                              int destinationHeight);

// File types of SaveBitmapToFile, as the save dialog numbers them.
inline constexpr int kSaveAsJpeg = 0;
inline constexpr int kSaveAsBitmap = 1;

// Writes the picture as a JPEG file at quality 100 (fileType 0) or a 24-bit Windows
// bitmap file (fileType 1); any other type writes nothing. The file appears whole or
// not at all: it is written under a temporary name beside it and renamed into place.
// Throws EQuorvilError when the file cannot be written.
void SaveBitmapToFile(const TBitmap24& picture, const std::string& fileName, int fileType);

}  // namespace quorvil
