#pragma once

// Helpers for menus.

#include <QAction>
#include <QList>
#include <QMenu>

namespace quorvil {

// Sets the enabled state of every direct item of the menu (separators included), except
// the items in `exceptions`, which are left as they are. Items compare by identity.
void EnableMenuItems(QMenu& menu, bool enabled, const QList<QAction*>& exceptions = {});

}  // namespace quorvil
