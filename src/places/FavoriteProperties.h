#pragma once

// The favourite properties dialog: adds a favourite for the place shown, or edits and
// renames a stored one.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "imagery/ZoomLevels.h"
#include "places/DialogSupport.h"

namespace quorvil {

class TfrmFavoriteProperties : public QDialog {
 public:
  // Add mode shows the name, coordinates and level given. Edit mode shows the stored
  // favourite of the name (the other values are not used) and throws the store's
  // EQuorvilError when it cannot be read.
  TfrmFavoriteProperties(bool editMode, const std::string& name, TZoomLevel zoomLevel,
                         double longitude, double latitude, QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* edtName;
  QLabel* Label2;
  TCoordinateEdit* edtLongitude;
  QLabel* Label3;
  TCoordinateEdit* edtLatitude;
  QLabel* Label4;
  QComboBox* cbZoom;
  QPushButton* btnOk;
  QPushButton* Cancel;

 private:
  // Ok: stores the favourite and closes when the fields pass, shows the first broken
  // rule's message otherwise.
  void BitBtn1Click();
  std::string ValidationError() const;
  void Save();
  bool Renamed() const;

  bool editMode_;
  QString oldName_;
};

// Runs the dialog; true when it closed with Ok, the favourite then being stored. Edit
// mode throws the store's EQuorvilError, without opening, when the favourite cannot be
// read.
bool ShowFavoriteProperties(bool editMode, const std::string& name, TZoomLevel zoomLevel,
                            double longitude, double latitude);

}  // namespace quorvil
