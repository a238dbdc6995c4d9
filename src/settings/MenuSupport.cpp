#include "settings/MenuSupport.h"

namespace quorvil {

void EnableMenuItems(QMenu& menu, bool enabled, const QList<QAction*>& exceptions) {
  for (QAction* item : menu.actions()) {
    if (!exceptions.contains(item)) item->setEnabled(enabled);
  }
}

}  // namespace quorvil
