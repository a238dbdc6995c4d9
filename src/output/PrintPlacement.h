#pragma once

// What printing decides without a printer: the placement of the picture on the page,
// the page-setup preview's geometry, the scale box's reading and the printer texts.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvil {

// What is read about the current printer. The sizes are those of the printable area,
// in inches when InInches, else in millimetres.
struct TPrinterInfoRec {
  std::string PrinterName;
  bool InInches = true;
  double PageWidth = 0;
  double PageHeight = 0;
  std::int32_t PageWidthPixels = 0;
  std::int32_t PageHeightPixels = 0;
  std::uint8_t Orientation = 0;  // 1 landscape, 0 portrait
  int DotsPerInch = 0;           // the device pixels Actual Size puts one picture pixel on
};

inline constexpr std::uint8_t kOrientationPortrait = 0;
inline constexpr std::uint8_t kOrientationLandscape = 1;

enum class TPrintScaleMode : std::uint8_t { smFitToPage = 0, smActualSize = 1, smScale = 2 };

struct TPrintOptions {
  TPrintScaleMode ScaleMode = TPrintScaleMode::smFitToPage;
  std::int32_t ScalePercent = 100;  // for smScale; 0 when the box holds no integer
  bool CenterHorizontal = true;
  bool CenterVertical = true;
};

// Where the picture goes on the page, in the page's pixels from the printable area's
// top-left corner. Offsets are negative when the picture is larger than the page.
struct TPrintPlacement {
  std::int64_t DestWidth = 0;
  std::int64_t DestHeight = 0;
  std::int64_t OffsetX = 0;
  std::int64_t OffsetY = 0;
  bool operator==(const TPrintPlacement&) const = default;
};

// The placement rule, in 64-bit integers with truncating division. Fit To Page fills the
// page's width, or its height when the picture is too tall for that; Actual Size puts
// one picture pixel on one page pixel; Scale takes the percentage of the picture's width
// and keeps its proportions. Throws EQuorvilError for a picture without pixels, which
// cannot be placed.
TPrintPlacement CalcPrintPlacement(const TPrintOptions& options, std::int64_t pictureWidth,
                                   std::int64_t pictureHeight, std::int64_t pageWidth,
                                   std::int64_t pageHeight);

// The refusal of a picture that has no pixels: empty when it has some.
std::string EmptyPictureMessage(std::int64_t pictureWidth, std::int64_t pictureHeight);

// "Landscape" for 1, "Portrait" for anything else.
std::string PrinterOrientationText(std::uint8_t orientation);

// The printable size as the page-setup page shows it: inches with two decimals and an
// inch sign each (8.00" x 10.50"), or whole millimetres, truncated (203 x 266 mm).
// The sizes are taken as inches.
std::string PageSizeText(double pageWidthInches, double pageHeightInches, bool english,
                         char decimalSeparator = '.');

// The page-setup preview: the paper fitted to the preview panel's height with the
// printable area's proportions and centred in it, and the photograph's place on the
// paper (relative to the paper, inside a 3-pixel border; it may run over the edge).
struct TPreviewRect {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool operator==(const TPreviewRect&) const = default;
};
struct TPagePreview {
  TPreviewRect Paper;
  TPreviewRect Photo;
};
inline constexpr int kPreviewPaperBorder = 3;

TPagePreview CalcPagePreview(int parentWidth, int parentHeight, const TPrinterInfoRec& printer,
                             int pictureWidth, int pictureHeight, const TPrintOptions& options);

// The scale box's text as the percentage: its integer value, 0 when it is not one.
std::int32_t ScalePercentFromText(std::string_view text);

// What is wrong with the scale box's text before printing, as the warning to show;
// empty when it holds an integer of 0 or more.
std::string ScaleTextProblem(std::string_view text);

inline constexpr const char* kScaleNotIntegerMessage =
    "The value of the scale percentage must be an integer.";
inline constexpr const char* kScaleNegativeMessage =
    "The value of the scale percentage must be a positive integer.";

}  // namespace quorvil
