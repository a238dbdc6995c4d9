#include "places/DialogSupport.h"

#include <QFontMetrics>
#include <QLocale>
#include <QScreen>
#include <algorithm>

#include "platform/PromptSupport.h"
#include "service/FormatSupport.h"

namespace quorvil {

std::string UserDecimalSeparator() { return QLocale::system().decimalPoint().toStdString(); }

QString DisplayCoordinate(double value) {
  return QString::fromStdString(FormatFloatDisplay(value, UserDecimalSeparator()));
}

bool TryReadCoordinate(const QString& text, double& value) {
  return TryStrToFloat(text.toStdString(), UserDecimalSeparator(), value);
}

void TCoordinateEdit::Fill(double value) {
  filled_ = value;
  filledText_ = DisplayCoordinate(value);
  isFilled_ = true;
  setText(filledText_);
}

double TCoordinateEdit::Value() const {
  if (isFilled_ && text() == filledText_) return filled_;
  double value = 0;
  TryReadCoordinate(text(), value);
  return value;
}

QCollator CaseBlindCollator() {
  QCollator collator(QLocale::system());
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  return collator;
}

void SortWithoutCase(QStringList& texts) {
  const QCollator collator = CaseBlindCollator();
  std::stable_sort(texts.begin(), texts.end(), [&collator](const QString& a, const QString& b) {
    return collator.compare(a, b) < 0;
  });
}

void ReportErrors(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& error) {
    ShowGeneralError(error);
  }
}

void BindButtonToAction(QPushButton& button, QAction& action) {
  const auto follow = [&button, &action] {
    button.setText(action.text());
    button.setEnabled(action.isEnabled());
  };
  follow();
  QObject::connect(&action, &QAction::changed, &button, follow);
  QObject::connect(&button, &QPushButton::clicked, &action, &QAction::trigger);
}

QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QWidget* button : buttons) row->addWidget(button);
  return row;
}

void SetTabOrder(std::initializer_list<QWidget*> widgets) {
  QWidget* previous = nullptr;
  for (QWidget* widget : widgets) {
    if (previous != nullptr) QWidget::setTabOrder(previous, widget);
    previous = widget;
  }
}

int CaptionWidth(const QWidget& window) {
  // Icon, three buttons and the frame's padding, as common themes draw them.
  constexpr int kTitleBarExtras = 110;
  QFont bold = window.font();
  bold.setBold(true);
  return QFontMetrics(bold).horizontalAdvance(window.windowTitle()) + kTitleBarExtras;
}

void SetFixedDialogSize(QWidget& dialog, int width, int height) {
  dialog.setFixedSize(std::max(width, CaptionWidth(dialog)), height);
}

void CenterOnScreen(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) return;
  QRect frame(QPoint(), window.size());
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

}  // namespace quorvil
