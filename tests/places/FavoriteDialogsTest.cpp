#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <string>
#include <vector>

#include "places/FavoriteProperties.h"
#include "places/FavoriteSupport.h"
#include "places/OrganizeFavorites.h"
#include "platform/ProgramError.h"
#include "settings/RegistrySupport.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/TempConfigHome.h"

namespace quorvil {
namespace {

using testing::OnNextModal;
using testing::TInstalledPrompter;

constexpr const char* kDuplicate =
    "A favorite with the same name already exists, please change the name.";

std::vector<std::string> StoredNames() {
  std::vector<std::string> names;
  GetFavoriteNames(names);
  return names;
}

// Fills the open properties dialog and presses one of its buttons.
void Fill(QWidget* modal, const char* name, const char* longitude, const char* latitude,
          int zoomIndex, bool ok = true) {
  auto* form = dynamic_cast<TfrmFavoriteProperties*>(modal);
  ASSERT_NE(form, nullptr);
  if (name != nullptr) form->edtName->setText(name);
  if (longitude != nullptr) form->edtLongitude->setText(longitude);
  if (latitude != nullptr) form->edtLatitude->setText(latitude);
  if (zoomIndex >= 0) form->cbZoom->setCurrentIndex(zoomIndex);
  QTest::mouseClick(ok ? form->btnOk : form->Cancel, Qt::LeftButton);
  // A refused Ok leaves the dialog open; close it so that the test goes on.
  if (form->isVisible()) form->reject();
}

class FavoriteDialogs : public TempConfigHomeTest {
 protected:
  void SetUp() override {
    TempConfigHomeTest::SetUp();
    CreateSampleFavorites(".");
  }
};

TEST_F(FavoriteDialogs, AddModeShowsTheGivenPlaceRoundedAndStoresItExactlyUnlessEdited) {
  TInstalledPrompter answers;
  OnNextModal([](QWidget* modal) {
    auto* form = dynamic_cast<TfrmFavoriteProperties*>(modal);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle(), "Add Favorite");
    EXPECT_EQ(form->edtName->text(), "Boston, MA");
    EXPECT_EQ(form->edtLongitude->text(), "-71.06");
    EXPECT_EQ(form->edtLatitude->text(), "42.358");
    EXPECT_EQ(form->cbZoom->currentText(), "8 Meters");
    EXPECT_EQ(form->cbZoom->count(), 7);
    EXPECT_EQ(form->size(), QSize(std::max(228, CaptionWidth(*form)), 254));
    form->edtLatitude->setText("42.36");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
  });
  EXPECT_TRUE(ShowFavoriteProperties(false, "Boston, MA", 13, -71.0598, 42.35843));
  EXPECT_TRUE(answers.Asked().empty());
  EXPECT_EQ(ReadRegistryString(kFavoritesKey, "Boston, MA", ""),
            "Longitude=-71.0598|Latitude=42.36|Zoom=3");
}

TEST_F(FavoriteDialogs, OkIsRefusedWithTheFirstBrokenRule) {
  const struct {
    const char* name;
    const char* longitude;
    const char* latitude;
    const char* message;
  } cases[] = {
      {"", "abc", "1", "All fields must be filled out."},
      {"Somewhere", "", "1", "All fields must be filled out."},
      {"Somewhere", "abc", "", "All fields must be filled out."},
      {"Somewhere", "abc", "1", "The Longitude entered is not a valid real number."},
      {"NY: Central Park", "181", "1", "The Longitude must be between -180 and 180."},
      {"Somewhere", "1", "x", "The Latitude entered is not a valid real number."},
      {"Somewhere", "1", "-90.5", "The Latitude must be between -90 and 90."},
      {"ny: central park", "1", "2", kDuplicate},
      {"NY: Central Park", "1", "2", kDuplicate},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + std::string(" ") + c.longitude + " " + c.latitude);
    TInstalledPrompter answers;
    OnNextModal([&](QWidget* modal) { Fill(modal, c.name, c.longitude, c.latitude, 0); });
    EXPECT_FALSE(ShowFavoriteProperties(false, "Proposed", 10, 0, 0));
    ASSERT_EQ(answers.Asked().size(), 1u);
    EXPECT_EQ(answers.Asked()[0].Kind, TPromptKind::pkWarning);
    EXPECT_EQ(answers.Texts()[0], c.message);
    EXPECT_EQ(StoredNames().size(), kSampleBookmarks.size());
    EXPECT_EQ(ReadFavorite("NY: Central Park", ".").ZoomLevel, 12);
  }
}

