// Quorvil: the program entry. It installs the message boxes and the waiter that keeps
// the window alive during service calls, creates the main window and runs the event loop.

#include "ui/main/Main.h"

#include <QApplication>
#include <memory>

#include "platform/EventLoopWaiter.h"
#include "platform/MessageBoxPrompter.h"
#include "platform/PromptSupport.h"
#include "platform/WaitSupport.h"
#include "ui/main/ActionImages.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Quorvil");
  // No display name: the platform would append it to every window's caption, which
  // then no longer fits a small dialog's title bar.
  QApplication::setWindowIcon(quorvil::ProgramIcon());
  quorvil::TScopedPrompter prompter(std::make_shared<quorvil::TMessageBoxPrompter>());
  quorvil::TScopedWaiter waiter(std::make_shared<quorvil::TEventLoopWaiter>());

  std::unique_ptr<quorvil::TfrmMain> window;
  try {
    window = std::make_unique<quorvil::TfrmMain>();
  } catch (const std::exception& error) {
    // The window could not be built (its splash picture is missing, say).
    quorvil::ShowGeneralError(error);
    return 1;
  }
  window->show();
  const int result = QApplication::exec();
  window.reset();
  return result;
}
