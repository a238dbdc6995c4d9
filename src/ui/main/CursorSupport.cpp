#include "ui/main/CursorSupport.h"

#include <map>

#include "imagery/ResourceSupport.h"

namespace quorvil {

namespace {

std::map<int, QCursor>& Registry() {
  static std::map<int, QCursor> cursors;
  return cursors;
}

}  // namespace

QPixmap LoadResourcePixmap(const char* name) {
  QPixmap picture;
  try {
    TMemoryStream stream;
    LoadResourceToStream(stream, ProgramModule(), kPngResourceType, name);
    picture.loadFromData(stream.Data(), static_cast<uint>(stream.Size()), "PNG");
  } catch (const std::exception&) {
    // A missing picture is left out by the caller.
  }
  return picture;
}

void LoadCustomCursors() {
  static const struct {
    int Number;
    const char* Resource;
    int HotX, HotY;
  } kCursors[] = {
      {crHand, "CURSOR_Hand", 16, 16},
      {crZoomBox, "CURSOR_ZoomBox", 12, 12},
      {crSelect, "CURSON_Select", 15, 15},
  };
  for (const auto& cursor : kCursors) {
    // A missing cursor leaves the default one in its place.
    const QPixmap picture = LoadResourcePixmap(cursor.Resource);
    if (!picture.isNull()) Registry()[cursor.Number] = QCursor(picture, cursor.HotX, cursor.HotY);
  }
}

QCursor CustomCursor(int number) {
  const auto found = Registry().find(number);
  return found != Registry().end() ? found->second : QCursor(Qt::ArrowCursor);
}

void RefreshCursor() { QCursor::setPos(QCursor::pos()); }

}  // namespace quorvil
