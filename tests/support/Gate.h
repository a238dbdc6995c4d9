#pragma once

// A gate that holds threads until the test opens it, and counts those that came to it:
// how a test keeps a download on the wire for as long as it needs.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace quorvil::testing {

class TGate {
 public:
  // Counts the caller in and waits until the gate is open.
  void Pass() {
    std::unique_lock lock(mutex_);
    ++arrived_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return open_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  // Waits until `count` callers have come to the gate; false after ten seconds.
  bool WaitForArrivals(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return arrived_ >= count; });
  }
  int Arrived() {
    std::lock_guard lock(mutex_);
    return arrived_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int arrived_ = 0;
  bool open_ = false;
};

}  // namespace quorvil::testing
