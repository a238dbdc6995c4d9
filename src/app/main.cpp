// Quorvil: the program entry. It installs the message boxes and the waiter that keeps
// the window alive during service calls, creates the main window and runs the event loop.

#include "ui/main/Main.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/EventLoopWaiter.h"
#include "platform/MessageBoxPrompter.h"
#include "platform/PromptSupport.h"
#include "platform/WaitSupport.h"
#include "settings/VersionSupport.h"
#include "ui/main/ActionImages.h"

namespace {

const char kUsage[] =
    "Usage: quorvil [--help | --version] [Qt options]\n"
    "Shows aerial photographs and topographic maps of the United States, assembled from\n"
    "the tiles of a TerraService map service (set its address under Preferences).\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the program's version, as the About box does\n"
    "\n"
    "Qt's own options work too, such as -platform offscreen or -style fusion.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before any window exists, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("quorvil %s\n",
                  quorvil::FileVersionToString(quorvil::GetFileVersion("/proc/self/exe")).c_str());
      return 0;
    }
  }
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