TEST_F(FavoriteDialogs, EditModeShowsTheStoredFavourite) {
  TfrmFavoriteProperties form(true, "NY: Central Park", 10, 0, 0);
  EXPECT_EQ(form.windowTitle(), "Favorite Properties");
  EXPECT_EQ(form.edtName->text(), "NY: Central Park");
  EXPECT_EQ(form.edtLongitude->text(), "-73.965");
  EXPECT_EQ(form.edtLatitude->text(), "40.784");
  EXPECT_EQ(form.cbZoom->currentText(), "4 Meters");
  EXPECT_EQ(form.Label1->text(), "Name:");
  EXPECT_EQ(form.Label4->text(), "Zoom:");
}

TEST_F(FavoriteDialogs, EditsOverwriteInPlaceOrRenameButNeverOnlyInCase) {
  const struct {
    const char* newName;
    bool saved;
    std::vector<std::string> names;  // the Central Park entry's place among them
  } cases[] = {
      {"NY: Central Park", true, {"NY: Central Park"}},
      {"NY: CENTRAL PARK", false, {"NY: Central Park"}},
      {"Central Park", true, {"Central Park"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.newName);
    for (const std::string& name : StoredNames()) DeleteFavorite(name);
    WriteFavorite("NY: Central Park", 12, -73.965, 40.784, ".");
    TInstalledPrompter answers;
    OnNextModal([&](QWidget* modal) { Fill(modal, c.newName, "-73.9", "40.8", 6); });
    EXPECT_EQ(ShowFavoriteProperties(true, "NY: Central Park", 10, 0, 0), c.saved);
    EXPECT_EQ(StoredNames(), c.names);
    const TFavorite favorite = ReadFavorite(c.names[0], ".");
    EXPECT_EQ(favorite.ZoomLevel, c.saved ? 16 : 12);
    EXPECT_DOUBLE_EQ(favorite.Longitude, c.saved ? -73.9 : -73.965);
    EXPECT_EQ(answers.Texts(),
              c.saved ? std::vector<std::string>{} : std::vector<std::string>{kDuplicate});
  }
}

TEST_F(FavoriteDialogs, CancelStoresNothing) {
  OnNextModal([](QWidget* modal) { Fill(modal, "New name", "1", "2", 3, false); });
  EXPECT_FALSE(ShowFavoriteProperties(true, "NY: Central Park", 10, 0, 0));
  EXPECT_FALSE(FavoriteExists("New name"));
  EXPECT_EQ(ReadRegistryString(kFavoritesKey, "NY: Central Park", ""),
            "Longitude=-73.965|Latitude=40.784|Zoom=2");
}

TEST_F(FavoriteDialogs, AVanishedFavouriteIsReportedAndNotOpened) {
  TInstalledPrompter answers;
  TfrmOrganizeFavorites form;
  DeleteFavorite("NY: Yankee Stadium");  // by another copy of the program, meanwhile
  form.ListBox1->setCurrentRow(form.ListBox1->count() - 1);
  ASSERT_EQ(form.ListBox1->currentItem()->text(), "NY: Yankee Stadium");
  form.actProperties->trigger();  // no dialog opens, so nothing waits for one
  EXPECT_EQ(
      answers.Texts(),
      std::vector<std::string>{"The favorite: NY: Yankee Stadium does not exist in the registry."});
  EXPECT_EQ(answers.Asked()[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(answers.Asked()[0].Title, "Quorvil");
}

TEST_F(FavoriteDialogs, OrganizeListsSortedNamesWithTheFirstSelected) {
  TfrmOrganizeFavorites form;
  EXPECT_EQ(form.windowTitle(), "Organize Favorites");
  EXPECT_EQ(form.Button1->text(), "Delete");
  EXPECT_EQ(form.Button2->text(), "Properties");
  EXPECT_EQ(form.Button3->text(), "Close");
  ASSERT_EQ(form.ListBox1->count(), 6);
  EXPECT_EQ(form.ListBox1->item(0)->text(), "NJ: Ellis Island");
  EXPECT_EQ(form.ListBox1->item(5)->text(), "NY: Yankee Stadium");
  EXPECT_TRUE(form.ListBox1->item(0)->isSelected());
  EXPECT_TRUE(form.Button1->isEnabled());
  EXPECT_TRUE(form.Button2->isEnabled());
  EXPECT_EQ(form.PopupMenu1->defaultAction(), form.actProperties);
  EXPECT_EQ(form.PopupMenu1->actions(), (QList<QAction*>{form.actProperties, form.actDelete}));
  form.ListBox1->clearSelection();
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_FALSE(form.Button2->isEnabled());
}

TEST_F(FavoriteDialogs, DeleteAsksFirstAndTheLastDeletionLeavesTheSamplesGone) {
  TfrmOrganizeFavorites form;
  {
    TInstalledPrompter answers({TPromptAnswer::paNo, TPromptAnswer::paNo});
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    QTest::keyClick(form.ListBox1, Qt::Key_Delete);  // the key asks the same
    EXPECT_EQ(answers.Texts(),
              std::vector<std::string>(2, "Are you sure you want to delete this favorite?"));
    EXPECT_EQ(answers.Asked()[0].Kind, TPromptKind::pkConfirmation);
    EXPECT_EQ(answers.Asked()[0].Buttons, TPromptButtons::pbYesNo);
    EXPECT_EQ(form.ListBox1->count(), 6);
  }
  TInstalledPrompter answers(std::deque<TPromptAnswer>(6, TPromptAnswer::paYes));
  form.ListBox1->setCurrentRow(4);
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  EXPECT_FALSE(FavoriteExists("NY: Central Park"));
  EXPECT_EQ(form.ListBox1->currentRow(), 0);
  while (form.ListBox1->count() > 0 && form.actDelete->isEnabled()) form.actDelete->trigger();
  EXPECT_EQ(form.ListBox1->count(), 0);
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_FALSE(form.Button2->isEnabled());
  CreateSampleFavorites(".");  // the next start
  EXPECT_TRUE(StoredNames().empty());
  TfrmOrganizeFavorites next;
  EXPECT_EQ(next.ListBox1->count(), 0);
  EXPECT_FALSE(next.actDelete->isEnabled());
  EXPECT_FALSE(next.actProperties->isEnabled());
}

TEST_F(FavoriteDialogs, PropertiesFromADoubleClickRefillsOnlyAfterOk) {
  TfrmOrganizeFavorites form;
  form.show();
  QListWidgetItem* park = form.ListBox1->item(4);
  ASSERT_EQ(park->text(), "NY: Central Park");
  const QPoint where = form.ListBox1->visualItemRect(park).center();
  OnNextModal([](QWidget* modal) { Fill(modal, "AA: Central Park", nullptr, nullptr, -1); });
  testing::DoubleClick(*form.ListBox1, where);
  ASSERT_EQ(form.ListBox1->item(0)->text(), "AA: Central Park");
  EXPECT_EQ(form.ListBox1->currentRow(), 0);
  EXPECT_FALSE(FavoriteExists("NY: Central Park"));

  form.ListBox1->setCurrentRow(3);
  OnNextModal([](QWidget* modal) { Fill(modal, "ZZ", nullptr, nullptr, -1, false); });
  form.actProperties->trigger();
  EXPECT_EQ(form.ListBox1->currentRow(), 3);  // not refilled
  EXPECT_FALSE(FavoriteExists("ZZ"));

  // F2 and Enter in the list open the properties too.
  for (const Qt::Key key : {Qt::Key_F2, Qt::Key_Return}) {
    const QString name = QString("A%1").arg(static_cast<int>(key));
    OnNextModal(
        [&](QWidget* modal) { Fill(modal, name.toUtf8().constData(), nullptr, nullptr, -1); });
    QTest::keyClick(form.ListBox1, key);
    EXPECT_TRUE(FavoriteExists(name.toStdString()));
  }
}

}  // namespace
}  // namespace quorvil
