#pragma once

// A prompter for tests: answers from a script (No once the script runs out) and keeps
// every request it was shown.

#include <deque>
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

}  // namespace quorvil::testing
