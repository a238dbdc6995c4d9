#pragma once

// The favourite items of the Favorites menu: after its three fixed items ("Add to
// Favorites...", "Organize Favorites..." and a separator), one item per favourite.

#include <QAction>
#include <QMenu>
#include <functional>
#include <string>

namespace quorvil {

// The menu's fixed items, which rebuilding never touches.
inline constexpr int kFixedFavoritesItems = 3;

// Receives the exact name of the chosen favourite.
using TFavoriteClickHandler = std::function<void(const std::string& name)>;

// Rebuilds the favourite items: one per stored favourite, sorted alphabetically without
// regard to case in the user's locale. Each item shows the name exactly as stored ("&"
// included, never taken as an accelerator) and hands it to the handler when clicked.
void LoadFavoritesMenu(QMenu& menu, const TFavoriteClickHandler& onClick);

// Removes items from the end while the menu has more than the fixed ones.
void ClearFavoritesMenu(QMenu& menu);

// The favourite's name that a favourite item stands for.
std::string FavoriteItemName(const QAction& item);

}  // namespace quorvil
