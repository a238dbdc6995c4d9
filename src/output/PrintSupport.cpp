#include "output/PrintSupport.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

#include "output/DownloadBitmapProgress.h"
#include "output/PrinterSupport.h"
#include "platform/ProgramError.h"
#include "platform/WaitScreen.h"

namespace quorvil {

namespace {

// Device coordinates are int; a placement beyond them is far off the page anyway.
int DeviceCoordinate(std::int64_t value) {
  constexpr std::int64_t kLimit = 1 << 30;
  return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

// Ends the job on every path; a failed end is reported only when nothing else failed.
class TPrintJob {
 public:
  explicit TPrintJob(QPrinter& printer) {
    if (!painter_.begin(&printer)) {
      throw EQuorvilError(PrintJobStartError());
    }
  }
  ~TPrintJob() {
    if (painter_.isActive()) painter_.end();
  }
  TPrintJob(const TPrintJob&) = delete;
  TPrintJob& operator=(const TPrintJob&) = delete;

  QPainter& Painter() { return painter_; }
  void Finish() {
    if (!painter_.end()) throw EQuorvilError("The page could not be sent to the printer");
  }

 private:
  QPainter painter_;
};

}  // namespace

void StretchBitmapToPrinter(QPainter& painter, const TBitmap24& picture, std::int64_t left,
                            std::int64_t bottom, std::int64_t height, std::int64_t width) {
  if (picture.Empty() || width <= 0 || height <= 0) return;
  // Wraps the picture's rows as they are; the device scales them.
  const QImage image(picture.Data(), picture.Width(), picture.Height(),
                     static_cast<qsizetype>(picture.Stride()), QImage::Format_BGR888);
  painter.drawImage(QRect(DeviceCoordinate(left), DeviceCoordinate(bottom - height),
                          DeviceCoordinate(width), DeviceCoordinate(height)),
                    image);
}

void PrintPictureOnPage(const TBitmap24& picture, const TPrintOptions& options) {
  if (const std::string problem = EmptyPictureMessage(picture.Width(), picture.Height());
      !problem.empty()) {
    throw EQuorvilError(problem);
  }
  TScopedWaitScreen waitScreen(kSendingToPrinterMessage);
  QPrinter& printer = CurrentPrinter();
  TPrintJob job(printer);
  const int pageWidth = printer.width();
  const int pageHeight = printer.height();
  const TPrintPlacement placement =
      CalcPrintPlacement(options, picture.Width(), picture.Height(), pageWidth, pageHeight);
  job.Painter().setClipRect(0, 0, pageWidth, pageHeight);
  StretchBitmapToPrinter(job.Painter(), picture, placement.OffsetX,
                         placement.OffsetY + placement.DestHeight, placement.DestHeight,
                         placement.DestWidth);
  job.Finish();
}

bool PrintPhoto(const AreaBoundingBox& area, const TPrintOptions& options) {
  const TOutputPicture output = PrepareOutputPicture(area);
  PrintPictureOnPage(output.Picture, options);
  return output.Completed;
}

}  // namespace quorvil
