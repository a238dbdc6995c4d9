#include "ui/main/SliderFrame.h"

#include <QLabel>
#include <QToolButton>

#include "ui/main/exTrackBar.h"

namespace quorvil {

TframeSlider::TframeSlider(QWidget* parent) : QWidget(parent) {
  setFixedSize(156, 58);
  lblCaption = new QLabel(this);
  lblCaption->setObjectName("lblCaption");
  lblCaption->setAlignment(Qt::AlignCenter);
  lblCaption->setGeometry(28, 6, 100, 16);
  btnLess = new QToolButton(this);
  btnLess->setObjectName("btnLess");
  btnLess->setAutoRaise(true);
  btnLess->setArrowType(Qt::LeftArrow);
  btnLess->setGeometry(2, 3, 23, 22);
  btnMore = new QToolButton(this);
  btnMore->setObjectName("btnMore");
  btnMore->setAutoRaise(true);
  btnMore->setArrowType(Qt::RightArrow);
  btnMore->setGeometry(131, 3, 23, 22);
  trkSlider = new TexTrackBar(this);
  trkSlider->setObjectName("trkSlider");
  trkSlider->setTickPosition(QSlider::TicksBelow);
  trkSlider->setGeometry(3, 27, 150, 29);

  connect(trkSlider, &QSlider::valueChanged, this, &TframeSlider::PositionChanged);
  connect(btnMore, &QToolButton::clicked, this, [this] {
    btnMoreClick();
    emit ButtonClicked();
  });
  connect(btnLess, &QToolButton::clicked, this, [this] {
    btnLessClick();
    emit ButtonClicked();
  });
}

void TframeSlider::Setup(int minimum, int maximum, int pageSize, int tickSpacing, int position) {
  trkSlider->setRange(minimum, maximum);
  trkSlider->setPageStep(pageSize);
  trkSlider->setSingleStep(1);
  trkSlider->setTickInterval(tickSpacing);
  trkSlider->setValue(position);
}

int TframeSlider::Position() const { return trkSlider->value(); }

void TframeSlider::SetPosition(int position) { trkSlider->setValue(position); }

void TframeSlider::btnMoreClick() { SetPosition(Position() + trkSlider->pageStep()); }

void TframeSlider::btnLessClick() { SetPosition(Position() - trkSlider->pageStep()); }

void TframeSlider::SetSliderEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  trkSlider->setEnabled(value);
  btnLess->setEnabled(value);
  btnMore->setEnabled(value);
  lblCaption->setEnabled(value);
}

}  // namespace quorvil
