#pragma once

// The coordinate entry dialog: the user types a longitude and a latitude.

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <string>

#include "places/DialogSupport.h"

namespace quorvil {

// The message of the first rule the two texts break, or "" when they pass: both filled
// in, the longitude a number from -180 to 180, the latitude a number from -90 to 90.
// The favourite properties dialog checks its coordinates with the same rules.
std::string CoordinateEntryError(const QString& longitude, const QString& latitude);

class TfrmEnterCoordinates : public QDialog {
 public:
  // Pre-fills the edits with the values in the "%.5g" format; an edit left as it was
  // gives its exact value back.
  TfrmEnterCoordinates(double longitude, double latitude, QWidget* parent = nullptr);

  // The values of the edits (TCoordinateEdit::Value); valid once the dialog was accepted.
  double Longitude() const;
  double Latitude() const;

  QLabel* Label2;
  TCoordinateEdit* edtLongitude;
  QLabel* Label3;
  TCoordinateEdit* edtLatitude;
  QPushButton* btnOk;
  QPushButton* Cancel;

 private:
  // Ok: closes with the Ok result when the texts pass, shows the first broken rule's
  // message otherwise.
  void BitBtn1Click();
};

// Shows the dialog pre-filled with the values; on Ok replaces them with the typed ones
// and returns true, on Cancel leaves them alone and returns false.
bool ShowEnterCoordinates(double& longitude, double& latitude);

}  // namespace quorvil
