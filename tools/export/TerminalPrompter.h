#pragma once

#include "platform/PromptSupport.h"

namespace quorvil {

// Prompts on the terminal: messages go to stderr; a Yes/No question is asked on stderr
// and answered on stdin when stdin is a terminal, and is a silent "No" otherwise, so
// that a script never hangs on a question.
class TTerminalPrompter : public TPrompter {
 public:
  // Runs before anything is written, e.g. to end a progress bar's line.
  explicit TTerminalPrompter(void (*beforeOutput)() = nullptr) : beforeOutput_(beforeOutput) {}
  TPromptAnswer Ask(const TPromptRequest& request) override;

 private:
  void (*beforeOutput_)();
};

}  // namespace quorvil
