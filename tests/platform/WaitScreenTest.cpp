#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <stdexcept>

#include "platform/WaitScreen.h"

namespace quorvil {
namespace {

int WaitScreens() {
  int count = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == "frmWaitScreen") ++count;
  }
  return count;
}

QLabel* Message() { return CurrentWaitScreen()->findChild<QLabel*>("lblWaitMessage"); }

class WaitScreenTest : public ::testing::Test {
 protected:
  void TearDown() override { HideWaitScreen(); }
};

TEST_F(WaitScreenTest, OneScreenWithTheNewestTextCentredInItsPanel) {
  ShowWaitScreen("Saving Image.\r\rPlease Wait...");
  QWidget* first = CurrentWaitScreen();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->size(), QSize(312, 97));
  EXPECT_TRUE(first->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_TRUE(first->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(Message()->text(), "Saving Image.\n\nPlease Wait...");

  ShowWaitScreen("Sending Image to Printer.\r\rPlease Wait...");
  EXPECT_EQ(CurrentWaitScreen(), first);
  EXPECT_EQ(WaitScreens(), 1);
  QLabel* label = Message();
  EXPECT_EQ(label->text(), "Sending Image to Printer.\n\nPlease Wait...");
  const QWidget* panel = label->parentWidget();
  EXPECT_EQ(panel->size(), QSize(297, 81));
  EXPECT_EQ(label->size(), label->sizeHint()) << "the label sizes itself to the text";
  EXPECT_EQ(label->x(), (panel->width() - label->width()) / 2);
  EXPECT_EQ(label->y(), (panel->height() - label->height()) / 2);
}

TEST_F(WaitScreenTest, HiddenByTheScopeAlsoWhenTheWorkFails) {
  QPointer<QWidget> shown;
  EXPECT_THROW(
      {
        TScopedWaitScreen wait("Saving Image.\r\rPlease Wait...");
        shown = CurrentWaitScreen();
        throw std::runtime_error("disk full");
      },
      std::runtime_error);
  EXPECT_TRUE(shown.isNull());
  EXPECT_EQ(CurrentWaitScreen(), nullptr);
  EXPECT_EQ(WaitScreens(), 0);
  HideWaitScreen();  // harmless without one
}

TEST_F(WaitScreenTest, ClosingItThroughTheSystemDestroysIt) {
  ShowWaitScreen("Please Wait...");
  QPointer<QWidget> shown = CurrentWaitScreen();
  shown->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(shown.isNull());
  EXPECT_EQ(CurrentWaitScreen(), nullptr);
  ShowWaitScreen("Again");
  EXPECT_NE(CurrentWaitScreen(), nullptr);
}

}  // namespace
}  // namespace quorvil
