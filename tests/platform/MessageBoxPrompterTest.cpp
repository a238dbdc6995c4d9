#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "platform/MessageBoxPrompter.h"
#include "support/QtTestSupport.h"

namespace quorvil {
namespace {

using testing::OnNextModal;

struct TShownBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Asks through the message box prompter and answers the box with `press` (a standard
// button to click, or Escape when NoButton); returns what the box showed and the answer.
TPromptAnswer AskAndAnswer(const TPromptRequest& request, QMessageBox::StandardButton press,
                           TShownBox& shown) {
  OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    shown = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    if (press == QMessageBox::NoButton) {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      QTest::mouseClick(box->button(press), Qt::LeftButton);
    }
  });
  return TMessageBoxPrompter().Ask(request);
}

TEST(MessageBoxPrompter, CaptionsIconsButtonsAndAnswers) {
  using K = TPromptKind;
  using B = TPromptButtons;
  using A = TPromptAnswer;
  using Q = QMessageBox;
  const struct {
    K kind;
    const char* title;
    B buttons;
    Q::StandardButton press;
    const char* caption;
    Q::Icon icon;
    Q::StandardButtons shownButtons;
    A answer;
  } cases[] = {
      {K::pkInformation, "", B::pbOk, Q::Ok, "Information", Q::Information, Q::Ok, A::paOk},
      {K::pkWarning, "", B::pbOk, Q::Ok, "Warning", Q::Warning, Q::Ok, A::paOk},
      {K::pkConfirmation, "", B::pbYesNo, Q::Yes, "Confirm", Q::Question, Q::Yes | Q::No, A::paYes},
      {K::pkError, "", B::pbOk, Q::Ok, "Error", Q::Critical, Q::Ok, A::paOk},
      {K::pkError, "Quorvil", B::pbOk, Q::Ok, "Quorvil", Q::Critical, Q::Ok, A::paOk},
      {K::pkWarning, "", B::pbYesNo, Q::No, "Warning", Q::Warning, Q::Yes | Q::No, A::paNo},
      {K::pkConfirmation, "Delete", B::pbYesNo, Q::NoButton, "Delete", Q::Question, Q::Yes | Q::No,
       A::paNo},
      {K::pkInformation, "", B::pbOk, Q::NoButton, "Information", Q::Information, Q::Ok, A::paOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    TShownBox shown;
    const TPromptAnswer answer =
        AskAndAnswer({c.kind, c.title, "Line one\n\nLine two", c.buttons}, c.press, shown);
    EXPECT_EQ(shown.title, c.caption);
    EXPECT_EQ(shown.text, "Line one\n\nLine two");
    EXPECT_EQ(shown.icon, c.icon);
    EXPECT_EQ(shown.buttons, c.shownButtons);
    EXPECT_EQ(answer, c.answer);
  }
}

TEST(MessageBoxPrompter, YesIsTheDefaultOfAQuestion) {
  TShownBox shown;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  OnNextModal([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    if (box->defaultButton() != nullptr) defaultButton = box->standardButton(box->defaultButton());
    QTest::keyClick(box, Qt::Key_Return);
  });
  const TPromptAnswer answer = TMessageBoxPrompter().Ask(
      {TPromptKind::pkWarning, "", "Try again?", TPromptButtons::pbYesNo});
  EXPECT_EQ(defaultButton, QMessageBox::Yes);
  EXPECT_EQ(answer, TPromptAnswer::paYes);
}

}  // namespace
}  // namespace quorvil
