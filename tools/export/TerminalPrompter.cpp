#include "TerminalPrompter.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace quorvil {

TPromptAnswer TTerminalPrompter::Ask(const TPromptRequest& request) {
  const bool question = request.Buttons == TPromptButtons::pbYesNo;
  // Nobody could answer: the question counts as "No" and is not shown.
  if (question && ::isatty(STDIN_FILENO) == 0) return TPromptAnswer::paNo;
  if (beforeOutput_ != nullptr) beforeOutput_();
  std::fprintf(stderr, "%s: %s\n", request.Title.c_str(), request.Text.c_str());
  if (!question) return TPromptAnswer::paOk;
  std::fputs("[y/N] ", stderr);
  std::fflush(stderr);
  char line[64];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return TPromptAnswer::paNone;
  std::string answer;
  for (const char* c = line; *c != '\0' && *c != '\n'; ++c)
    if (*c != ' ') answer += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
  return answer == "y" || answer == "yes" ? TPromptAnswer::paYes : TPromptAnswer::paNo;
}

}  // namespace quorvil
