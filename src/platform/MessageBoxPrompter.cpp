#include "platform/MessageBoxPrompter.h"

#include <QApplication>
#include <QMessageBox>

namespace quorvil {

const char* PromptKindCaption(TPromptKind kind) {
  switch (kind) {
    case TPromptKind::pkInformation:
      return "Information";
    case TPromptKind::pkWarning:
      return "Warning";
    case TPromptKind::pkConfirmation:
      return "Confirm";
    case TPromptKind::pkError:
      return "Error";
  }
  return "Information";
}

TPromptAnswer TMessageBoxPrompter::Ask(const TPromptRequest& request) {
  static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::Information, QMessageBox::Warning,
                                                 QMessageBox::Question, QMessageBox::Critical};
  const QString title = QString::fromStdString(
      request.Title.empty() ? std::string(PromptKindCaption(request.Kind)) : request.Title);
  QMessageBox box(kIcons[static_cast<int>(request.Kind)], title,
                  QString::fromStdString(request.Text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  if (request.Buttons == TPromptButtons::pbYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return TPromptAnswer::paOk;
    case QMessageBox::Yes:
      return TPromptAnswer::paYes;
    case QMessageBox::No:
      return TPromptAnswer::paNo;
    default:
      return TPromptAnswer::paNone;
  }
}

}  // namespace quorvil
