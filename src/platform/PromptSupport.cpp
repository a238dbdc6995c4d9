#include "platform/PromptSupport.h"

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

class TQuietPrompter : public TPrompter {
 public:
  TPromptAnswer Ask(const TPromptRequest& request) override {
    return request.Buttons == TPromptButtons::pbYesNo ? TPromptAnswer::paNo : TPromptAnswer::paOk;
  }
};

std::shared_ptr<TPrompter>& Installed() {
  static std::shared_ptr<TPrompter> prompter;
  return prompter;
}

}  // namespace

TPrompter& CurrentPrompter() {
  static TQuietPrompter quiet;
  auto& installed = Installed();
  return installed ? *installed : quiet;
}

std::shared_ptr<TPrompter> SetPrompter(std::shared_ptr<TPrompter> prompter) {
  auto previous = std::move(Installed());
  Installed() = std::move(prompter);
  return previous;
}

void ShowMessageBox(TPromptKind kind, const std::string& title, const std::string& text) {
  CurrentPrompter().Ask({kind, title, text, TPromptButtons::pbOk});
}

bool AskYesNo(TPromptKind kind, const std::string& title, const std::string& text) {
  return CurrentPrompter().Ask({kind, title, text, TPromptButtons::pbYesNo}) ==
         TPromptAnswer::paYes;
}

std::string ErrorDisplayText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

void ShowGeneralError(const std::exception& error) {
  if (dynamic_cast<const ESilentAbort*>(&error) != nullptr) return;
  ShowMessageBox(TPromptKind::pkError, "Quorvil", ErrorDisplayText(error.what()));
}

}  // namespace quorvil
