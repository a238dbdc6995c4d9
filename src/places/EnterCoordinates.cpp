#include "places/EnterCoordinates.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "places/DialogSupport.h"
#include "platform/PromptSupport.h"

namespace quorvil {

std::string CoordinateEntryError(const QString& longitude, const QString& latitude) {
  if (longitude.isEmpty() || latitude.isEmpty()) return "All fields must be filled out.";
  double value = 0;
  if (!TryReadCoordinate(longitude, value)) {
    return "The Longitude entered is not a valid real number.";
  }
  if (value < -180 || value > 180) return "The Longitude must be between -180 and 180.";
  if (!TryReadCoordinate(latitude, value))
    return "The Latitude entered is not a valid real number.";
  if (value < -90 || value > 90) return "The Latitude must be between -90 and 90.";
  return {};
}

TfrmEnterCoordinates::TfrmEnterCoordinates(double longitude, double latitude, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags),
      Label2(new QLabel("Longitude:", this)),
      edtLongitude(new TCoordinateEdit(this)),
      Label3(new QLabel("Latitude:", this)),
      edtLatitude(new TCoordinateEdit(this)),
      btnOk(new QPushButton("Ok", this)),
      Cancel(new QPushButton("Cancel", this)) {
  edtLongitude->Fill(longitude);
  edtLatitude->Fill(latitude);
  setWindowTitle("Enter Coordinates");
  SetFixedDialogSize(*this, 198, 168);
  CenterOnScreen(*this);
  Label2->setBuddy(edtLongitude);
  Label3->setBuddy(edtLatitude);

  auto* fields = new QGridLayout;
  fields->addWidget(Label2, 0, 0);
  fields->addWidget(edtLongitude, 0, 1);
  fields->addWidget(Label3, 1, 0);
  fields->addWidget(edtLatitude, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addStretch();
  layout->addLayout(ButtonRow({btnOk, Cancel}));
  SetTabOrder({edtLongitude, edtLatitude, btnOk, Cancel});
  btnOk->setDefault(true);
  edtLongitude->setFocus();

  connect(btnOk, &QPushButton::clicked, this, &TfrmEnterCoordinates::BitBtn1Click);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

double TfrmEnterCoordinates::Longitude() const { return edtLongitude->Value(); }

double TfrmEnterCoordinates::Latitude() const { return edtLatitude->Value(); }

void TfrmEnterCoordinates::BitBtn1Click() {
  const std::string error = CoordinateEntryError(edtLongitude->text(), edtLatitude->text());
  if (!error.empty()) {
    ShowMessageBox(TPromptKind::pkWarning, "", error);
    return;
  }
  accept();
}

bool ShowEnterCoordinates(double& longitude, double& latitude) {
  TfrmEnterCoordinates form(longitude, latitude, QApplication::activeWindow());
  if (form.exec() != QDialog::Accepted) return false;
  longitude = form.Longitude();
  latitude = form.Latitude();
  return true;
}

}  // namespace quorvil
