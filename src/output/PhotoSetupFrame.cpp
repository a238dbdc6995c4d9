#include "output/PhotoSetupFrame.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QScopeGuard>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "imagery/AreaCheck.h"
#include "imagery/MosaicSupport.h"
#include "platform/Hourglass.h"
#include "platform/PromptSupport.h"
#include "service/TerraServiceSupport.h"
#include "settings/ListBoxSupport.h"

namespace quorvil {

namespace {

char DecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  return point.size() == 1 && point[0].unicode() < 128 ? static_cast<char>(point[0].unicode())
                                                       : '.';
}

}  // namespace

TframePhotoSetup::TframePhotoSetup(QWidget* parent) : QWidget(parent) {
  setObjectName("framePhotoSetup");
  Label4 = new QLabel("Photo Setup", this);
  Label4->setObjectName("Label4");
  QFont bold = Label4->font();
  bold.setBold(true);
  Label4->setFont(bold);
  Panel2 = new QFrame(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFrameShape(QFrame::HLine);
  Panel2->setFrameShadow(QFrame::Sunken);
  Panel2->setLineWidth(1);
  Panel2->setFixedHeight(3);
  Label1 = new QLabel("Zoom:", this);
  Label1->setObjectName("Label1");
  cbZoom = new QComboBox(this);
  cbZoom->setObjectName("cbZoom");
  cbZoom->setEditable(false);
  Label1->setBuddy(cbZoom);
  Label5 = new QLabel("Pixel Dimentions:", this);
  Label5->setObjectName("Label5");
  lblDimentions = new QLabel(this);
  lblDimentions->setObjectName("lblDimentions");
  Label2 = new QLabel("Download Size:", this);
  Label2->setObjectName("Label2");
  lblDownloadSize = new QLabel(this);
  lblDownloadSize->setObjectName("lblDownloadSize");

  auto* values = new QGridLayout;
  values->addWidget(Label1, 0, 0);
  values->addWidget(cbZoom, 0, 1);
  values->addWidget(Label5, 1, 0);
  values->addWidget(lblDimentions, 1, 1);
  values->addWidget(Label2, 2, 0);
  values->addWidget(lblDownloadSize, 2, 1);
  values->setColumnStretch(1, 1);
  values->setVerticalSpacing(12);
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(12, 12, 12, 12);
  page->addWidget(Label4);
  page->addWidget(Panel2);
  page->addSpacing(8);
  page->addLayout(values);
  page->addStretch(1);
}

TframePhotoSetup::~TframePhotoSetup() = default;

void TframePhotoSetup::SetupPhoto(const TSelectionRec& selection, TZoomLevel zoomLevel) {
  selection_ = selection;
  const QSignalBlocker quiet(cbZoom);
  cbZoom->clear();
  FillZoomLevelNames(*cbZoom);
  cbZoom->setCurrentIndex(std::clamp<int>(zoomLevel, kMinZoomLevel, kMaxZoomLevel) - kMinZoomLevel);
  // Connected once, after the first choice is made, so that filling the list asks nothing.
  disconnect(cbZoom, nullptr, this, nullptr);
  connect(cbZoom, &QComboBox::currentIndexChanged, this, &TframePhotoSetup::cbZoomChange);
  UpdatePhotoInfo();
}

void TframePhotoSetup::UpdatePhotoInfo() {
  const TScopedHourglass hourglass;
  // While the request waits the window repaints; the disabled list takes no new choice.
  busy_ = true;
  cbZoom->setEnabled(false);
  const auto idle = qScopeGuard([this] {
    busy_ = false;
    cbZoom->setEnabled(true);
  });
  area_.reset();
  // An answer that cannot be right for the selection is refused before it sizes anything.
  auto area = GetAreaForSelection(selection_, Theme::Photo, ScaleOfZoomLevel(ZoomLevel()));
  CheckSelectionArea(*area, selection_, ZoomLevel());
  area_ = std::move(area);
  lblDimentions->setText(QString::number(AreaPixelWidth(*area_)) + " x " +
                         QString::number(AreaPixelHeight(*area_)));
  lblDownloadSize->setText(QString::fromStdString(DownloadSizeText(*area_, DecimalSeparator())));
}

void TframePhotoSetup::cbZoomChange() {
  // A signal handler: errors end here, in the general error display (the silent abort
  // of a declined retry shows nothing).
  try {
    UpdatePhotoInfo();
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  }
}

bool TframePhotoSetup::ValidatePhotoSetup() {
  if (busy_) return false;
  if (!area_) cbZoomChange();
  return area_ != nullptr;
}

TZoomLevel TframePhotoSetup::ZoomLevel() const {
  return static_cast<TZoomLevel>(kMinZoomLevel + std::max(0, cbZoom->currentIndex()));
}

}  // namespace quorvil
