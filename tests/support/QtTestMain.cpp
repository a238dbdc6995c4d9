// The entry of every window test program: GoogleTest under one QApplication, on the
// offscreen platform unless another is asked for, with the watchdog that fails a test
// whose modal window or wait does not end.

#include <gtest/gtest.h>

#include <QApplication>

#include "support/QtTestSupport.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new quorvil::testing::TTestWatchdog);
  return RUN_ALL_TESTS();
}
