#include "output/CopyToClipboardSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <exception>

#include "imagery/AreaCheck.h"
#include "imagery/MosaicSupport.h"
#include "output/DownloadBitmapProgress.h"
#include "platform/PromptSupport.h"
#include "service/TerraServiceSupport.h"

namespace quorvil {

bool CopyPhotoToClipboard(const AreaBoundingBox& area) {
  const TOutputPicture output = PrepareOutputPicture(area);
  const TBitmap24& picture = output.Picture;
  // A copy: the clipboard keeps its picture after ours is released.
  const QImage image = QImage(picture.Data(), picture.Width(), picture.Height(), picture.Stride(),
                              QImage::Format_BGR888)
                           .convertToFormat(QImage::Format_RGB32);
  QGuiApplication::clipboard()->setImage(image);
  return output.Completed;
}

void CopySelectionToClipboard(const TSelectionRec& selection, TZoomLevel zoomLevel) {
  try {
    const std::unique_ptr<AreaBoundingBox> area =
        GetAreaForSelection(selection, Theme::Photo, ScaleOfZoomLevel(zoomLevel));
    const std::int64_t width = AreaPixelWidth(*area);
    const std::int64_t height = AreaPixelHeight(*area);
    // Sides are checked first, so that the product cannot overflow.
    if (width > kClipboardPixelLimit || height > kClipboardPixelLimit ||
        width * height > kClipboardPixelLimit) {
      ShowMessageBox(TPromptKind::pkWarning, "", kClipboardTooLargeText);
      return;
    }
    CheckSelectionArea(*area, selection, zoomLevel);
    CopyPhotoToClipboard(*area);
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  }
}

}  // namespace quorvil
