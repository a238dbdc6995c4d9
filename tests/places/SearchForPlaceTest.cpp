#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "places/SearchForPlace.h"
#include "platform/EventLoopWaiter.h"
#include "platform/ProgramError.h"
#include "service/TerraServiceSupport.h"
#include "support/FakeTerraService.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/SilentServer.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::DoubleClick;
using testing::OnNextModal;
using testing::TInstalledPrompter;
using testing::WaitUntil;

// The n-th answer's line: "Town 00", "town 01", "Town 02", ... so that only a sort
// without regard to case puts them in the order of their numbers.
QString TownLine(int n) {
  char name[32];
  std::snprintf(name, sizeof name, "%s %02d", n % 2 == 0 ? "Town" : "town", n);
  return QString(name) + ", State, USA";
}

// Answers the place list with `answers` towns, last one first.
class TPlaceListService : public testing::TFakeTerraService {
 public:
  int answers = 2;
  int lastMaxItems = -1;
  bool lastImagePresence = false;
  std::function<void()> onCall;  // runs when a call begins

  ArrayOfPlaceFacts GetPlaceList(const std::string& placeName, int maxItems,
                                 bool imagePresence) override {
    calls.push_back("GetPlaceList");
    lastPlaceName = placeName;
    lastMaxItems = maxItems;
    lastImagePresence = imagePresence;
    if (onCall) onCall();
    if (failures > 0) {
      --failures;
      throw EQuorvilError(failureMessage);
    }
    ArrayOfPlaceFacts list;
    for (int n = answers - 1; n >= 0; --n) {
      auto facts = std::make_unique<PlaceFacts>();
      const std::string city = TownLine(n).section(',', 0, 0).toStdString();
      facts->Place = std::make_unique<Place>(Place{city, "State", "USA"});
      facts->Center = std::make_unique<LonLatPt>(LonLatPt{-70.0 - n, 40.0 + n});
      list.push_back(std::move(facts));
    }
    return list;
  }
};

class SearchForPlace : public ::testing::Test {
 protected:
  void SetUp() override { InitializeTileService(service, "", temp / "Cache", 466, 10); }
  void TearDown() override { FinalizeTileService(); }

  // Shows the dialog as the active window, so that focus moves as a user sees it.
  void Show(TfrmSearchForPlace& form) {
    form.show();
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  }

  void Search(TfrmSearchForPlace& form, const QString& text) {
    form.edtSearchString->setText(text);
    QTest::mouseClick(form.btnBeginSearch, Qt::LeftButton);
  }

  static QStringList Lines(const TfrmSearchForPlace& form) {
    QStringList lines;
    for (int i = 0; i < form.lbResults->count(); ++i) lines << form.lbResults->item(i)->text();
    return lines;
  }

  testing::TTempFolder temp;
  std::shared_ptr<TPlaceListService> service = std::make_shared<TPlaceListService>();
};

TEST_F(SearchForPlace, OpensEmptyWithSearchNowAsDefaultAndOkDisabled) {
  TfrmSearchForPlace form;
  Show(form);
  EXPECT_EQ(form.windowTitle(), "Search For Place");
  EXPECT_EQ(form.Label1->text(), "Enter the name of a place to search for:");
  EXPECT_EQ(form.Label2->text(), "Results:   (Select place, then click Ok.)");
  EXPECT_EQ(form.btnOk->text(), "Ok");
  EXPECT_EQ(form.Cancel->text(), "Cancel");
  EXPECT_EQ(form.btnBeginSearch->text(), "Search Now");
  EXPECT_EQ(form.height(), 336);
  EXPECT_GE(form.width(), 362);  // wider only for a font in which a note line would not fit
  EXPECT_EQ(form.palette().color(QPalette::Window), QColor(202, 214, 227));
  EXPECT_EQ(QApplication::focusWidget(), form.edtSearchString);
  EXPECT_EQ(form.lbResults->count(), 0);
  EXPECT_FALSE(form.btnOk->isEnabled());
  EXPECT_TRUE(form.btnBeginSearch->isDefault());
  EXPECT_FALSE(form.btnOk->isDefault());
}

