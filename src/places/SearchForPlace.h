#pragma once

// The place search dialog: the user finds a place by name through the map service's
// place list and picks one of the answers.

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "service/TerraServiceSoapSupport.h"

namespace quorvil {

// The most answers one search asks for; this many means there may be more.
inline constexpr int kMaxPlaceResults = 100;

class TfrmSearchForPlace : public QDialog {
 public:
  explicit TfrmSearchForPlace(QWidget* parent = nullptr);
  ~TfrmSearchForPlace() override;

  // "Search Now" (also Enter in the search text): replaces the results with the service's
  // answers for the text as typed, place lines sorted, a note line after them.
  void btnBeginSearchClick();

  // The centre of the selected place line; nullptr when no place line is selected.
  const LonLatPt* SelectedCenter() const;

  QLabel* Label1;
  QLineEdit* edtSearchString;
  QLabel* Label2;
  QListWidget* lbResults;
  QAction* actOk;
  QPushButton* btnOk;
  QPushButton* Cancel;
  QPushButton* btnBeginSearch;

  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void UpdateButtons();
  // The search text answers Enter with "Search Now" while it has the focus, the rest
  // of the dialog with "Ok".
  void SetDefaultButton(bool searchTextFocused);

  bool searching_ = false;
  bool closed_ = false;
};

// Runs the dialog. Returns true with the chosen place's centre when it was closed with
// Ok; otherwise false, and both coordinates are 0.
bool ShowSearchForPlace(double& latitude, double& longitude);

}  // namespace quorvil
