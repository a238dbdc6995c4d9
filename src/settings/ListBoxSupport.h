#pragma once

// Helpers for list boxes and drop-down lists.

#include <QComboBox>
#include <QListWidget>
#include <QListWidgetItem>
#include <memory>

namespace quorvil {

// A list line that carries, and owns, the record it was made from. Lines without a
// record are plain QListWidgetItems.
template <class T>
class TRecordListItem : public QListWidgetItem {
 public:
  TRecordListItem(const QString& text, std::unique_ptr<T> record)
      : QListWidgetItem(text), record_(std::move(record)) {}
  T* Record() const { return record_.get(); }

 private:
  std::unique_ptr<T> record_;
};

// The record a line carries, or nullptr for a line without one (or without a line).
template <class T>
T* ListItemRecord(const QListWidgetItem* item) {
  const auto* line = dynamic_cast<const TRecordListItem<T>*>(item);
  return line != nullptr ? line->Record() : nullptr;
}

// Frees the record of every line that carries one, then removes all lines.
void FreeListBoxObjects(QListWidget& list);

// Appends the seven zoom level names, "1 Meter" to "64 Meters", in order.
void FillZoomLevelNames(QComboBox& list);

}  // namespace quorvil
