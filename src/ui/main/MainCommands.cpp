// The command handlers of the main window, one function each.

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QPlainTextEdit>

#include "output/CopyToClipboardSupport.h"
#include "output/PrintWizard.h"
#include "output/SaveAsWizard.h"
#include "places/EnterCoordinates.h"
#include "places/FavoriteProperties.h"
#include "places/FavoriteSupport.h"
#include "places/FavoritesMenu.h"
#include "places/OrganizeFavorites.h"
#include "places/SearchForPlace.h"
#include "platform/PromptSupport.h"
#include "service/TerraServiceSupport.h"
#include "settings/AboutScreen.h"
#include "settings/ImageryCredit.h"
#include "settings/Preferences.h"
#include "ui/main/HelpWindow.h"
#include "ui/main/Main.h"

namespace quorvil {

void TfrmMain::actSaveAsExecute() {
  RunSaveAsWizard(Selection(), static_cast<TZoomLevel>(ZoomLevel()));
}

void TfrmMain::actPrintExecute() {
  RunPrintWizard(Selection(), static_cast<TZoomLevel>(ZoomLevel()));
}

void TfrmMain::actCopyExecute() {
  // Its area request waits while the window goes on handling events: inside the busy
  // period, so that no view command uses the service's connection meanwhile.
  const TSelectionRec selection = Selection();
  const auto level = static_cast<TZoomLevel>(ZoomLevel());
  RunBusy([&] { CopySelectionToClipboard(selection, level); });
}

void TfrmMain::actSelectAllExecute() { SelectAll(); }

void TfrmMain::actPreferencesExecute() {
  if (ShowPreferences()) PreferencesChanged();
}

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
  if (tool != selectedTool_) ClearRuler();
  selectedTool_ = activeTool_ = tool;
  UpdateControls();
}

void TfrmMain::actSearchForPlaceExecute() {
  double latitude = 0;
  double longitude = 0;
  if (!ShowSearchForPlace(latitude, longitude)) return;
  SetCenter(longitude, latitude);
  LoadPlace();
}

void TfrmMain::actEnterCoordinatesExecute() {
  double longitude = centerLongitude_;
  double latitude = centerLatitude_;
  if (!ShowEnterCoordinates(longitude, latitude)) return;
  SetCenter(longitude, latitude);
  LoadPlace();
}

void TfrmMain::actBackExecute() { GoBack(); }

void TfrmMain::actCopyCoordinatesExecute() {
  const std::string text =
      CoordinateCopyText(PixelToLongitude(contextPoint_.x()), PixelToLatitude(contextPoint_.y()),
                         preferences_.CoordinateFormat, DecimalSeparator());
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void TfrmMain::actCenterHereExecute() {
  if (busy_ || !loaded_) return;
  SetCenter(PixelToLongitude(contextPoint_.x()), PixelToLatitude(contextPoint_.y()));
  LoadPlace();
}

void TfrmMain::actRefreshScreenExecute() {
  if (!busy_ && loaded_) LoadPlace();
}

void TfrmMain::actStopExecute() {
  // Esc also takes the ruler away, when there is no drawing to stop.
  if (!busy_) ClearRuler();
  stopRequested_ = true;
  // A transfer that hangs ends now instead of at its time-out.
  AbortServiceTransfers();
}

void TfrmMain::actAddToFavoritesExecute() {
  if (ShowFavoriteProperties(false, memPlace->toPlainText().toStdString(),
                             static_cast<TZoomLevel>(ZoomLevel()), centerLongitude_,
                             centerLatitude_)) {
    LoadFavorites();
  }
}

void TfrmMain::actOrganizeFavoritesExecute() {
  ShowOrganizeFavorites();
  LoadFavorites();
}

void TfrmMain::LoadFavorites() {
  LoadFavoritesMenu(*miFavorites,
                    [this](const std::string& name) { RunGuarded([&] { FavoriteClick(name); }); });
}

void TfrmMain::FavoriteClick(const std::string& name) {
  // Read first: a favourite that cannot be read leaves the view where it is.
  const TFavorite favorite = ReadFavorite(name, DecimalSeparator());
  SetCenter(favorite.Longitude, favorite.Latitude);
  SetZoomLevel(favorite.ZoomLevel);
  LoadPlace();
}

void TfrmMain::actHelpExecute() { ShowHelp(); }

void TfrmMain::actAboutExecute() {
  ShowAbout([address = TileServiceAddress()] { return AskDataSource(address); });
}

void TfrmMain::miExitClick() { close(); }

}  // namespace quorvil
