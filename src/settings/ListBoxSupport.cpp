#include "settings/ListBoxSupport.h"

#include "imagery/ZoomLevels.h"

namespace quorvil {

void FreeListBoxObjects(QListWidget& list) {
  // Each line owns its record, so deleting the lines frees the records with them.
  list.clear();
}

void FillZoomLevelNames(QComboBox& list) {
  for (const std::string_view name : kZoomLevelNames) {
    list.addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
  }
}

}  // namespace quorvil
