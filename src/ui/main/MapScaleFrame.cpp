#include "ui/main/MapScaleFrame.h"

#include <QLabel>
#include <QPainter>

#include "ui/main/MapScaleSupport.h"

namespace quorvil {

namespace {

// The bar: a backward-diagonal hatch with a border, both sky blue.
class TScaleShape : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (width() <= 0) return;
    const QColor skyBlue(166, 202, 240);
    QPainter painter(this);
    painter.setPen(skyBlue);
    painter.setBrush(QBrush(skyBlue, Qt::BDiagPattern));
    painter.drawRect(0, 0, width() - 1, height() - 1);
  }
};

}  // namespace

TframeMapScale::TframeMapScale(QWidget* parent) : QWidget(parent) {
  setFixedSize(kMapScaleFrameWidth, 27);
  lblCaption = new QLabel(this);
  lblCaption->setObjectName("lblCaption");
  lblCaption->setGeometry(0, 0, kMapScaleFrameWidth, 15);
  QPalette white = lblCaption->palette();
  white.setColor(QPalette::WindowText, Qt::white);
  lblCaption->setPalette(white);
  shapeScale = new TScaleShape(this);
  shapeScale->setObjectName("shapeScale");
  shapeScale->setGeometry(0, 16, 0, 9);
  UpdateScale();
}

void TframeMapScale::SetScaleUnitOfMeasure(TScaleUnitOfMeasure value) {
  if (value == unit_) return;
  unit_ = value;
  UpdateScale();
}

void TframeMapScale::SetUnitsPerPixel(double value) {
  if (value == unitsPerPixel_) return;
  unitsPerPixel_ = value;
  UpdateScale();
}

void TframeMapScale::UpdateScale() {
  ++updates_;
  const TScaleLegend legend = ChooseScaleLegend(unit_, unitsPerPixel_, width());
  lblCaption->setText(QString::fromStdString(legend.Caption));
  shapeScale->resize(legend.BarWidth, shapeScale->height());
  shapeScale->update();
}

}  // namespace quorvil
