#include "output/PrintPlacement.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/ProgramError.h"
#include "service/FormatSupport.h"

namespace quorvil {

namespace {

// Each page dimension and picture dimension fits in 32 bits, so that their products
// fit in 64; larger values are clamped (no picture or page comes near them).
std::int64_t Clamp32(std::int64_t value) {
  return std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                  std::numeric_limits<std::int32_t>::max());
}

int ClampInt(std::int64_t value) { return static_cast<int>(Clamp32(value)); }

std::string TwoDecimals(double value, char decimalSeparator) {
  char text[64];
  std::snprintf(text, sizeof text, "%2.2f", value);
  std::string result = text;
  std::replace(result.begin(), result.end(), '.', decimalSeparator);
  return result;
}

}  // namespace

std::string EmptyPictureMessage(std::int64_t pictureWidth, std::int64_t pictureHeight) {
  if (pictureWidth > 0 && pictureHeight > 0) return {};
  return "The picture to print has no pixels (" +
         std::to_string(std::max<std::int64_t>(0, pictureWidth)) + " x " +
         std::to_string(std::max<std::int64_t>(0, pictureHeight)) +
         "). Choose a finer zoom level or a larger selection.";
}

TPrintPlacement CalcPrintPlacement(const TPrintOptions& options, std::int64_t pictureWidth,
                                   std::int64_t pictureHeight, std::int64_t pageWidth,
                                   std::int64_t pageHeight) {
  if (const std::string problem = EmptyPictureMessage(pictureWidth, pictureHeight);
      !problem.empty()) {
    throw EQuorvilError(problem);
  }
  const std::int64_t w = Clamp32(pictureWidth);
  const std::int64_t h = Clamp32(pictureHeight);
  const std::int64_t pw = Clamp32(pageWidth);
  const std::int64_t ph = Clamp32(pageHeight);
  TPrintPlacement placement;
  switch (options.ScaleMode) {
    case TPrintScaleMode::smFitToPage:
      placement.DestHeight = h * pw / w;
      if (ph < placement.DestHeight) {
        placement.DestWidth = w * ph / h;
        placement.DestHeight = ph;
      } else {
        placement.DestWidth = pw;
      }
      break;
    case TPrintScaleMode::smActualSize:
      placement.DestWidth = w;
      placement.DestHeight = h;
      break;
    case TPrintScaleMode::smScale:
      placement.DestWidth = Clamp32(w * options.ScalePercent / 100);
      placement.DestHeight = placement.DestWidth * h / w;
      break;
  }
  if (options.CenterHorizontal) placement.OffsetX = (pw - placement.DestWidth) / 2;
  if (options.CenterVertical) placement.OffsetY = (ph - placement.DestHeight) / 2;
  return placement;
}

std::string PrinterOrientationText(std::uint8_t orientation) {
  return orientation == kOrientationLandscape ? "Landscape" : "Portrait";
}

std::string PageSizeText(double pageWidthInches, double pageHeightInches, bool english,
                         char decimalSeparator) {
  if (english) {
    return TwoDecimals(pageWidthInches, decimalSeparator) + "\" x " +
           TwoDecimals(pageHeightInches, decimalSeparator) + "\"";
  }
  const auto millimetres = [](double inches) {
    return std::to_string(static_cast<std::int64_t>(inches * 25.4));
  };
  return millimetres(pageWidthInches) + " x " + millimetres(pageHeightInches) + " mm";
}

TPagePreview CalcPagePreview(int parentWidth, int parentHeight, const TPrinterInfoRec& printer,
                             int pictureWidth, int pictureHeight, const TPrintOptions& options) {
  TPagePreview preview;
  TPreviewRect& paper = preview.Paper;
  paper.Height = parentHeight;
  paper.Width = printer.PageHeightPixels > 0
                    ? ClampInt(std::int64_t{paper.Height} * printer.PageWidthPixels /
                               printer.PageHeightPixels)
                    : 0;
  paper.Left = (parentWidth - paper.Width) / 2;
  paper.Top = (parentHeight - paper.Height) / 2;

  const auto onPaper = [](int paperSide, int pictureSide, std::int32_t pageSide) {
    const std::int64_t side =
        pageSide > 0 ? std::int64_t{paperSide} * pictureSide / pageSide : std::int64_t{0};
    return side < 1 ? std::int64_t{3} : side;
  };
  const std::int64_t a = onPaper(paper.Width, pictureWidth, printer.PageWidthPixels);
  const std::int64_t b = onPaper(paper.Height, pictureHeight, printer.PageHeightPixels);
  const TPrintPlacement placement = CalcPrintPlacement(
      options, a, b, paper.Width - 2 * kPreviewPaperBorder, paper.Height - 2 * kPreviewPaperBorder);
  preview.Photo = {ClampInt(placement.OffsetX + kPreviewPaperBorder),
                   ClampInt(placement.OffsetY + kPreviewPaperBorder), ClampInt(placement.DestWidth),
                   ClampInt(placement.DestHeight)};
  return preview;
}

std::int32_t ScalePercentFromText(std::string_view text) {
  int value = 0;
  return TryStrToInt(text, value) ? value : 0;
}

std::string ScaleTextProblem(std::string_view text) {
  int value = 0;
  if (!TryStrToInt(text, value)) return kScaleNotIntegerMessage;
  if (value < 0) return kScaleNegativeMessage;
  return {};
}

}  // namespace quorvil
