#pragma once

// The program's waiter: the work runs on a worker thread while the user-interface thread
// goes on handling events in a local event loop. Re-entrancy is the caller's to guard
// (the main window's busy protocol, the dialogs' modality).

#include <cstdint>

#include "platform/WaitSupport.h"

namespace quorvil {

class TEventLoopWaiter : public TWaiter {
 public:
  // On a thread other than the user-interface thread the work runs in place.
  void Wait(const std::function<void()>& work) override;

  // The waits begun on the user-interface thread so far, and how many run now (nested
  // ones included): for a watchdog that tells a wait that never ends.
  static std::uint64_t WaitsBegun();
  static int WaitsRunning();
};

}  // namespace quorvil
