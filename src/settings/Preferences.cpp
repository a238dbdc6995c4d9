#include "settings/Preferences.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>
#include <cstdint>
#include <exception>
#include <string>

#include "platform/Hourglass.h"
#include "platform/PromptSupport.h"
#include "service/FormatSupport.h"
#include "service/TerraServiceSupport.h"
#include "settings/PreferencesSupport.h"
#include "settings/RegistrySupport.h"

namespace quorvil {

namespace {

constexpr std::array<int, 6> kDeletePercents{5, 10, 20, 30, 40, 50};
constexpr int kDefaultDeletePercentItem = 1;  // "10%"
constexpr int kSmallestCacheSize = 1;
constexpr int kLargestCacheSize = 10000;

QLabel* Label(const char* text, QWidget* parent) { return new QLabel(text, parent); }

class TfrmPreferences : public QDialog {
 public:
  explicit TfrmPreferences(QWidget* parent)
      : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint) {
    setObjectName("frmPreferences");
    setWindowTitle("Preferences");
    setFixedSize(420, 306);
    BuildControls();
    FillControls();
    if (QScreen* display = QGuiApplication::primaryScreen()) {
      move(display->availableGeometry().center() - rect().center());
    }
  }

  // Esc, Cancel and the close box. While an address test waits for the service, its
  // transfer is aborted and the dialog closes as soon as the test has ended.
  void reject() override {
    if (testing_) {
      cancelRequested_ = true;
      AbortServiceTransfers();
      return;
    }
    QDialog::reject();
  }

 private:
  void BuildControls() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");

    auto* general = new QWidget;
    cbMeasurementSystem = new QComboBox(general);
    cbMeasurementSystem->setObjectName("cbMeasurementSystem");
    cbMeasurementSystem->addItems({"Metric", "English"});
    auto* generalLayout = new QVBoxLayout(general);
    generalLayout->addWidget(Label("Measurement System:", general));
    generalLayout->addWidget(cbMeasurementSystem, 0, Qt::AlignLeft);
    cbCoordinateFormat = new QComboBox(general);
    cbCoordinateFormat->setObjectName("cbCoordinateFormat");
    // In the order of TCoordinateFormat.
    cbCoordinateFormat->addItems({"Five significant digits", "Decimal degrees (six decimals)",
                                  "Degrees, minutes, seconds", "UTM"});
    generalLayout->addWidget(Label("Coordinates:", general));
    generalLayout->addWidget(cbCoordinateFormat, 0, Qt::AlignLeft);
    chkSmoothPaperMap = new QCheckBox("Smooth paper map", general);
    chkSmoothPaperMap->setObjectName("chkSmoothPaperMap");
    chkOpenWhereLeftOff = new QCheckBox("Open where you left off", general);
    chkOpenWhereLeftOff->setObjectName("chkOpenWhereLeftOff");
    generalLayout->addSpacing(6);
    generalLayout->addWidget(chkSmoothPaperMap);
    generalLayout->addWidget(chkOpenWhereLeftOff);
    generalLayout->addStretch();
    PageControl1->addTab(general, "General");

    auto* server = new QWidget;
    edtServerAddress = new QLineEdit(server);
    edtServerAddress->setObjectName("edtServerAddress");
    Button1 = new QPushButton("Test Address", server);
    Button1->setObjectName("Button1");
    Button1->setAutoDefault(false);
    auto* serverLayout = new QVBoxLayout(server);
    serverLayout->addWidget(Label("TeraServer Web Service Address:", server));
    serverLayout->addWidget(edtServerAddress);
    serverLayout->addWidget(Button1, 0, Qt::AlignLeft);
    serverLayout->addStretch();
    PageControl1->addTab(server, "Server");

    auto* cache = new QWidget;
    edtMaxCacheSize = new QLineEdit(cache);
    edtMaxCacheSize->setObjectName("edtMaxCacheSize");
    edtMaxCacheSize->setFixedWidth(80);
    cbCacheDeletePercent = new QComboBox(cache);
    cbCacheDeletePercent->setObjectName("cbCacheDeletePercent");
    for (int percent : kDeletePercents) cbCacheDeletePercent->addItem(QString("%1%").arg(percent));
    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(edtMaxCacheSize);
    sizeRow->addWidget(Label("megabytes", cache));
    sizeRow->addStretch();
    // One line where the font allows, the last words wrapped below otherwise.
    QLabel* reached = Label("when max cache size reached.", cache);
    reached->setWordWrap(true);
    auto* percentRow = new QHBoxLayout;
    percentRow->setSpacing(4);
    percentRow->addWidget(Label("Delete cached items by", cache));
    percentRow->addWidget(cbCacheDeletePercent);
    percentRow->addWidget(reached, 1);
    auto* cacheLayout = new QVBoxLayout(cache);
    cacheLayout->addWidget(Label("Max Cache Size:", cache));
    cacheLayout->addLayout(sizeRow);
    cacheLayout->addSpacing(12);
    cacheLayout->addLayout(percentRow);
    cacheLayout->addSpacing(12);
    lblCacheNow = new QLabel(cache);
    lblCacheNow->setObjectName("lblCacheNow");
    btnClearCache = new QPushButton("Clear Cache", cache);
    btnClearCache->setObjectName("btnClearCache");
    btnClearCache->setAutoDefault(false);
    cacheLayout->addWidget(lblCacheNow);
    cacheLayout->addWidget(btnClearCache, 0, Qt::AlignLeft);
    cacheLayout->addStretch();
    PageControl1->addTab(cache, "Cache");
    PageControl1->setCurrentIndex(0);

