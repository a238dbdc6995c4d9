#pragma once

// Helpers for tests of windows: waiting for a condition while events run, and
// answering a modal dialog that a command is about to open.

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

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

}  // namespace quorvil::testing
