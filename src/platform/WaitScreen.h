#pragma once

// The small wait screen that output shows while it writes or prints: a borderless
// window on top of all others with one centred message. At most one exists at a time.

#include <string>

class QWidget;

namespace quorvil {

// Shows the wait screen with the message ("\r" breaks the line), creating it when none
// exists, and lets it paint once before the caller's long work begins.
void ShowWaitScreen(const std::string& message);

// Removes the wait screen; harmless when none is shown.
void HideWaitScreen();

// The wait screen while it exists, nullptr otherwise.
QWidget* CurrentWaitScreen();

// Shows the wait screen for the life of the object, hidden also when the work fails.
class TScopedWaitScreen {
 public:
  explicit TScopedWaitScreen(const std::string& message) { ShowWaitScreen(message); }
  ~TScopedWaitScreen() { HideWaitScreen(); }
  TScopedWaitScreen(const TScopedWaitScreen&) = delete;
  TScopedWaitScreen& operator=(const TScopedWaitScreen&) = delete;
};

}  // namespace quorvil
