#include "places/FavoritesMenu.h"

#include <vector>

#include "places/DialogSupport.h"
#include "places/FavoriteSupport.h"

namespace quorvil {

namespace {

// A lone "&" in an action's text marks an accelerator; doubled, it shows as typed.
QString MenuCaption(const QString& name) {
  QString caption = name;
  return caption.replace('&', QStringLiteral("&&"));
}

}  // namespace

void LoadFavoritesMenu(QMenu& menu, const TFavoriteClickHandler& onClick) {
  std::vector<std::string> stored;
  GetFavoriteNames(stored);
  QStringList names;
  for (const std::string& name : stored) names.append(QString::fromStdString(name));
  SortWithoutCase(names);
  ClearFavoritesMenu(menu);
  for (const QString& name : names) {
    QAction* item = menu.addAction(MenuCaption(name));
    item->setData(name);
    const std::string exactName = name.toStdString();
    QObject::connect(item, &QAction::triggered, &menu,
                     [onClick, exactName] { onClick(exactName); });
  }
}

void ClearFavoritesMenu(QMenu& menu) {
  while (menu.actions().size() > kFixedFavoritesItems) {
    QAction* item = menu.actions().last();
    menu.removeAction(item);
    // Later, not now: the item may be the one whose click is rebuilding the menu.
    if (item->parent() == &menu) item->deleteLater();
  }
}

std::string FavoriteItemName(const QAction& item) { return item.data().toString().toStdString(); }

}  // namespace quorvil
