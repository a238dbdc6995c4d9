// The command handlers of the main window. Commands whose dialogs are still to come say
// so; each is one function, so that wiring its dialog is a one-line change.

#include <QAction>

#include "output/PrintWizard.h"
#include "platform/PromptSupport.h"
#include "service/TerraServiceSupport.h"
#include "ui/main/Main.h"

namespace quorvil {

void TfrmMain::NotAvailableYet(const QAction* command) {
  ShowMessageBox(TPromptKind::pkInformation, "",
                 "\"" + command->text().remove('&').toStdString() +
                     "\" is not available in this version of Quorvil yet.");
}

void TfrmMain::actSaveAsExecute() { NotAvailableYet(actSaveAs); }

void TfrmMain::actPrintExecute() {
  RunPrintWizard(Selection(), static_cast<TZoomLevel>(ZoomLevel()));
}

void TfrmMain::actCopyExecute() { NotAvailableYet(actCopy); }

void TfrmMain::actSelectAllExecute() { SelectAll(); }

void TfrmMain::actPreferencesExecute() { NotAvailableYet(actPreferences); }

// The preferences dialog closed with Ok: the tile store starts again with the new
// values. A view update holds the store, so during one this waits for its end.
void TfrmMain::PreferencesChanged() {
  if (busy_) {
    preferencesWhenIdle_ = true;
    return;
  }
  FinalizeTileService();
  ApplyPreferences();
}

void TfrmMain::actToolExecute(TMouseTool tool) {
  selectedTool_ = activeTool_ = tool;
  UpdateControls();
}

void TfrmMain::actSearchForPlaceExecute() { NotAvailableYet(actSearchForPlace); }

void TfrmMain::actEnterCoordinatesExecute() { NotAvailableYet(actEnterCoordinates); }

void TfrmMain::actBackExecute() { GoBack(); }

void TfrmMain::actRefreshScreenExecute() {
  if (!busy_ && loaded_) LoadPlace();
}

void TfrmMain::actStopExecute() { stopRequested_ = true; }

void TfrmMain::actAddToFavoritesExecute() { NotAvailableYet(actAddToFavorites); }

void TfrmMain::actOrganizeFavoritesExecute() { NotAvailableYet(actOrganizeFavorites); }

void TfrmMain::actHelpExecute() { NotAvailableYet(actHelp); }

void TfrmMain::actAboutExecute() { NotAvailableYet(actAbout); }

void TfrmMain::miExitClick() { close(); }

}  // namespace quorvil
