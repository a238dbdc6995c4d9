#pragma once

// The seam through which plain C++ code asks the user something: message boxes of the
// four kinds and Yes/No questions. The program installs an implementation over its
// message boxes, command-line tools one over the terminal, tests a scripted double.

#include <exception>
#include <memory>
#include <string>

namespace quorvil {

enum class TPromptKind { pkInformation, pkWarning, pkConfirmation, pkError };

// The fixed button sets of the program's message boxes.
enum class TPromptButtons { pbOk, pbYesNo };

// paNone stands for a box closed without a button (Escape, the close box).
enum class TPromptAnswer { paOk, paYes, paNo, paNone };

struct TPromptRequest {
  TPromptKind Kind = TPromptKind::pkInformation;
  std::string Title;
  std::string Text;
  TPromptButtons Buttons = TPromptButtons::pbOk;
};

class TPrompter {
 public:
  virtual ~TPrompter() = default;
  // Shows the request modally and returns the user's answer.
  virtual TPromptAnswer Ask(const TPromptRequest& request) = 0;
};

// The prompter in use. Before any is installed, a quiet one answers every question
// with "No" and every message with OK, which is what a tool without a user wants.
TPrompter& CurrentPrompter();

// Installs `prompter` (nullptr goes back to the quiet default) and returns the one it
// replaces.
std::shared_ptr<TPrompter> SetPrompter(std::shared_ptr<TPrompter> prompter);

// Installs a prompter for the life of the object and puts the previous one back.
class TScopedPrompter {
 public:
  explicit TScopedPrompter(std::shared_ptr<TPrompter> prompter)
      : previous_(SetPrompter(std::move(prompter))) {}
  ~TScopedPrompter() { SetPrompter(std::move(previous_)); }
  TScopedPrompter(const TScopedPrompter&) = delete;
  TScopedPrompter& operator=(const TScopedPrompter&) = delete;

 private:
  std::shared_ptr<TPrompter> previous_;
};

// A message box with an OK button.
void ShowMessageBox(TPromptKind kind, const std::string& title, const std::string& text);

// A Yes/No question; true only for Yes.
bool AskYesNo(TPromptKind kind, const std::string& title, const std::string& text);

// The text the general error display shows for a message: "." is appended when the
// last character sorts after "." in character code order (a letter, a digit, "?",
// ":"), the message is left as it is otherwise.
std::string ErrorDisplayText(const std::string& message);

// The general error display: an error box titled "Quorvil" with ErrorDisplayText of
// the error's message; the silent abort shows nothing.
void ShowGeneralError(const std::exception& error);

}  // namespace quorvil
