#pragma once

// The seam through which plain code waits for work that can block for long: a service
// call, a tile download. Tools and tests run the work in place. The program installs a
// waiter that runs it on a worker thread while the user-interface thread goes on
// handling events, so that the window repaints and Stop answers meanwhile.

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

namespace quorvil {

class TWaiter {
 public:
  virtual ~TWaiter() = default;
  // Runs the work to its end and rethrows, on the calling thread, whatever it threw.
  virtual void Wait(const std::function<void()>& work) = 0;
};

// The waiter in use; before any is installed, one that runs the work in place.
TWaiter& CurrentWaiter();

// Installs `waiter` (nullptr goes back to running in place) and returns the one it
// replaces.
std::shared_ptr<TWaiter> SetWaiter(std::shared_ptr<TWaiter> waiter);

// Installs a waiter for the life of the object and puts the previous one back.
class TScopedWaiter {
 public:
  explicit TScopedWaiter(std::shared_ptr<TWaiter> waiter)
      : previous_(SetWaiter(std::move(waiter))) {}
  ~TScopedWaiter() { SetWaiter(std::move(previous_)); }
  TScopedWaiter(const TScopedWaiter&) = delete;
  TScopedWaiter& operator=(const TScopedWaiter&) = delete;

 private:
  std::shared_ptr<TWaiter> previous_;
};

// Runs the work through the current waiter.
inline void WaitFor(const std::function<void()>& work) { CurrentWaiter().Wait(work); }

// Runs a function that returns a value through the current waiter and returns its value.
template <class F>
auto WaitForResult(F&& function) -> std::invoke_result_t<F&> {
  using Result = std::invoke_result_t<F&>;
  if constexpr (std::is_void_v<Result>) {
    WaitFor(function);
  } else {
    std::optional<Result> result;
    WaitFor([&] { result.emplace(function()); });
    return std::move(*result);
  }
}

}  // namespace quorvil
