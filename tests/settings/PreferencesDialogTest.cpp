#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/EventLoopWaiter.h"
#include "service/MemoryStream.h"
#include "service/TerraServiceSoapSupport.h"
#include "service/TerraServiceSupport.h"
#include "service/TileStore.h"
#include "settings/Preferences.h"
#include "settings/PreferencesSupport.h"
#include "settings/RegistrySupport.h"
#include "support/MapServiceProcess.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"
#include "support/TempConfigHome.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::OnNextModal;
using testing::TScriptedPrompter;

// The dialog's controls, found by their names.
struct TPreferencesForm {
  explicit TPreferencesForm(QWidget* dialog)
      : dialog(dialog),
        measurement(dialog->findChild<QComboBox*>("cbMeasurementSystem")),
        coordinates(dialog->findChild<QComboBox*>("cbCoordinateFormat")),
        smooth(dialog->findChild<QCheckBox*>("chkSmoothPaperMap")),
        leftOff(dialog->findChild<QCheckBox*>("chkOpenWhereLeftOff")),
        address(dialog->findChild<QLineEdit*>("edtServerAddress")),
        cacheSize(dialog->findChild<QLineEdit*>("edtMaxCacheSize")),
        deletePercent(dialog->findChild<QComboBox*>("cbCacheDeletePercent")),
        testAddress(dialog->findChild<QPushButton*>("Button1")),
        ok(dialog->findChild<QPushButton*>("Button2")),
        cancel(dialog->findChild<QPushButton*>("Button3")) {}
  QWidget* dialog;
  QComboBox* measurement;
  QComboBox* coordinates;
  QCheckBox* smooth;
  QCheckBox* leftOff;
  QLineEdit* address;
  QLineEdit* cacheSize;
  QComboBox* deletePercent;
  QPushButton* testAddress;
  QPushButton* ok;
  QPushButton* cancel;
};

// Opens the dialog, lets `act` work on it (it must close it) and returns ShowPreferences.
bool RunPreferences(const std::function<void(TPreferencesForm&)>& act) {
  OnNextModal([&](QWidget* dialog) {
    TPreferencesForm form(dialog);
    act(form);
    if (dialog->isVisible()) ADD_FAILURE() << "the dialog is still open";
  });
  return ShowPreferences();
}

void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

// A loopback port that takes connections and never answers, while the object lives.
class TSilentListener {
 public:
  TSilentListener() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 4);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~TSilentListener() { close(fd_); }
  TSilentListener(const TSilentListener&) = delete;
  TSilentListener& operator=(const TSilentListener&) = delete;

  QString Address() const { return QString("http://127.0.0.1:%1/terraservice.asmx").arg(port_); }

 private:
  int fd_;
  int port_ = 0;
};

// An address on a loopback port that nothing listens on.
QString ClosedAddress() { return TSilentListener().Address(); }

class PreferencesDialogTest : public TempConfigHomeTest {
 protected:
  void SetUp() override {
    TempConfigHomeTest::SetUp();
    prompter_ = std::make_shared<TScriptedPrompter>();
    installed_.emplace(prompter_);
  }
  void TearDown() override {
    installed_.reset();
    TempConfigHomeTest::TearDown();
  }
  void Answer(std::deque<TPromptAnswer> answers) {
    prompter_ = std::make_shared<TScriptedPrompter>(std::move(answers));
    installed_.emplace(prompter_);
  }

  std::shared_ptr<TScriptedPrompter> prompter_;
  std::optional<TScopedPrompter> installed_;
};

