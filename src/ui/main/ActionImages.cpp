#include "ui/main/ActionImages.h"

#include "ui/main/CursorSupport.h"

namespace quorvil {

namespace {

// The program's own picture of that resource name; an empty icon when it is missing,
// and the command then shows its caption alone.
QIcon EmbeddedIcon(const char* name) {
  const QPixmap picture = LoadResourcePixmap(name);
  return picture.isNull() ? QIcon() : QIcon(picture);
}

}  // namespace

QIcon ActionImage(TActionImage image) {
  // The desktop's icon where its theme names one for the purpose; there is no standard
  // name for the three mouse tools.
  static const struct {
    TActionImage Image;
    const char* Theme;
    const char* Resource;
  } kImages[] = {
      {TActionImage::aiSearchForPlace, "edit-find", "ICON_Search"},
      {TActionImage::aiStop, "process-stop", "ICON_Stop"},
      {TActionImage::aiRefresh, "view-refresh", "ICON_Refresh"},
      {TActionImage::aiBack, "go-previous", "ICON_Back"},
      {TActionImage::aiPan, nullptr, "ICON_Pan"},
      {TActionImage::aiZoomBox, nullptr, "ICON_ZoomBox"},
      {TActionImage::aiSelect, nullptr, "ICON_Select"},
      {TActionImage::aiForward, "go-next", "ICON_Forward"},
      {TActionImage::aiMeasure, nullptr, "ICON_Measure"},
  };
  for (const auto& entry : kImages) {
    if (entry.Image != image) continue;
    const QIcon own = EmbeddedIcon(entry.Resource);
    return entry.Theme != nullptr ? QIcon::fromTheme(entry.Theme, own) : own;
  }
  return {};
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* name :
       {"ICON_Program16", "ICON_Program32", "ICON_Program48", "ICON_Program256"}) {
    const QPixmap picture = LoadResourcePixmap(name);
    if (!picture.isNull()) icon.addPixmap(picture);
  }
  return icon;
}

}  // namespace quorvil
