#pragma once

// The program's own cursors, loaded from its resources and registered by number, and
// the trick that makes a changed cursor show without the pointer having to move.

#include <QCursor>
#include <QPixmap>

namespace quorvil {

// The numbers the cursors are registered under: one per mouse tool.
inline constexpr int crHand = 1;
inline constexpr int crZoomBox = 2;
inline constexpr int crSelect = 3;

// A PNG picture of the program's resources; a null pixmap when it is missing or unreadable.
QPixmap LoadResourcePixmap(const char* name);

// Loads "CURSOR_Hand", "CURSOR_ZoomBox" and "CURSON_Select" and registers them as 1, 2
// and 3. A cursor whose resource is missing or unreadable is left out.
void LoadCustomCursors();

// The cursor registered under the number; the arrow when there is none.
QCursor CustomCursor(int number);

// Sets the pointer to where it is, so that a changed cursor shows at once.
void RefreshCursor();

}  // namespace quorvil
