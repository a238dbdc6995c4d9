#include "places/FavoriteProperties.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <algorithm>

#include "places/DialogSupport.h"
#include "places/EnterCoordinates.h"
#include "places/FavoriteSupport.h"
#include "platform/PromptSupport.h"
#include "settings/ListBoxSupport.h"

namespace quorvil {

namespace {

const QString kBaseCaption = QStringLiteral("Favorite");

}  // namespace

TfrmFavoriteProperties::TfrmFavoriteProperties(bool editMode, const std::string& name,
                                               TZoomLevel zoomLevel, double longitude,
                                               double latitude, QWidget* parent)
    : QDialog(parent, kFixedDialogFlags),
      Label1(new QLabel("Name:", this)),
      edtName(new QLineEdit(this)),
      Label2(new QLabel("Longitude:", this)),
      edtLongitude(new TCoordinateEdit(this)),
      Label3(new QLabel("Latitude:", this)),
      edtLatitude(new TCoordinateEdit(this)),
      Label4(new QLabel("Zoom:", this)),
      cbZoom(new QComboBox(this)),
      btnOk(new QPushButton("Ok", this)),
      Cancel(new QPushButton("Cancel", this)),
      editMode_(editMode),
      oldName_(QString::fromStdString(name)) {
  FillZoomLevelNames(*cbZoom);
  if (editMode_) {
    setWindowTitle(kBaseCaption + " Properties");
    const TFavorite favorite = ReadFavorite(name, UserDecimalSeparator());
    longitude = favorite.Longitude;
    latitude = favorite.Latitude;
    zoomLevel = favorite.ZoomLevel;
  } else {
    setWindowTitle("Add " + kBaseCaption);
  }
  SetFixedDialogSize(*this, 228, 254);
  CenterOnScreen(*this);
  edtName->setText(oldName_);
  edtLongitude->Fill(longitude);
  edtLatitude->Fill(latitude);
  cbZoom->setCurrentIndex(std::clamp<int>(zoomLevel, kMinZoomLevel, kMaxZoomLevel) - kMinZoomLevel);

  const QList<std::pair<QLabel*, QWidget*>> fields = {
      {Label1, edtName}, {Label2, edtLongitude}, {Label3, edtLatitude}, {Label4, cbZoom}};
  auto* grid = new QGridLayout;
  for (int row = 0; row < fields.size(); ++row) {
    fields[row].first->setBuddy(fields[row].second);
    grid->addWidget(fields[row].first, row, 0);
    grid->addWidget(fields[row].second, row, 1);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addStretch();
  layout->addLayout(ButtonRow({btnOk, Cancel}));
  SetTabOrder({edtName, edtLongitude, edtLatitude, cbZoom, btnOk, Cancel});
  btnOk->setDefault(true);
  edtName->setFocus();

  connect(btnOk, &QPushButton::clicked, this, &TfrmFavoriteProperties::BitBtn1Click);
  connect(Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TfrmFavoriteProperties::Renamed() const { return edtName->text() != oldName_; }

std::string TfrmFavoriteProperties::ValidationError() const {
  if (edtName->text().isEmpty()) return "All fields must be filled out.";
  std::string error = CoordinateEntryError(edtLongitude->text(), edtLatitude->text());
  if (error.empty() && (!editMode_ || Renamed()) && FavoriteExists(edtName->text().toStdString())) {
    error = "A favorite with the same name already exists, please change the name.";
  }
  return error;
}

void TfrmFavoriteProperties::Save() {
  WriteFavorite(edtName->text().toStdString(),
                static_cast<TZoomLevel>(cbZoom->currentIndex() + kMinZoomLevel),
                edtLongitude->Value(), edtLatitude->Value(), UserDecimalSeparator());
  // Written before the old one goes, so that a failure never loses the favourite.
  if (editMode_ && Renamed()) DeleteFavorite(oldName_.toStdString());
}

void TfrmFavoriteProperties::BitBtn1Click() {
  ReportErrors([this] {
    const std::string error = ValidationError();
    if (!error.empty()) {
      ShowMessageBox(TPromptKind::pkWarning, "", error);
      return;
    }
    Save();
    accept();
  });
}

bool ShowFavoriteProperties(bool editMode, const std::string& name, TZoomLevel zoomLevel,
                            double longitude, double latitude) {
  TfrmFavoriteProperties form(editMode, name, zoomLevel, longitude, latitude,
                              QApplication::activeWindow());
  return form.exec() == QDialog::Accepted;
}

}  // namespace quorvil
