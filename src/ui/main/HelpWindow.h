#pragma once

// Help: an in-program window titled "Quorvil Help" that shows the bundled manual.

class QWidget;

namespace quorvil {

// Brings the help window to the top when one is open; opens one otherwise.
void ShowHelp();

// Closes the help window if one is open (the main window does so when it closes).
void CloseHelp();

// The help window while it is open, nullptr otherwise.
QWidget* CurrentHelpWindow();

}  // namespace quorvil
