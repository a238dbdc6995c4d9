#pragma once

// The dialog step of Save As: the platform's save dialog with the two file types.

#include <string>

#include "output/SaveAsSupport.h"

namespace quorvil {

// Opens the save dialog on the file-name part of `fileName`, with the filter of `fileType`
// selected; the dialog's own overwrite question is off, the caller asks about the files
// it will write. When the user confirms, `fileName` becomes the
// full chosen path and `fileType` the type of the selected filter; returns whether the
// user confirmed.
bool ExecuteSaveAsDialog(std::string& fileName, TSaveAsFileType& fileType);

}  // namespace quorvil
