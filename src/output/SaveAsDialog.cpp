#include "output/SaveAsDialog.h"

#include "platform/SaveFileDialog.h"
#include "settings/PreferencesSupport.h"

namespace quorvil {

bool ExecuteSaveAsDialog(std::string& fileName, TSaveAsFileType& fileType) {
  TSaveFileRequest request;
  request.FileName = fileName;
  request.Filter = kSaveAsFilter;
  request.FilterIndex = SaveAsFileTypeToFilterIndex(fileType);
  // The wizard asks once about every file it would replace, the final name's and those
  // written beside it, which this dialog cannot know.
  request.OverwritePrompt = false;
  request.InitialFolder = ReadLastFolder(kLastSaveAsFolderValue);
  const std::optional<TSaveFileAnswer> answer = CurrentSaveFileDialog().Execute(request);
  if (!answer) return false;
  WriteLastFolderOf(kLastSaveAsFolderValue, answer->FileName);
  fileType = FilterIndexToSaveAsFileType(answer->FilterIndex);
  fileName = answer->FileName;
  return true;
}

}  // namespace quorvil
