#include "platform/WaitSupport.h"

namespace quorvil {

namespace {

class TInPlaceWaiter : public TWaiter {
 public:
  void Wait(const std::function<void()>& work) override { work(); }
};

std::shared_ptr<TWaiter>& Installed() {
  static std::shared_ptr<TWaiter> waiter;
  return waiter;
}

}  // namespace

TWaiter& CurrentWaiter() {
  static TInPlaceWaiter inPlace;
  auto& installed = Installed();
  return installed ? *installed : inPlace;
}

std::shared_ptr<TWaiter> SetWaiter(std::shared_ptr<TWaiter> waiter) {
  auto previous = std::move(Installed());
  Installed() = std::move(waiter);
  return previous;
}

}  // namespace quorvil
