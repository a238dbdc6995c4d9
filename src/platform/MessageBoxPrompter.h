#pragma once

// The program's prompter: the four kinds of message box with their fixed button sets.

#include "platform/PromptSupport.h"

namespace quorvil {

class TMessageBoxPrompter : public TPrompter {
 public:
  TPromptAnswer Ask(const TPromptRequest& request) override;
};

// The caption a message box of the kind carries when the request names none.
const char* PromptKindCaption(TPromptKind kind);

}  // namespace quorvil
