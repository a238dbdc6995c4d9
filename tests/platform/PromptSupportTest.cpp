#include <gtest/gtest.h>

#include "platform/ProgramError.h"
#include "platform/PromptSupport.h"
#include "support/ScriptedPrompter.h"

namespace quorvil {
namespace {

TEST(ErrorDisplayText, AppendsAPeriodAfterCharactersThatSortAfterIt) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"Timeout", "Timeout."},
      {"Error 42", "Error 42."},
      {"Why?", "Why?."},
      {"Note:", "Note:."},
      {"Done.", "Done."},
      {"Oops!", "Oops!"},
      {"(x)", "(x)"},
      {"a-", "a-"},
      {"", ""},
      {"path/", "path/."},
  };
  for (const auto& c : cases) EXPECT_EQ(ErrorDisplayText(c.message), c.shown) << c.message;
}

TEST(ShowGeneralError, ErrorBoxTitledQuorvilButNothingForTheSilentAbort) {
  auto prompter = std::make_shared<testing::TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  ShowGeneralError(ESilentAbort());
  EXPECT_TRUE(prompter->asked.empty());
  ShowGeneralError(EQuorvilError("No tile data"));
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Kind, TPromptKind::pkError);
  EXPECT_EQ(prompter->asked[0].Buttons, TPromptButtons::pbOk);
  EXPECT_EQ(prompter->asked[0].Title, "Quorvil");
  EXPECT_EQ(prompter->asked[0].Text, "No tile data.");
}

TEST(Prompter, QuietDefaultSaysNoAndScopesRestoreThePrevious) {
  EXPECT_FALSE(AskYesNo(TPromptKind::pkConfirmation, "t", "q"));
  {
    TScopedPrompter yes(std::make_shared<testing::TScriptedPrompter>(
        std::deque<TPromptAnswer>{TPromptAnswer::paYes}));
    EXPECT_TRUE(AskYesNo(TPromptKind::pkConfirmation, "t", "q"));
  }
  EXPECT_FALSE(AskYesNo(TPromptKind::pkConfirmation, "t", "q"));
}

}  // namespace
}  // namespace quorvil
