#pragma once

// A prompter for tests: answers from a script (No once the script runs out) and keeps
// every request it was shown.

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/PromptSupport.h"

namespace quorvil::testing {

class TScriptedPrompter : public TPrompter {
 public:
  explicit TScriptedPrompter(std::deque<TPromptAnswer> script = {}) : script_(std::move(script)) {}

  TPromptAnswer Ask(const TPromptRequest& request) override {
    asked.push_back(request);
    if (script_.empty()) {
      return request.Buttons == TPromptButtons::pbYesNo ? TPromptAnswer::paNo : TPromptAnswer::paOk;
    }
    const TPromptAnswer answer = script_.front();
    script_.pop_front();
    return answer;
  }

  std::vector<TPromptRequest> asked;

 private:
  std::deque<TPromptAnswer> script_;
};

// A scripted prompter installed for the life of the object.
class TInstalledPrompter {
 public:
  explicit TInstalledPrompter(std::deque<TPromptAnswer> script = {})
      : prompter_(std::make_shared<TScriptedPrompter>(std::move(script))), scope_(prompter_) {}

  const std::vector<TPromptRequest>& Asked() const { return prompter_->asked; }
  // The texts of the requests, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const TPromptRequest& request : prompter_->asked) texts.push_back(request.Text);
    return texts;
  }

 private:
  std::shared_ptr<TScriptedPrompter> prompter_;
  TScopedPrompter scope_;
};

}  // namespace quorvil::testing
