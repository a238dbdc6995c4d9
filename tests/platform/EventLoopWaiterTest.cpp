#include <gtest/gtest.h>

#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "platform/EventLoopWaiter.h"
#include "support/QtTestSupport.h"

namespace quorvil {
namespace {

using namespace std::chrono_literals;

TEST(EventLoopWaiter, EventsRunWhileTheWorkWaitsOffThisThread) {
  TEventLoopWaiter waiter;
  std::atomic<bool> timerFired{false};
  Qt::HANDLE workThread = nullptr;
  QTimer::singleShot(20, [&] { timerFired = true; });
  waiter.Wait([&] {
    workThread = QThread::currentThreadId();
    // The timer can only fire if the user-interface thread keeps handling events.
    for (int i = 0; i < 200 && !timerFired; ++i) std::this_thread::sleep_for(10ms);
  });
  EXPECT_TRUE(timerFired);
  EXPECT_NE(workThread, QThread::currentThreadId());
}

TEST(EventLoopWaiter, WhatTheWorkThrowsReachesTheCaller) {
  TEventLoopWaiter waiter;
  EXPECT_THROW(waiter.Wait([] { throw std::runtime_error("lost"); }), std::runtime_error);
}

TEST(EventLoopWaiter, NestedWaitsFromAWorkerRunInPlace) {
  TScopedWaiter installed(std::make_shared<TEventLoopWaiter>());
  Qt::HANDLE outer = nullptr;
  Qt::HANDLE inner = nullptr;
  const int value = WaitForResult([&] {
    outer = QThread::currentThreadId();
    return WaitForResult([&] {
      inner = QThread::currentThreadId();
      return 7;
    });
  });
  EXPECT_EQ(value, 7);
  EXPECT_EQ(outer, inner);
}

}  // namespace
}  // namespace quorvil