    Button2 = new QPushButton("Ok", this);
    Button2->setObjectName("Button2");
    Button2->setDefault(true);
    Button3 = new QPushButton("Cancel", this);
    Button3->setObjectName("Button3");
    Button3->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TfrmPreferences::Button1Click);
    connect(btnClearCache, &QPushButton::clicked, this, &TfrmPreferences::ClearCacheClick);
    connect(Button2, &QPushButton::clicked, this, &TfrmPreferences::BitBtn1Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmPreferences::reject);
  }

  void FillControls() {
    const TPreferences stored = ReadPreferences();
    cbMeasurementSystem->setCurrentIndex(stored.EnglishUnits ? 1 : 0);
    cbCoordinateFormat->setCurrentIndex(static_cast<int>(stored.CoordinateFormat));
    chkSmoothPaperMap->setChecked(stored.SmoothPaperMap);
    chkOpenWhereLeftOff->setChecked(stored.OpenWhereLeftOff);
    edtServerAddress->setText(QString::fromStdString(stored.ServerAddress));
    edtMaxCacheSize->setText(QString::number(stored.MaxCacheSize));
    int item = kDefaultDeletePercentItem;
    for (int i = 0; i < static_cast<int>(kDeletePercents.size()); ++i) {
      if (kDeletePercents[i] == stored.CacheDeletePercent) item = i;
    }
    cbCacheDeletePercent->setCurrentIndex(item);
    ShowCacheNow();
  }

  void ShowCacheNow() {
    std::int64_t bytes = 0;
    const std::int64_t files = CachedTileFiles(&bytes);
    lblCacheNow->setText(QString("Cache now: %1 files, %2 megabytes")
                             .arg(files)
                             .arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1));
  }

  // A drawing that fetches tiles holds the store (the dialog may be open over one): the
  // store refuses then, and the user is told to wait, rather than tiles vanishing under
  // the drawing.
  void ClearCacheClick() {
    try {
      if (!AskYesNo(TPromptKind::pkConfirmation, "", "Delete every tile in the cache?")) return;
      if (!ClearTileCache()) {
        ShowMessageBox(TPromptKind::pkWarning, "",
                       "Tiles are being fetched. Clear the cache once the view is drawn.");
      }
      ShowCacheNow();
    } catch (const std::exception& error) {
      ShowGeneralError(error);
    }
  }

  // Ok: the size is checked first; nothing is stored unless it passes.
  void BitBtn1Click() {
    try {
      int size = 0;
      if (!TryStrToInt(edtMaxCacheSize->text().toStdString(), size)) {
        ShowMessageBox(TPromptKind::pkWarning, "", "Max Cache Size must be an integer.");
        return;
      }
      if (size < kSmallestCacheSize || size > kLargestCacheSize) {
        ShowMessageBox(TPromptKind::pkWarning, "",
                       "Max Cache Size must range between 1 and 10,000.");
        return;
      }
      WriteRegistryString(kPreferencesKey, kMeasurementSystemValue,
                          cbMeasurementSystem->currentText().toStdString());
      WriteRegistryString(kPreferencesKey, kServerAddressValue,
                          edtServerAddress->text().toStdString());
      WriteRegistryInteger(kPreferencesKey, kMaxCacheSizeValue, size);
      WriteRegistryInteger(kPreferencesKey, kCacheDeletePercentValue,
                           kDeletePercents[cbCacheDeletePercent->currentIndex()]);
      TPreferences view;
      view.CoordinateFormat = static_cast<TCoordinateFormat>(cbCoordinateFormat->currentIndex());
      view.SmoothPaperMap = chkSmoothPaperMap->isChecked();
      view.OpenWhereLeftOff = chkOpenWhereLeftOff->isChecked();
      WriteViewPreferences(view);
      accept();
    } catch (const std::exception& error) {
      ShowGeneralError(error);
    }
  }

  // Test Address: the address now in the edit, not the stored one; stores nothing.
  void Button1Click() {
    bool good = false;
    SetTesting(true);
    try {
      TScopedHourglass hourglass;
      good = TestServerAddress(edtServerAddress->text().toStdString());
    } catch (const std::exception& error) {
      SetTesting(false);
      if (!cancelRequested_) ShowGeneralError(error);
    }
    SetTesting(false);
    if (cancelRequested_) {
      QDialog::reject();
    } else if (good) {
      ShowMessageBox(TPromptKind::pkInformation, "", "Address is good.");
    }
  }

  // While the test waits, the window stays alive; only Cancel and the close box answer.
  void SetTesting(bool testing) {
    testing_ = testing;
    Button1->setEnabled(!testing);
    Button2->setEnabled(!testing);
  }

  QTabWidget* PageControl1;
  QComboBox* cbMeasurementSystem;
  QComboBox* cbCoordinateFormat;
  QCheckBox* chkSmoothPaperMap;
  QCheckBox* chkOpenWhereLeftOff;
  QLineEdit* edtServerAddress;
  QPushButton* Button1;
  QLineEdit* edtMaxCacheSize;
  QComboBox* cbCacheDeletePercent;
  QLabel* lblCacheNow;
  QPushButton* btnClearCache;
  QPushButton* Button2;
  QPushButton* Button3;
  bool testing_ = false;
  bool cancelRequested_ = false;
};

}  // namespace

bool ShowPreferences() {
  TfrmPreferences dialog(QApplication::activeWindow());
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace quorvil
