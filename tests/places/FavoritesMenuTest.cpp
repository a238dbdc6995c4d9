#include <gtest/gtest.h>

#include <QMenu>
#include <string>
#include <vector>

#include "places/FavoriteSupport.h"
#include "places/FavoritesMenu.h"
#include "support/TempConfigHome.h"

namespace quorvil {
namespace {

class FavoritesMenu : public TempConfigHomeTest {
 protected:
  void SetUp() override {
    TempConfigHomeTest::SetUp();
    menu.addAction("Add to Favorites...");
    menu.addAction("Organize Favorites...");
    menu.addSeparator();
  }

  void Load() {
    LoadFavoritesMenu(menu, [this](const std::string& name) { chosen.push_back(name); });
  }

  // The names the favourite items stand for, in menu order.
  std::vector<std::string> Items() const {
    std::vector<std::string> names;
    const QList<QAction*> items = menu.actions();
    for (qsizetype i = kFixedFavoritesItems; i < items.size(); ++i) {
      names.push_back(FavoriteItemName(*items[i]));
    }
    return names;
  }

  QAction* Item(const std::string& name) const {
    for (QAction* item : menu.actions()) {
      if (FavoriteItemName(*item) == name) return item;
    }
    return nullptr;
  }

  QMenu menu;
  std::vector<std::string> chosen;
};

TEST_F(FavoritesMenu, FirstRunListsTheSamplesSortedAfterTheFixedItems) {
  CreateSampleFavorites(".");
  Load();
  EXPECT_EQ(Items(),
            (std::vector<std::string>{"NJ: Ellis Island", "NJ: Giants Stadium",
                                      "NJ: Newark International Airport", "NJ: Statue Of Liberty",
                                      "NY: Central Park", "NY: Yankee Stadium"}));
  EXPECT_EQ(menu.actions()[0]->text(), "Add to Favorites...");
  EXPECT_EQ(menu.actions()[1]->text(), "Organize Favorites...");
  EXPECT_TRUE(menu.actions()[2]->isSeparator());
  Item("NY: Central Park")->trigger();
  EXPECT_EQ(chosen, std::vector<std::string>{"NY: Central Park"});
}

TEST_F(FavoritesMenu, NamesSortWithoutRegardToCase) {
  for (const char* name : {"cherry", "Banana", "apple"}) WriteFavorite(name, 10, 0, 0, ".");
  Load();
  EXPECT_EQ(Items(), (std::vector<std::string>{"apple", "Banana", "cherry"}));
}

TEST_F(FavoritesMenu, AnAmpersandIsShownAsTypedAndOpensItsFavourite) {
  WriteFavorite("Fish & Chips", 13, -1.5, 51.5, ".");
  WriteFavorite("&Home", 10, 2, 3, ".");
  Load();
  ASSERT_EQ(Items(), (std::vector<std::string>{"&Home", "Fish & Chips"}));
  QAction* item = Item("Fish & Chips");
  // Doubled, the "&" is drawn as typed and takes no accelerator.
  EXPECT_EQ(item->text(), "Fish && Chips");
  EXPECT_EQ(Item("&Home")->text(), "&&Home");
  item->trigger();
  ASSERT_EQ(chosen, std::vector<std::string>{"Fish & Chips"});
  EXPECT_EQ(ReadFavorite(chosen[0], ".").ZoomLevel, 13);
}

TEST_F(FavoritesMenu, RebuildingReplacesOnlyTheFavouriteItems) {
  QAction* add = menu.actions()[0];
  WriteFavorite("One", 10, 0, 0, ".");
  WriteFavorite("Two", 10, 0, 0, ".");
  Load();
  Load();
  EXPECT_EQ(Items(), (std::vector<std::string>{"One", "Two"}));
  DeleteFavorite("One");
  DeleteFavorite("Two");
  Load();
  EXPECT_TRUE(Items().empty());
  ASSERT_EQ(menu.actions().size(), kFixedFavoritesItems);
  EXPECT_EQ(menu.actions()[0], add);
  ClearFavoritesMenu(menu);
  EXPECT_EQ(menu.actions().size(), kFixedFavoritesItems);
}

}  // namespace
}  // namespace quorvil
