#include "platform/SaveFileDialog.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <filesystem>

#include "platform/PromptSupport.h"

namespace quorvil {

namespace {

std::shared_ptr<TSaveFileDialog>& Installed() {
  static std::shared_ptr<TSaveFileDialog> dialog;
  return dialog;
}

// "JPEG (*.jpg)|*.jpg|Bitmap (*.bmp)|*.bmp" as Qt's name filters: Qt reads the patterns
// from the parentheses, so a description without them gets its pattern added.
QStringList NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString& description = parts[i];
    const QString& pattern = parts[i + 1];
    filters << (description.contains("(" + pattern + ")")
                    ? description
                    : description + " (" + QString(pattern).replace(';', ' ') + ")");
  }
  return filters;
}

}  // namespace

TSaveFileDialog& CurrentSaveFileDialog() {
  static TQtSaveFileDialog platform;
  auto& installed = Installed();
  return installed ? *installed : platform;
}

std::shared_ptr<TSaveFileDialog> SetSaveFileDialog(std::shared_ptr<TSaveFileDialog> dialog) {
  auto previous = std::move(Installed());
  Installed() = std::move(dialog);
  return previous;
}

bool AskToReplaceFiles(const std::vector<std::string>& fileNames) {
  if (fileNames.empty()) return true;
  const auto leaf = [](const std::string& name) {
    return std::filesystem::path(name).filename().string();
  };
  if (fileNames.size() == 1) {
    return AskYesNo(TPromptKind::pkConfirmation, "",
                    leaf(fileNames.front()) + " already exists.\nDo you want to replace it?");
  }
  std::string list;
  for (const std::string& name : fileNames) list += "\n" + leaf(name);
  return AskYesNo(TPromptKind::pkConfirmation, "",
                  "These files already exist:" + list + "\nDo you want to replace them?");
}

std::optional<TSaveFileAnswer> TQtSaveFileDialog::Execute(const TSaveFileRequest& request) {
  QFileDialog dialog;
  dialog.setObjectName("SaveDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // No default suffix: the caller's extension rule decides.
  dialog.setDefaultSuffix(QString());
  QFileDialog::Options options = QFileDialog::DontResolveSymlinks;
  if (!request.OverwritePrompt) options |= QFileDialog::DontConfirmOverwrite;
  dialog.setOptions(options);
  dialog.setSizeGripEnabled(true);
  const QStringList filters = NameFilters(request.Filter);
  dialog.setNameFilters(filters);
  if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size()) {
    dialog.selectNameFilter(filters[request.FilterIndex - 1]);
  }
  if (!request.InitialFolder.empty()) {
    dialog.setDirectory(QString::fromStdString(request.InitialFolder));
  }
  if (!request.FileName.empty()) {
    dialog.selectFile(QFileInfo(QString::fromStdString(request.FileName)).fileName());
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  TSaveFileAnswer answer;
  answer.FileName = dialog.selectedFiles().front().toStdString();
  answer.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  if (answer.FilterIndex < 1) answer.FilterIndex = request.FilterIndex;
  return answer;
}

}  // namespace quorvil
