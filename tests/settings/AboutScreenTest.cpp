#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <future>

#include "platform/ProgramError.h"
#include "settings/AboutScreen.h"
#include "support/QtTestSupport.h"

namespace quorvil {
namespace {

using testing::OnNextModal;

QString LabelText(QWidget* box, const char* name) {
  auto* label = box->findChild<QLabel*>(name);
  return label != nullptr ? label->text() : QString("<no %1>").arg(name);
}

QSize PictureSize(QWidget* box, const char* name) {
  auto* label = box->findChild<QLabel*>(name);
  return label != nullptr ? label->pixmap().size() : QSize();
}

TEST(AboutScreen, ShowsTheProductTheRunningProgramsVersionAndTheCredits) {
  bool shown = false;
  OnNextModal([&](QWidget* box) {
    shown = true;
    EXPECT_EQ(box->windowTitle(), "About...");
    EXPECT_EQ(box->size(), QSize(298, 376));  // 330 and the line of the imagery in use
    EXPECT_EQ(box->palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(LabelText(box, "lblProduct"), "Quorvil");
    EXPECT_TRUE(box->findChild<QLabel*>("lblProduct")->font().bold());
    // This test program carries the build's version stamp, as the program does.
    EXPECT_EQ(LabelText(box, "lblVersion"), "(Version: " QUORVIL_VERSION_TEXT ")");
    EXPECT_EQ(LabelText(box, "lblCredits"),
              "Credits: All data supplied to this program comes from the US Geological Survey "
              "through Microsoft TerraServer.");
    EXPECT_TRUE(LabelText(box, "lblGifCredit").contains("giflib"));
    EXPECT_EQ(PictureSize(box, "imgBanner"), QSize(298, 50));
    EXPECT_EQ(PictureSize(box, "imgStrip"), QSize(298, 20));
    EXPECT_EQ(PictureSize(box, "imgIcon"), QSize(32, 32));
    EXPECT_EQ(PictureSize(box, "imgSurveyLogo"), QSize(40, 40));
    EXPECT_EQ(PictureSize(box, "imgServerLogo"), QSize(40, 40));
    auto* ok = box->findChild<QPushButton*>("btnOk");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_TRUE(ok->isDefault());
    QTest::keyClick(box, Qt::Key_Return);  // the default button closes the box
    EXPECT_FALSE(box->isVisible());
  });
  ShowAbout();
  EXPECT_TRUE(shown);
}

// The credit of the imagery in use comes from a worker while the box is open.
TEST(AboutScreen, CreditsTheImageryInUseAsTheServiceTellsIt) {
  const struct {
    bool fails;
    QString shown;
  } rows[] = {{false, "Imagery in use: U.S. Geological Survey (Public domain)."},
              {true, "Imagery in use: the map service did not say."}};
  for (const auto& row : rows) {
    std::promise<void> answer;
    OnNextModal([&](QWidget* box) {
      EXPECT_EQ(LabelText(box, "lblDataSource"), "Imagery in use: asking the map service...");
      answer.set_value();
      EXPECT_TRUE(QTest::qWaitFor([&] { return LabelText(box, "lblDataSource") == row.shown; }))
          << LabelText(box, "lblDataSource").toStdString();
      QTest::keyClick(box, Qt::Key_Return);
    });
    ShowAbout([&, future = answer.get_future().share()]() -> std::string {
      future.wait();
      if (row.fails) throw EQuorvilError("Connection refused");
      return "U.S. Geological Survey (Public domain).";
    });
  }
}

}  // namespace
}  // namespace quorvil
