#include <gtest/gtest.h>

#include <QComboBox>
#include <QListWidget>
#include <QMenu>

#include "settings/ListBoxSupport.h"
#include "settings/MenuSupport.h"

namespace quorvil {
namespace {

struct TCountedRecord {
  explicit TCountedRecord(int& alive) : alive_(alive) { ++alive_; }
  ~TCountedRecord() { --alive_; }
  int& alive_;
};

TEST(ListBoxSupport, FreeingALineFreesTheRecordItCarriesAndRemovesNoteLines) {
  int alive = 0;
  QListWidget list;
  list.addItem(new TRecordListItem<TCountedRecord>("a", std::make_unique<TCountedRecord>(alive)));
  list.addItem("a note line");
  list.addItem(new TRecordListItem<TCountedRecord>("b", std::make_unique<TCountedRecord>(alive)));
  ASSERT_EQ(alive, 2);
  EXPECT_NE(ListItemRecord<TCountedRecord>(list.item(0)), nullptr);
  EXPECT_EQ(ListItemRecord<TCountedRecord>(list.item(1)), nullptr);
  EXPECT_EQ(ListItemRecord<TCountedRecord>(nullptr), nullptr);
  FreeListBoxObjects(list);
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(list.count(), 0);
}

TEST(ListBoxSupport, ZoomLevelNamesAreAppendedInOrder) {
  QComboBox list;
  list.addItem("kept");
  FillZoomLevelNames(list);
  const QStringList expected{"kept",     "1 Meter",   "2 Meters",  "4 Meters",
                             "8 Meters", "16 Meters", "32 Meters", "64 Meters"};
  ASSERT_EQ(list.count(), expected.size());
  for (int i = 0; i < list.count(); ++i) EXPECT_EQ(list.itemText(i), expected[i]);
}

TEST(MenuSupport, EveryItemButTheExceptionsFollowsTheValue) {
  QMenu menu;
  QAction* add = menu.addAction("Add to Favorites...");
  QAction* organize = menu.addAction("Organize Favorites...");
  QAction* separator = menu.addSeparator();
  QAction* favourite = menu.addAction("NY: Central Park");
  add->setEnabled(true);
  EnableMenuItems(menu, false, {add});
  EXPECT_TRUE(add->isEnabled());
  EXPECT_FALSE(organize->isEnabled());
  EXPECT_FALSE(separator->isEnabled());
  EXPECT_FALSE(favourite->isEnabled());
  add->setEnabled(false);
  EnableMenuItems(menu, true);
  EXPECT_TRUE(add->isEnabled());
  EXPECT_TRUE(favourite->isEnabled());
}

}  // namespace
}  // namespace quorvil