TEST_F(PreferencesDialogTest, LayoutTabsAndButtons) {
  RunPreferences([](TPreferencesForm& form) {
    EXPECT_EQ(form.dialog->windowTitle(), "Preferences");
    EXPECT_EQ(form.dialog->size(), QSize(420, 306));
    auto* pages = form.dialog->findChild<QTabWidget*>("PageControl1");
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), "General");
    EXPECT_EQ(pages->tabText(1), "Server");
    EXPECT_EQ(pages->tabText(2), "Cache");
    EXPECT_EQ(pages->currentIndex(), 0);
    EXPECT_EQ(form.ok->text(), "Ok");
    EXPECT_EQ(form.cancel->text(), "Cancel");
    EXPECT_EQ(form.testAddress->text(), "Test Address");
    QStringList percents;
    for (int i = 0; i < form.deletePercent->count(); ++i)
      percents << form.deletePercent->itemText(i);
    EXPECT_EQ(percents, QStringList({"5%", "10%", "20%", "30%", "40%", "50%"}));
    EXPECT_EQ(form.measurement->count(), 2);
    QStringList formats;
    for (int i = 0; i < form.coordinates->count(); ++i) formats << form.coordinates->itemText(i);
    EXPECT_EQ(formats, QStringList({"Five significant digits", "Decimal degrees (six decimals)",
                                    "Degrees, minutes, seconds", "UTM"}));
    EXPECT_EQ(form.coordinates->currentIndex(), 0);
    EXPECT_EQ(form.smooth->text(), "Smooth paper map");
    EXPECT_TRUE(form.smooth->isChecked());
    EXPECT_EQ(form.leftOff->text(), "Open where you left off");
    EXPECT_FALSE(form.leftOff->isChecked());
    Click(form.cancel);
  });
}

