#include "output/SaveAsDialog.h"

#include "platform/SaveFileDialog.h"

namespace quorvil {

bool ExecuteSaveAsDialog(std::string& fileName, TSaveAsFileType& fileType) {
  TSaveFileRequest request;
  request.FileName = fileName;
  request.Filter = kSaveAsFilter;
  request.FilterIndex = SaveAsFileTypeToFilterIndex(fileType);
  // The wizard asks once about every file it would replace, the final name's and those
  // written beside it, which this dialog cannot know.
  request.OverwritePrompt = false;
  const std::optional<TSaveFileAnswer> answer = CurrentSaveFileDialog().Execute(request);
  if (!answer) return false;
  fileType = FilterIndexToSaveAsFileType(answer->FilterIndex);
  fileName = answer->FileName;
  return true;
}

}  // namespace quorvil
