#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "places/DialogSupport.h"
#include "places/EnterCoordinates.h"
#include "support/QtTestSupport.h"
#include "support/ScriptedPrompter.h"

namespace quorvil {
namespace {

using testing::OnNextModal;
using testing::TInstalledPrompter;

constexpr const char* kEmpty = "All fields must be filled out.";
constexpr const char* kLongitudeNumber = "The Longitude entered is not a valid real number.";
constexpr const char* kLongitudeRange = "The Longitude must be between -180 and 180.";
constexpr const char* kLatitudeNumber = "The Latitude entered is not a valid real number.";
constexpr const char* kLatitudeRange = "The Latitude must be between -90 and 90.";

TEST(EnterCoordinates, TheFirstBrokenRuleIsReported) {
  if (UserDecimalSeparator() != ".") GTEST_SKIP() << "the cases are written with a decimal point";
  const struct {
    const char* longitude;
    const char* latitude;
    const char* message;  // "" when the texts pass
  } cases[] = {
      {"180", "90", ""},
      {"-180", "-90", ""},
      {" +1.5e1 ", "0.", ""},
      {".5", "-4E-3", ""},
      {"", "", kEmpty},
      {"abc", "", kEmpty},  // rule 1 comes first
      {" ", "1", kLongitudeNumber},
      {"abc", "xyz", kLongitudeNumber},
      {"1,5", "1", kLongitudeNumber},
      {"1.2.3", "1", kLongitudeNumber},
      {"nan", "1", kLongitudeNumber},
      {"0x10", "1", kLongitudeNumber},
      {"1e999", "1", kLongitudeNumber},
      {"180.0001", "xyz", kLongitudeRange},
      {"-180.0001", "0", kLongitudeRange},
      {"1", "north", kLatitudeNumber},
      {"1", "E5", kLatitudeNumber},
      {"1", "90.0001", kLatitudeRange},
      {"1", "-9e1 ", ""},
      {"1", "-91", kLatitudeRange},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.longitude) + " / " + c.latitude);
    EXPECT_EQ(CoordinateEntryError(c.longitude, c.latitude), c.message);
  }
}

TEST(EnterCoordinates, EditsArePrefilledWithFiveSignificantDigits) {
  TfrmEnterCoordinates form(-122.41942, 40.7);
  EXPECT_EQ(form.edtLongitude->text(), "-122.42");
  EXPECT_EQ(form.edtLatitude->text(), "40.7");
  EXPECT_EQ(form.Label2->text(), "Longitude:");
  EXPECT_EQ(form.Label3->text(), "Latitude:");
  EXPECT_EQ(form.btnOk->text(), "Ok");
  EXPECT_EQ(form.Cancel->text(), "Cancel");
  EXPECT_EQ(form.size(), QSize(std::max(198, CaptionWidth(form)), 168));  // the caption whole
}

TEST(EnterCoordinates, OkKeepsAnUneditedValueExactAndReadsAnEditedOneAsTyped) {
  OnNextModal([](QWidget* modal) {
    auto* form = dynamic_cast<TfrmEnterCoordinates*>(modal);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->edtLongitude->text(), "-104.99");
    form->edtLongitude->setText("-104.9865");
    form->edtLatitude->setText("-73.9");
    form->edtLatitude->setText("-73.965");  // back to the text it showed: as if unedited
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
  });
  double longitude = -104.98653;
  double latitude = -73.96542;
  EXPECT_TRUE(ShowEnterCoordinates(longitude, latitude));
  EXPECT_DOUBLE_EQ(longitude, -104.9865);
  EXPECT_EQ(latitude, -73.96542);
}

TEST(EnterCoordinates, ABrokenRuleWarnsAndKeepsTheDialogOpenUntilMended) {
  TInstalledPrompter answers;
  OnNextModal([](QWidget* modal) {
    auto* form = dynamic_cast<TfrmEnterCoordinates*>(modal);
    ASSERT_NE(form, nullptr);
    form->edtLongitude->setText("180.0001");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
    EXPECT_TRUE(form->isVisible());
    form->edtLongitude->setText("-180");
    form->edtLatitude->setText("90");
    QTest::mouseClick(form->btnOk, Qt::LeftButton);
  });
  double longitude = 1;
  double latitude = 2;
  EXPECT_TRUE(ShowEnterCoordinates(longitude, latitude));
  ASSERT_EQ(answers.Asked().size(), 1u);
  EXPECT_EQ(answers.Asked()[0].Kind, TPromptKind::pkWarning);
  EXPECT_EQ(answers.Asked()[0].Buttons, TPromptButtons::pbOk);
  EXPECT_EQ(answers.Texts()[0], kLongitudeRange);
  EXPECT_EQ(longitude, -180);
  EXPECT_EQ(latitude, 90);
}

TEST(EnterCoordinates, CancelLeavesTheValuesAlone) {
  OnNextModal([](QWidget* modal) {
    auto* form = dynamic_cast<TfrmEnterCoordinates*>(modal);
    ASSERT_NE(form, nullptr);
    form->edtLongitude->setText("10");
    QTest::mouseClick(form->Cancel, Qt::LeftButton);
  });
  double longitude = -122.41942;
  double latitude = 40.7;
  EXPECT_FALSE(ShowEnterCoordinates(longitude, latitude));
  EXPECT_EQ(longitude, -122.41942);
  EXPECT_EQ(latitude, 40.7);
}

}  // namespace
}  // namespace quorvil
