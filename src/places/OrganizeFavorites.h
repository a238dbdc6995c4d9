#pragma once

// The organise dialog: lists every favourite for deleting and editing.

#include <QAction>
#include <QDialog>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

namespace quorvil {

class TfrmOrganizeFavorites : public QDialog {
 public:
  explicit TfrmOrganizeFavorites(QWidget* parent = nullptr);

  // Fills the list with every favourite's name, sorted without regard to case, and
  // selects the first.
  void Refill();

  QListWidget* ListBox1;
  QAction* actDelete;
  QAction* actProperties;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QMenu* PopupMenu1;

 protected:
  // In the list: Delete deletes, F2 and Enter open the properties.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void UpdateActions();
  QString SelectedName() const;
  // Asks first; on Yes deletes the selected favourite and refills.
  void actDeleteExecute();
  // Edits the selected favourite; refills when it was saved.
  void actPropertiesExecute();
};

void ShowOrganizeFavorites();

}  // namespace quorvil
