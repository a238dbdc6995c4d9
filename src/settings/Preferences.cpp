#include "settings/Preferences.h"

#include <QApplication>
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
    connect(Button2, &QPushButton::clicked, this, &TfrmPreferences::BitBtn1Click);
    connect(Button3, &QPushButton::clicked, this, &TfrmPreferences::reject);
  }

  void FillControls() {
    const TPreferences stored = ReadPreferences();
    cbMeasurementSystem->setCurrentIndex(stored.EnglishUnits ? 1 : 0);
    edtServerAddress->setText(QString::fromStdString(stored.ServerAddress));
    edtMaxCacheSize->setText(QString::number(stored.MaxCacheSize));
    int item = kDefaultDeletePercentItem;
    for (int i = 0; i < static_cast<int>(kDeletePercents.size()); ++i) {
      if (kDeletePercents[i] == stored.CacheDeletePercent) item = i;
    }
    cbCacheDeletePercent->setCurrentIndex(item);
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
  QLineEdit* edtServerAddress;
  QPushButton* Button1;
  QLineEdit* edtMaxCacheSize;
  QComboBox* cbCacheDeletePercent;
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
