#pragma once

// Helpers for tests of windows: waiting for a condition while events run, and
// answering a modal dialog that a command is about to open.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "platform/EventLoopWaiter.h"

namespace quorvil::testing {

// Processes events until the condition holds or the time is up; returns the condition.
inline bool WaitUntil(const std::function<bool()>& condition, int milliseconds = 5000) {
  QDeadlineTimer deadline(milliseconds);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Runs `answer` on the next modal window that opens (a dialog or a message box) once it
// is shown, from the event loop that the modal window runs itself. Gives up after the
// time given, so that a dialog that never opens fails the test instead of hanging it.
inline void OnNextModal(std::function<void(QWidget*)> answer, int milliseconds = 5000) {
  auto* timer = new QTimer;
  auto started = std::make_shared<QDeadlineTimer>(milliseconds);
  QWidget* before = QApplication::activeModalWidget();
  QObject::connect(timer, &QTimer::timeout, [timer, started, before, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != before && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      answer(modal);
    } else if (started->hasExpired()) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start(10);
}

// A double-click on a point of a list or other item view, as a user makes it: Qt Test's
// double-click alone sends no press first, and a view takes a double-click on a line
// it has not seen pressed for a single press.
inline void DoubleClick(QAbstractItemView& view, QPoint where) {
  QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, where);
  QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, where);
}

// What ends the waits of the program's waiter that the watchdog finds hanging (a test of
// service calls sets it to abort the transfers); nothing when unset.
inline std::function<void()>& WatchdogEndWaits() {
  static std::function<void()> end;
  return end;
}

// Keeps a fault from hanging a test program: a modal window or a local event loop (a
// wait of the program's waiter) still open after the limit fails the running test,
// naming what was open, and is ended; the windows a test leaves open are closed after
// it, so that the tests after it start clean.
class TTestWatchdog : public ::testing::EmptyTestEventListener {
 public:
  static constexpr int kLimitMs = 5000;

  TTestWatchdog() {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
    timer_.setInterval(100);
  }

  void OnTestStart(const ::testing::TestInfo&) override {
    modal_ = nullptr;
    wait_ = TEventLoopWaiter::WaitsBegun();
    waitSince_.start();
    timer_.start();
  }

  void OnTestEnd(const ::testing::TestInfo&) override {
    timer_.stop();
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window->isVisible()) window->close();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

 private:
  void Check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != modal_) {
      modal_ = modal;
      modalSince_.start();
    } else if (modal != nullptr && modalSince_.elapsed() > kLimitMs) {
      ADD_FAILURE() << "A modal window was still open after " << kLimitMs
                    << " ms: " << modal->metaObject()->className() << " \""
                    << modal->objectName().toStdString() << "\" titled \""
                    << modal->windowTitle().toStdString() << "\"";
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      // A dialog that refuses to close ends its modal loop when hidden.
      if (modal->isVisible()) modal->hide();
      modal_ = nullptr;
    }
    // The same wait of the program's waiter still running, without a modal window.
    const std::uint64_t wait = TEventLoopWaiter::WaitsBegun();
    if (modal != nullptr || TEventLoopWaiter::WaitsRunning() == 0 || wait != wait_) {
      wait_ = wait;
      waitSince_.start();
    } else if (waitSince_.elapsed() > kLimitMs) {
      ADD_FAILURE() << "A wait of the program's waiter was still running after " << kLimitMs
                    << " ms";
      if (WatchdogEndWaits()) WatchdogEndWaits()();
      waitSince_.start();
    }
  }

  QTimer timer_;
  QPointer<QWidget> modal_;
  QElapsedTimer modalSince_;
  QElapsedTimer waitSince_;
  std::uint64_t wait_ = 0;
};

}  // namespace quorvil::testing
