#pragma once

// The seam to the platform's save-file dialog. The program's dialog is Qt's; tests
// install a scripted double that records the request and answers it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvil {

struct TSaveFileRequest {
  // Shown in the name field; only its file-name part is used (no folder).
  std::string FileName;
  // Pairs of description and pattern separated by "|", e.g. "JPEG (*.jpg)|*.jpg".
  std::string Filter;
  // The selected filter, counted from 1.
  int FilterIndex = 1;
  // Ask before letting the user pick an existing file.
  bool OverwritePrompt = true;
  // The folder the dialog opens in; empty for the platform's default.
  std::string InitialFolder;
};

struct TSaveFileAnswer {
  std::string FileName;  // the full chosen path
  int FilterIndex = 1;   // the filter selected when the user confirmed, from 1
};

class TSaveFileDialog {
 public:
  virtual ~TSaveFileDialog() = default;
  // Shows the dialog modally; nothing when the user cancelled.
  virtual std::optional<TSaveFileAnswer> Execute(const TSaveFileRequest& request) = 0;
};

// The dialog in use: the installed one, or the platform's (Qt's QFileDialog).
TSaveFileDialog& CurrentSaveFileDialog();

// Installs `dialog` (nullptr goes back to the platform's) and returns the one it replaces.
std::shared_ptr<TSaveFileDialog> SetSaveFileDialog(std::shared_ptr<TSaveFileDialog> dialog);

// Installs a dialog for the life of the object and puts the previous one back.
class TScopedSaveFileDialog {
 public:
  explicit TScopedSaveFileDialog(std::shared_ptr<TSaveFileDialog> dialog)
      : previous_(SetSaveFileDialog(std::move(dialog))) {}
  ~TScopedSaveFileDialog() { SetSaveFileDialog(std::move(previous_)); }
  TScopedSaveFileDialog(const TScopedSaveFileDialog&) = delete;
  TScopedSaveFileDialog& operator=(const TScopedSaveFileDialog&) = delete;

 private:
  std::shared_ptr<TSaveFileDialog> previous_;
};

// Asks once whether the files may be replaced, naming each of them: true when the
// user says Yes. Nothing is asked, and true returned, for an empty list.
bool AskToReplaceFiles(const std::vector<std::string>& fileNames);

// The platform's save-file dialog: QFileDialog in save mode, owned by the application.
class TQtSaveFileDialog : public TSaveFileDialog {
 public:
  std::optional<TSaveFileAnswer> Execute(const TSaveFileRequest& request) override;
};

}  // namespace quorvil
