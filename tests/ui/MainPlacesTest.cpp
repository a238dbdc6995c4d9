// The main window's place commands: search, coordinates, the favourite items, adding and
// organising favourites.

#include <QMenu>
#include <QPlainTextEdit>

#include "places/EnterCoordinates.h"
#include "places/FavoriteProperties.h"
#include "places/FavoriteSupport.h"
#include "places/FavoritesMenu.h"
#include "places/OrganizeFavorites.h"
#include "places/SearchForPlace.h"
#include "support/QtTestSupport.h"
#include "ui/MainWindowFixture.h"

namespace quorvil::testing {
namespace {

using MainPlacesTest = MainWindowTest;

QAction* FavoriteItem(const QMenu& menu, const std::string& name) {
  for (QAction* item : menu.actions()) {
    if (!item->isSeparator() && FavoriteItemName(*item) == name) return item;
  }
  return nullptr;
}

template <class Form>
Form* Modal(QWidget* modal) {
  auto* form = dynamic_cast<Form*>(modal);
  EXPECT_NE(form, nullptr);
  return form;
}

TEST_F(MainPlacesTest, AFavouriteItemShowsItsPlaceAtItsLevel) {
  QAction* park = FavoriteItem(*window->miFavorites, "NY: Central Park");
  ASSERT_NE(park, nullptr);
  park->trigger();
  EXPECT_TRUE(window->Loaded());
  EXPECT_DOUBLE_EQ(window->CenterLongitude(), -73.965);
  EXPECT_DOUBLE_EQ(window->CenterLatitude(), 40.784);
  EXPECT_EQ(window->ZoomLevel(), 12);
  EXPECT_EQ(MetersPerPixel(static_cast<TZoomLevel>(window->ZoomLevel())), 4);
  EXPECT_EQ(service->CallCount("GetAreaFromPt"), 2);  // photograph and map
}

TEST_F(MainPlacesTest, AVanishedFavouriteIsReportedAndTheViewStays) {
  Load();
  DeleteFavorite("NY: Yankee Stadium");
  FavoriteItem(*window->miFavorites, "NY: Yankee Stadium")->trigger();
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Text,
            "The favorite: NY: Yankee Stadium does not exist in the registry.");
  EXPECT_DOUBLE_EQ(window->CenterLongitude(), -74.06);
}

TEST_F(MainPlacesTest, SearchAndCoordinatesMoveTheViewAtTheSameLevel) {
  window->SetZoomLevel(13);
  OnNextModal([](QWidget* modal) {
    auto* form = Modal<TfrmSearchForPlace>(modal);
    form->edtSearchString->setText("Boston");
    form->btnBeginSearchClick();
    form->actOk->trigger();
  });
  window->actSearchForPlace->trigger();
  EXPECT_EQ(service->lastPlaceName, "Boston");
  EXPECT_DOUBLE_EQ(window->CenterLongitude(), -73);
  EXPECT_DOUBLE_EQ(window->CenterLatitude(), 40);
  EXPECT_EQ(window->ZoomLevel(), 13);
  ASSERT_TRUE(window->Loaded());

  OnNextModal([](QWidget* modal) {
    auto* form = Modal<TfrmEnterCoordinates>(modal);
    EXPECT_EQ(form->edtLongitude->text(), "-73");
    form->edtLongitude->setText("-122.41942");
    form->btnOk->click();
  });
  window->actEnterCoordinates->trigger();
  EXPECT_DOUBLE_EQ(window->CenterLongitude(), -122.41942);
  EXPECT_DOUBLE_EQ(window->CenterLatitude(), 40);
  EXPECT_EQ(window->ZoomLevel(), 13);
}

TEST_F(MainPlacesTest, AddingAndOrganisingRebuildTheFavouriteItems) {
  Load();
  const std::string place = window->memPlace->toPlainText().toStdString();
  OnNextModal([](QWidget* modal) { Modal<TfrmFavoriteProperties>(modal)->btnOk->click(); });
  window->actAddToFavorites->trigger();
  ASSERT_NE(FavoriteItem(*window->miFavorites, place), nullptr);
  EXPECT_EQ(ReadFavorite(place, ".").ZoomLevel, window->ZoomLevel());

  prompter->asked.clear();
  auto yes = std::make_shared<TScriptedPrompter>(std::deque<TPromptAnswer>{TPromptAnswer::paYes});
  TScopedPrompter answers(yes);
  OnNextModal([](QWidget* modal) {
    auto* form = Modal<TfrmOrganizeFavorites>(modal);
    form->actDelete->trigger();  // the first line, "NJ: Ellis Island"
    form->Button3->click();
  });
  window->actOrganizeFavorites->trigger();
  EXPECT_EQ(FavoriteItem(*window->miFavorites, "NJ: Ellis Island"), nullptr);
  EXPECT_EQ(window->miFavorites->actions().size(), 3 + 6);
}

}  // namespace
}  // namespace quorvil::testing
