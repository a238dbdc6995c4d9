#pragma once

// What the places dialogs share at the Qt boundary: the user's number format, the
// order of names in lists and menus, and buttons that follow an action.

#include <QAction>
#include <QCollator>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

namespace quorvil {

// The decimal separator of the user's locale.
std::string UserDecimalSeparator();

// A coordinate in the "%.5g" display format, with the user's separator.
QString DisplayCoordinate(double value);

// The strict decimal-number reader with the user's separator; false when refused.
bool TryReadCoordinate(const QString& text, double& value);

// An edit of a coordinate. It shows the value it was filled with in the display format,
// but gives that exact value back while its text is what it showed, so that confirming
// a dialog unedited never moves a place by the display's rounding.
class TCoordinateEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

  void Fill(double value);
  // The exact filled value while the text is unedited; otherwise the number the text
  // reads as, 0 for a text the reader refuses.
  double Value() const;

 private:
  double filled_ = 0;
  QString filledText_;
  bool isFilled_ = false;
};

// Alphabetical order of the user's locale, without regard to case.
QCollator CaseBlindCollator();

// Sorts the texts in that order; equal texts keep their order.
void SortWithoutCase(QStringList& texts);

// Runs a command's work and shows what it throws in the general error display: a
// slot is the last place where an error can be caught.
void ReportErrors(const std::function<void()>& work);

// The button shows the action's text, is enabled exactly when the action is, and
// triggers the action when clicked.
void BindButtonToAction(QPushButton& button, QAction& action);

// A dialog with a fixed border whose title bar holds only the system menu.
inline constexpr Qt::WindowFlags kFixedDialogFlags =
    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowCloseButtonHint;

// The width a title bar needs to show the window's caption whole: its text in bold and
// room for the icon and the buttons that window managers put beside it (some add
// minimize and maximize even to a fixed dialog).
int CaptionWidth(const QWidget& window);

// Fixes the dialog at its designed size, widened only when its caption would be cut.
void SetFixedDialogSize(QWidget& dialog, int width, int height);

// The buttons in a row at the right.
QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons);

// Tab order along the widgets given.
void SetTabOrder(std::initializer_list<QWidget*> widgets);

// Places the window in the middle of its screen.
void CenterOnScreen(QWidget& window);

}  // namespace quorvil