TEST_F(PreferencesDialogTest, FilledFromTheStoreWithItsDefaults) {
  const std::string defaultAddress(kDefaultServiceEndpoint);
  const struct {
    const char* measurement;  // nullptr: not stored
    const char* address;
    int cacheSize;  // 0: not stored
    int deletePercent;
    const char* showsMeasurement;
    std::string showsAddress;
    const char* showsSize;
    const char* showsPercent;
  } cases[] = {
      {nullptr, nullptr, 0, 0, "English", defaultAddress, "4", "10%"},
      {"english", nullptr, 0, 0, "English", defaultAddress, "4", "10%"},
      {"Metric", "", 2048, 50, "Metric", "", "2048", "50%"},
      {"Imperial", " http://maps.example/terraservice.asmx ", 1, 5, "Metric",
       " http://maps.example/terraservice.asmx ", "1", "5%"},
      {"ENGLISH", nullptr, 10000, 15, "English", defaultAddress, "10000", "10%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.showsSize);
    std::filesystem::remove(StoreFile());
    if (c.measurement) WriteRegistryString(kPreferencesKey, kMeasurementSystemValue, c.measurement);
    if (c.address) WriteRegistryString(kPreferencesKey, kServerAddressValue, c.address);
    if (c.cacheSize) WriteRegistryInteger(kPreferencesKey, kMaxCacheSizeValue, c.cacheSize);
    if (c.deletePercent)
      WriteRegistryInteger(kPreferencesKey, kCacheDeletePercentValue, c.deletePercent);
    const bool stored = RunPreferences([&](TPreferencesForm& form) {
      EXPECT_EQ(form.measurement->currentText(), c.showsMeasurement);
      EXPECT_EQ(form.address->text().toStdString(), c.showsAddress);
      EXPECT_EQ(form.cacheSize->text(), c.showsSize);
      EXPECT_EQ(form.deletePercent->currentText(), c.showsPercent);
      Click(form.cancel);
    });
    EXPECT_FALSE(stored);
  }
  EXPECT_TRUE(prompter_->asked.empty());
}

TEST_F(PreferencesDialogTest, OkStoresTheFourValuesAsShown) {
  WriteRegistryInteger(kPreferencesKey, kCacheDeletePercentValue, 15);
  const bool stored = RunPreferences([](TPreferencesForm& form) {
    form.measurement->setCurrentText("Metric");
    form.address->setText("  http://10.1.2.3:8080/terraservice.asmx ");
    form.cacheSize->setText("2048");
    form.coordinates->setCurrentText("UTM");
    form.smooth->setChecked(false);
    form.leftOff->setChecked(true);
    Click(form.ok);
  });
  const TPreferences read = ReadPreferences();
  EXPECT_EQ(read.CoordinateFormat, TCoordinateFormat::cfUtm);
  EXPECT_FALSE(read.SmoothPaperMap);
  EXPECT_TRUE(read.OpenWhereLeftOff);
  // The dialog opens again on what was stored.
  RunPreferences([](TPreferencesForm& form) {
    EXPECT_EQ(form.coordinates->currentText(), "UTM");
    EXPECT_FALSE(form.smooth->isChecked());
    EXPECT_TRUE(form.leftOff->isChecked());
    Click(form.cancel);
  });
  EXPECT_TRUE(stored);
  EXPECT_EQ(ReadRegistryString(kPreferencesKey, kMeasurementSystemValue, ""), "Metric");
  EXPECT_EQ(ReadRegistryString(kPreferencesKey, kServerAddressValue, ""),
            "  http://10.1.2.3:8080/terraservice.asmx ");
  EXPECT_EQ(ReadRegistryInteger(kPreferencesKey, kMaxCacheSizeValue, 0), 2048);
  EXPECT_EQ(ReadRegistryInteger(kPreferencesKey, kCacheDeletePercentValue, 0), 10);
  EXPECT_EQ(TileLimitFromCacheSize(ReadPreferences().MaxCacheSize), 238609);

  // From an empty store, Ok writes the defaults it showed.
  std::filesystem::remove(StoreFile());
  EXPECT_TRUE(RunPreferences([](TPreferencesForm& form) { Click(form.ok); }));
  EXPECT_EQ(ReadRegistryString(kPreferencesKey, kMeasurementSystemValue, ""), "English");
  EXPECT_EQ(ReadRegistryString(kPreferencesKey, kServerAddressValue, ""),
            std::string(kDefaultServiceEndpoint));
  EXPECT_EQ(ReadRegistryInteger(kPreferencesKey, kMaxCacheSizeValue, 0), 4);
  EXPECT_EQ(ReadRegistryInteger(kPreferencesKey, kCacheDeletePercentValue, 0), 10);
}

TEST_F(PreferencesDialogTest, MaxCacheSizeIsCheckedBeforeAnythingIsStored) {
  const char* const kRange = "Max Cache Size must range between 1 and 10,000.";
  const char* const kInteger = "Max Cache Size must be an integer.";
  const struct {
    const char* text;
    const char* message;  // nullptr: accepted
    int stored;
  } cases[] = {
      {"0", kRange, 0},          {"10001", kRange, 0},         {"-5", kRange, 0},
      {"4.5", kInteger, 0},      {"abc", kInteger, 0},         {"", kInteger, 0},
      {"1e3", kInteger, 0},      {"99999999999", kInteger, 0}, {"1", nullptr, 1},
      {"10000", nullptr, 10000}, {" 64 ", nullptr, 64},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::filesystem::remove(StoreFile());
    prompter_->asked.clear();
    const bool stored = RunPreferences([&](TPreferencesForm& form) {
      form.measurement->setCurrentText("Metric");
      form.cacheSize->setText(c.text);
      Click(form.ok);
      if (c.message) {
        EXPECT_TRUE(form.dialog->isVisible()) << "a refused size keeps the dialog open";
        EXPECT_EQ(form.cacheSize->text(), c.text);
        Click(form.cancel);
      }
    });
    EXPECT_EQ(stored, c.message == nullptr);
    if (c.message) {
      ASSERT_EQ(prompter_->asked.size(), 1u);
      EXPECT_EQ(prompter_->asked[0].Kind, TPromptKind::pkWarning);
      EXPECT_EQ(prompter_->asked[0].Buttons, TPromptButtons::pbOk);
      EXPECT_EQ(prompter_->asked[0].Title, "");
      EXPECT_EQ(prompter_->asked[0].Text, c.message);
      EXPECT_FALSE(RegistryKeyExists(kPreferencesKey)) << "nothing is stored";
    } else {
      EXPECT_TRUE(prompter_->asked.empty());
      EXPECT_EQ(ReadRegistryInteger(kPreferencesKey, kMaxCacheSizeValue, 0), c.stored);
    }
  }
}

TEST_F(PreferencesDialogTest, CancelEscapeAndTheCloseBoxStoreNothing) {
  const std::function<void(TPreferencesForm&)> closes[] = {
      [](TPreferencesForm& form) { Click(form.cancel); },
      [](TPreferencesForm& form) { QTest::keyClick(form.dialog, Qt::Key_Escape); },
      [](TPreferencesForm& form) { form.dialog->close(); },
  };
  for (const auto& close : closes) {
    EXPECT_FALSE(RunPreferences([&](TPreferencesForm& form) {
      form.measurement->setCurrentText("Metric");
      form.cacheSize->setText("99");
      form.coordinates->setCurrentIndex(2);
      form.leftOff->setChecked(true);
      close(form);
    }));
    EXPECT_FALSE(RegistryKeyExists(kPreferencesKey));
  }
}

TEST_F(PreferencesDialogTest, TestAddressAgainstTheLocalMapServiceIsGood) {
  testing::ServiceProcess service({"--port", "0"});
  ASSERT_FALSE(service.Endpoint().empty()) << service.Line();
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  RunPreferences([&](TPreferencesForm& form) {
    form.address->setText(QString::fromStdString(service.Endpoint()));
    Click(form.testAddress);
    EXPECT_TRUE(form.dialog->isVisible());
    EXPECT_TRUE(form.ok->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
    Click(form.cancel);
  });
  ASSERT_EQ(prompter_->asked.size(), 1u);
  EXPECT_EQ(prompter_->asked[0].Kind, TPromptKind::pkInformation);
  EXPECT_EQ(prompter_->asked[0].Buttons, TPromptButtons::pbOk);
  EXPECT_EQ(prompter_->asked[0].Text, "Address is good.");
  EXPECT_FALSE(RegistryKeyExists(kPreferencesKey)) << "the test stores nothing";
}

TEST_F(PreferencesDialogTest, TestAddressOnAClosedPortAsksToRetryAndNoEndsQuietly) {
  const QString address = ClosedAddress();
  const std::deque<TPromptAnswer> scripts[] = {{TPromptAnswer::paNo},
                                               {TPromptAnswer::paYes, TPromptAnswer::paNo}};
  for (const auto& script : scripts) {
    Answer(script);
    RunPreferences([&](TPreferencesForm& form) {
      form.address->setText(address);
      Click(form.testAddress);
      EXPECT_TRUE(form.dialog->isVisible());
      EXPECT_EQ(form.address->text(), address);
      EXPECT_EQ(QApplication::overrideCursor(), nullptr);
      Click(form.cancel);
    });
    ASSERT_EQ(prompter_->asked.size(), script.size()) << "one retry prompt per failure, no more";
    for (const TPromptRequest& asked : prompter_->asked) {
      EXPECT_EQ(asked.Kind, TPromptKind::pkWarning);
      EXPECT_EQ(asked.Buttons, TPromptButtons::pbYesNo);
      EXPECT_EQ(asked.Text.rfind("The program is having trouble communicating with the "
                                 "TerraServer.",
                                 0),
                0u);
    }
  }
  EXPECT_FALSE(RegistryKeyExists(kPreferencesKey));
}

TEST_F(PreferencesDialogTest, CancelDuringATestAbortsItAndClosesTheDialog) {
  // Without the abort the call would wait for its timeout and then ask to retry.
  TSilentListener silent;
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  bool okWhileTesting = true;
  bool openAfterCancel = false;
  const bool stored = RunPreferences([&](TPreferencesForm& form) {
    form.address->setText(silent.Address());
    QTimer::singleShot(150, [&] {
      okWhileTesting = form.ok->isEnabled() || form.testAddress->isEnabled();
      Click(form.cancel);
      openAfterCancel = form.dialog->isVisible();
    });
    Click(form.testAddress);
  });
  EXPECT_FALSE(stored);
  EXPECT_FALSE(okWhileTesting) << "Ok and Test Address wait for the test";
  EXPECT_TRUE(openAfterCancel) << "the dialog closes once the test has ended";
  EXPECT_TRUE(prompter_->asked.empty()) << "a cancelled test reports nothing";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PreferencesDialogTest, ClearCacheAsksFirstEmptiesTheCacheAndTilesStillLoad) {
  testing::ServiceProcess service({"--port", "0", "--delay-ms", "300"});
  ASSERT_FALSE(service.Endpoint().empty()) << service.Line();
  testing::TTempFolder cache;
  InitializeTileService(service.Endpoint(), cache.Path().string() + "/", 1000, 10);
  TScopedWaiter waiter(std::make_shared<TEventLoopWaiter>());
  const auto load = [](int x) {
    TMemoryStream stream;
    LoadTileToStream(stream, {Theme::Photo, Scale::Scale1m, 18, x, 22575});
    return stream.Size();
  };
  for (int x : {2935, 2936, 2937}) ASSERT_GT(load(x), 0);
  std::int64_t bytes = 0;
  ASSERT_EQ(CachedTileFiles(&bytes), 3);
  const auto clearCache = [](TPreferencesForm& form) {
    QTest::mouseClick(form.dialog->findChild<QPushButton*>("btnClearCache"), Qt::LeftButton);
    return form.dialog->findChild<QLabel*>("lblCacheNow")->text();
  };
  const QString full =
      QString("Cache now: 3 files, %1 megabytes").arg(bytes / 1048576.0, 0, 'f', 1);
  Answer({TPromptAnswer::paNo, TPromptAnswer::paYes});
  RunPreferences([&](TPreferencesForm& form) {
    EXPECT_EQ(form.dialog->findChild<QLabel*>("lblCacheNow")->text(), full);
    EXPECT_EQ(clearCache(form), full) << "No keeps the cache";
    EXPECT_EQ(clearCache(form), "Cache now: 0 files, 0.0 megabytes");
    Click(form.cancel);
  });
  ASSERT_EQ(prompter_->asked.size(), 2u);
  EXPECT_EQ(prompter_->asked[0].Kind, TPromptKind::pkConfirmation);
  EXPECT_EQ(prompter_->asked[0].Text, "Delete every tile in the cache?");
  EXPECT_EQ(TileIndexCount(), 0);
  EXPECT_TRUE(std::filesystem::is_empty(cache.Path()));
  EXPECT_GT(load(2935), 0) << "tiles load again after the cache was cleared";
  EXPECT_EQ(CachedTileFiles(), 1);

  // While a tile is being fetched, the cache is left as it is.
  const std::shared_ptr<TTileStore> store = CurrentTileStore();
  TTileRequest pending = store->Request({Theme::Photo, Scale::Scale1m, 18, 1, 1});
  Answer({TPromptAnswer::paYes});
  RunPreferences([&](TPreferencesForm& form) {
    EXPECT_EQ(clearCache(form), "Cache now: 1 files, 0.0 megabytes");
    Click(form.cancel);
  });
  ASSERT_EQ(prompter_->asked.size(), 2u);
  EXPECT_EQ(prompter_->asked[1].Kind, TPromptKind::pkWarning);
  EXPECT_EQ(prompter_->asked[1].Text,
            "Tiles are being fetched. Clear the cache once the view is drawn.");
  EXPECT_EQ(CachedTileFiles(), 1);
  pending = TTileRequest();
  FinalizeTileService();
}

}  // namespace
}  // namespace quorvil
