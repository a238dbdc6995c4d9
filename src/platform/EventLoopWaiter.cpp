#include "platform/EventLoopWaiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <atomic>
#include <exception>
#include <thread>

namespace quorvil {

namespace {

std::atomic<std::uint64_t> waitsBegun{0};
std::atomic<int> waitsRunning{0};

}  // namespace

std::uint64_t TEventLoopWaiter::WaitsBegun() { return waitsBegun.load(); }
int TEventLoopWaiter::WaitsRunning() { return waitsRunning.load(); }

void TEventLoopWaiter::Wait(const std::function<void()>& work) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr || QThread::currentThread() != application->thread()) {
    work();
    return;
  }
  waitsBegun.fetch_add(1);
  waitsRunning.fetch_add(1);
  struct TRunning {
    ~TRunning() { waitsRunning.fetch_sub(1); }
  } running;
  QEventLoop loop;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    // Queued, so the quit reaches the loop even when it has not started yet.
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace quorvil
