#pragma once

// The pictures of the main window's commands, shared by its toolbar and menus: the
// desktop's theme icon where it has one, the program's own embedded picture otherwise.

#include <QIcon>

namespace quorvil {

// The positions of the pictures in the main window's image list.
enum class TActionImage {
  aiSearchForPlace = 0,
  aiStop = 1,
  aiRefresh = 2,
  aiBack = 3,
  aiPan = 4,
  aiZoomBox = 5,
  aiSelect = 6,
  aiForward = 7,
  aiMeasure = 8,
};

QIcon ActionImage(TActionImage image);

// The program's own icon (window icon, desktop entry).
QIcon ProgramIcon();

}  // namespace quorvil