TEST_F(SearchForPlace, AnswersAreListedSortedWithoutCaseAndANoteWhenThereMayBeMore) {
  const struct {
    int answers;
    const char* note;  // the last line, or nullptr for none
  } cases[] = {
      {100, "<Over 100 results returned.> <Try narrowing search.>"},
      {99, nullptr},
      {1, nullptr},
      {0, "<Nothing Found>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answers);
    service->answers = c.answers;
    TfrmSearchForPlace form;
    Show(form);
    Search(form, "Town");
    QStringList expected;
    for (int n = 0; n < c.answers; ++n) expected << TownLine(n);
    if (c.note != nullptr) expected << c.note;
    EXPECT_EQ(Lines(form), expected);
    EXPECT_FALSE(form.lbResults->horizontalScrollBar()->isVisible());  // every line whole
    EXPECT_EQ(service->lastMaxItems, 100);
    EXPECT_TRUE(service->lastImagePresence);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    if (c.answers > 0) {
      // The first place is selected and Enter now chooses it.
      EXPECT_EQ(QApplication::focusWidget(), form.lbResults);
      EXPECT_EQ(form.lbResults->currentRow(), 0);
      EXPECT_TRUE(form.btnOk->isEnabled());
      EXPECT_TRUE(form.btnOk->isDefault());
      EXPECT_FALSE(form.btnBeginSearch->isDefault());
    } else {
      EXPECT_EQ(QApplication::focusWidget(), form.edtSearchString);
      EXPECT_FALSE(form.btnOk->isEnabled());
      EXPECT_TRUE(form.btnBeginSearch->isDefault());
    }
  }
}

TEST_F(SearchForPlace, NoteLinesCanNeverBeChosen) {
  service->answers = 100;
  TfrmSearchForPlace form;
  Show(form);
  Search(form, "Town");
  ASSERT_EQ(form.lbResults->count(), 101);
  QListWidgetItem* note = form.lbResults->item(100);
  form.lbResults->scrollToItem(note);
  const QPoint where = form.lbResults->visualItemRect(note).center();
  QTest::mouseClick(form.lbResults->viewport(), Qt::LeftButton, {}, where);
  ASSERT_EQ(form.lbResults->currentRow(), 100);
  EXPECT_FALSE(form.btnOk->isEnabled());
  DoubleClick(*form.lbResults, where);
  QTest::keyClick(form.lbResults, Qt::Key_Return);
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.SelectedCenter(), nullptr);
  // A place line chosen by a double-click closes the dialog with Ok.
  const QPoint place = form.lbResults->visualItemRect(form.lbResults->item(99)).center();
  form.lbResults->scrollToItem(form.lbResults->item(99));
  DoubleClick(*form.lbResults, place);
  EXPECT_EQ(form.result(), QDialog::Accepted);
  ASSERT_NE(form.SelectedCenter(), nullptr);
  EXPECT_DOUBLE_EQ(form.SelectedCenter()->Lon, -169);
}

TEST_F(SearchForPlace, ASecondSearchClearsTheFirstBeforeItsCallAndTheTextGoesAsTyped) {
  TfrmSearchForPlace form;
  Show(form);
  Search(form, "Town");
  ASSERT_EQ(form.lbResults->count(), 2);
  int linesDuringCall = -1;
  service->onCall = [&] { linesDuringCall = form.lbResults->count(); };
  service->answers = 1;
  Search(form, "");
  EXPECT_EQ(linesDuringCall, 0);
  EXPECT_EQ(service->lastPlaceName, "");
  EXPECT_EQ(Lines(form), QStringList{TownLine(0)});
  Search(form, "  New York ");
  EXPECT_EQ(service->lastPlaceName, "  New York ");
}

TEST_F(SearchForPlace, ADeclinedRetryLeavesTheDialogOpenAndEmpty) {
  TInstalledPrompter answers({TPromptAnswer::paNo});
  service->failures = 1;
  service->failureMessage = "Server unreachable";
  TfrmSearchForPlace form;
  Show(form);
  Search(form, "Boston");
  ASSERT_EQ(answers.Asked().size(), 1u);
  EXPECT_EQ(answers.Texts()[0], RetryPromptText("Server unreachable"));
  EXPECT_EQ(form.lbResults->count(), 0);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.btnOk->isEnabled());
  EXPECT_TRUE(form.btnBeginSearch->isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SearchForPlace, EnterSearchesThenChoosesTheFirstPlace) {
  service->answers = 3;
  OnNextModal([](QWidget* modal) {
    auto* form = dynamic_cast<TfrmSearchForPlace*>(modal);
    ASSERT_NE(form, nullptr);
    QApplication::setActiveWindow(form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    QTest::keyClicks(form->edtSearchString, "Boston");
    QTest::keyClick(form->edtSearchString, Qt::Key_Return);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  double latitude = -1;
  double longitude = -1;
  EXPECT_TRUE(ShowSearchForPlace(latitude, longitude));
  EXPECT_EQ(service->lastPlaceName, "Boston");
  EXPECT_DOUBLE_EQ(longitude, -70);
  EXPECT_DOUBLE_EQ(latitude, 40);
}

TEST_F(SearchForPlace, CancelAfterASearchReturnsNothing) {
  OnNextModal([](QWidget* modal) {
    auto* form = dynamic_cast<TfrmSearchForPlace*>(modal);
    ASSERT_NE(form, nullptr);
    form->edtSearchString->setText("Boston");
    form->btnBeginSearchClick();
    QTest::mouseClick(form->Cancel, Qt::LeftButton);
  });
  double latitude = -1;
  double longitude = -1;
  EXPECT_FALSE(ShowSearchForPlace(latitude, longitude));
  EXPECT_EQ(latitude, 0);
  EXPECT_EQ(longitude, 0);
}

TEST_F(SearchForPlace, CancelAnswersWhileTheServiceIsStillWorking) {
  testing::TSilentServer silent;
  InitializeTileService(silent.Url(), temp / "Cache", 466, 10);
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  TInstalledPrompter answers;
  TfrmSearchForPlace form;
  Show(form);
  form.edtSearchString->setText("Boston");
  bool searchNowRefused = false;
  bool hiddenWhileWaiting = false;
  // Once the call is surely on the wire.
  QTimer::singleShot(150, &form, [&] {
    searchNowRefused = !form.btnBeginSearch->isEnabled();
    QTest::mouseClick(form.Cancel, Qt::LeftButton);
    hiddenWhileWaiting = !form.isVisible();
  });
  form.btnBeginSearchClick();
  EXPECT_TRUE(searchNowRefused);
  EXPECT_TRUE(hiddenWhileWaiting);
  EXPECT_TRUE(answers.Asked().empty());  // aborted quietly, not timed out into the prompt
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_EQ(form.lbResults->count(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace quorvil
