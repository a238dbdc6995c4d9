#pragma once

// A save-file dialog for tests: answers from a script (cancel once it runs out) and keeps
// every request it was shown.

#include <deque>
#include <optional>
#include <vector>

#include "platform/SaveFileDialog.h"

namespace quorvil::testing {

class TScriptedSaveFileDialog : public TSaveFileDialog {
 public:
  explicit TScriptedSaveFileDialog(std::deque<std::optional<TSaveFileAnswer>> script = {})
      : script(std::move(script)) {}

  std::optional<TSaveFileAnswer> Execute(const TSaveFileRequest& request) override {
    asked.push_back(request);
    if (script.empty()) return std::nullopt;
    auto answer = script.front();
    script.pop_front();
    return answer;
  }

  std::deque<std::optional<TSaveFileAnswer>> script;
  std::vector<TSaveFileRequest> asked;
};

}  // namespace quorvil::testing
