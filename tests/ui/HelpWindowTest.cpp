#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <set>
#include <string>

#include "imagery/ResourceSupport.h"
#include "resources/EmbeddedResources.h"
#include "service/MemoryStream.h"
#include "support/QtTestSupport.h"
#include "ui/main/HelpWindow.h"

namespace quorvil {
namespace {

QTextBrowser* Browser() { return CurrentHelpWindow()->findChild<QTextBrowser*>("helpBrowser"); }

int OpenHelpWindows() {
  int count = 0;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->windowTitle() == "Quorvil Help" && w->isVisible()) ++count;
  }
  return count;
}

std::string PageText(const std::string& name) {
  TMemoryStream page;
  LoadResourceToStream(page, ProgramModule(), TResourceType{0, "HELP"}, name);
  return std::string(reinterpret_cast<const char*>(page.Data()), page.Size());
}

class HelpWindowTest : public ::testing::Test {
 protected:
  void TearDown() override {
    CloseHelp();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
};

TEST_F(HelpWindowTest, OpensOnTheContentsAndASecondShowRaisesTheSameWindow) {
  ASSERT_EQ(CurrentHelpWindow(), nullptr);
  ShowHelp();
  QWidget* first = CurrentHelpWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->windowTitle(), "Quorvil Help");
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(Browser()->source().fileName(), "index.html");
  EXPECT_TRUE(Browser()->toPlainText().contains("Getting started"));

  first->showMinimized();
  ShowHelp();
  EXPECT_EQ(CurrentHelpWindow(), first);
  EXPECT_FALSE(first->isMinimized());
  EXPECT_EQ(OpenHelpWindows(), 1);
}

TEST_F(HelpWindowTest, FollowsLinksAndStepsBack) {
  ShowHelp();
  QTextBrowser* browser = Browser();
  auto* back = CurrentHelpWindow()->findChild<QPushButton*>("btnBack");
  EXPECT_FALSE(back->isEnabled());

  // The keyboard way to a link: Tab selects the first one, Enter follows it.
  browser->setFocus();
  QTest::keyClick(browser, Qt::Key_Tab);
  QTest::keyClick(browser, Qt::Key_Return);
  EXPECT_EQ(browser->source().fileName(), "start.html");
  EXPECT_TRUE(browser->toPlainText().contains("Search For Place"));
  EXPECT_TRUE(back->isEnabled());

  QTest::keyClick(browser, Qt::Key_Left, Qt::AltModifier);
  EXPECT_EQ(browser->source().fileName(), "index.html");
  QTest::keyClick(browser, Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(browser->source().fileName(), "start.html");
  QTest::keyClick(browser, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(browser->source().fileName(), "index.html");
  browser->setSource(QUrl("tools.html"));
  QTest::mouseClick(CurrentHelpWindow()->findChild<QPushButton*>("btnContents"), Qt::LeftButton);
  EXPECT_EQ(browser->source().fileName(), "index.html");
}

TEST_F(HelpWindowTest, EveryLinkOfEveryPageLeadsToAPageOfTheManual) {
  std::set<std::string> pages;
  for (const TEmbeddedResource& r : EmbeddedResources()) {
    if (std::string(r.TypeName) == "HELP") pages.insert(r.Name);
  }
  ASSERT_GE(pages.size(), 10u);
  std::set<std::string> linked{"index.html"};
  const QRegularExpression href("href=\"([^\"]+)\"");
  for (const std::string& page : pages) {
    const QString html = QString::fromStdString(PageText(page));
    EXPECT_TRUE(html.contains("<title>")) << page;
    for (auto match = href.globalMatch(html); match.hasNext();) {
      const std::string target = match.next().captured(1).toStdString();
      EXPECT_TRUE(pages.count(target)) << page << " links to " << target;
      linked.insert(target);
    }
  }
  EXPECT_EQ(linked, pages) << "a page that no other page links to cannot be reached";
}

TEST_F(HelpWindowTest, TheCommandPageNamesEveryCommandWithItsShortcut) {
  const std::string commands = PageText("commands.html");
  const char* captions[] = {"Save As...",
                            "Print...",
                            "Exit",
                            "Copy",
                            "Select All",
                            "Preferences",
                            "Pan",
                            "Zoom Box",
                            "Select",
                            "Search For Place",
                            "Enter Coordinates",
                            "Back",
                            "Refresh",
                            "Stop",
                            "Add to Favorites...",
                            "Organize Favorites...",
                            "Help",
                            "About...",
                            "Ctrl+C",
                            "Ctrl+A",
                            "F3",
                            "Alt+Left",
                            "F5",
                            "Esc",
                            "F1"};
  for (const char* caption : captions) {
    EXPECT_NE(commands.find(std::string(">") + caption + "<"), std::string::npos) << caption;
  }
}

TEST_F(HelpWindowTest, CloseHelpClosesTheWindowAndIsHarmlessWithoutOne) {
  CloseHelp();
  ShowHelp();
  QPointer<QWidget> window = CurrentHelpWindow();
  CloseHelp();
  EXPECT_EQ(CurrentHelpWindow(), nullptr);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(window.isNull());

  // Closed by its own close box, it is gone too, and F1 opens a new one.
  ShowHelp();
  window = CurrentHelpWindow();
  window->close();
  EXPECT_EQ(CurrentHelpWindow(), nullptr);
  ShowHelp();
  EXPECT_NE(CurrentHelpWindow(), nullptr);
  EXPECT_EQ(OpenHelpWindows(), 1);
}

}  // namespace
}  // namespace quorvil
