#include <gtest/gtest.h>

#include <functional>

#include "platform/ProgramError.h"
#include "service/TerraServiceSupport.h"
#include "support/FakeTerraService.h"
#include "support/ScriptedPrompter.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::TFakeTerraService;
using testing::TScriptedPrompter;

class ServiceAccess : public ::testing::Test {
 protected:
  void SetUp() override { InitializeTileService(service, "", temp / "Cache", 466, 10); }
  void TearDown() override { FinalizeTileService(); }

  void Answer(std::deque<TPromptAnswer> script) {
    installed.reset();  // the old scope puts back its predecessor first
    prompter = std::make_shared<TScriptedPrompter>(std::move(script));
    installed = std::make_unique<TScopedPrompter>(prompter);
  }

  testing::TTempFolder temp;
  std::shared_ptr<TFakeTerraService> service = std::make_shared<TFakeTerraService>();
  std::shared_ptr<TScriptedPrompter> prompter;
  std::unique_ptr<TScopedPrompter> installed;
};

// Each wrapper once, by the operation it must call.
const struct {
  const char* operation;
  std::function<bool()> call;  // true when the answer is the service's
} kWrappers[] = {
    {"GetAreaFromPt",
     [] {
       return ServiceGetAreaFromPt({5, 9}, Theme::Topo, Scale::Scale4m, 400, 200)->NorthWest !=
              nullptr;
     }},
    {"GetAreaFromRect",
     [] {
       return ServiceGetAreaFromRect({1, 9}, {3, 7}, Theme::Photo, Scale::Scale1m)->SouthEast !=
              nullptr;
     }},
    {"GetTileMetaFromTileId",
     [] {
       return ServiceGetTileMetaFromTileId({Theme::Photo, Scale::Scale1m, 18, 4, 5})->Id->X == 4;
     }},
    {"ConvertLonLatPtToNearestPlace",
     [] {
       return ServiceGetNearestPlace({-73.5, 40.5}).starts_with("near ");
     }},
    {"GetPlaceList", [] { return ServiceGetPlaceList("Boston", 100, true).size() == 2; }},
};

TEST_F(ServiceAccess, EachWrapperRetriesUntilTheServiceAnswers) {
  for (const auto& wrapper : kWrappers) {
    SCOPED_TRACE(wrapper.operation);
    service->calls.clear();
    service->failures = 2;
    Answer({TPromptAnswer::paYes, TPromptAnswer::paYes});
    EXPECT_TRUE(wrapper.call());
    EXPECT_EQ(service->CallCount(wrapper.operation), 3);
    EXPECT_EQ(service->calls.size(), 3u);
    ASSERT_EQ(prompter->asked.size(), 2u);
    for (const auto& request : prompter->asked) {
      EXPECT_EQ(request.Kind, TPromptKind::pkWarning);
      EXPECT_EQ(request.Buttons, TPromptButtons::pbYesNo);
      EXPECT_EQ(request.Title, "Warning");
    }
  }
}

TEST_F(ServiceAccess, AnyAnswerButYesIsTheSilentAbort) {
  for (const auto answer : {TPromptAnswer::paNo, TPromptAnswer::paNone}) {
    for (const auto& wrapper : kWrappers) {
      SCOPED_TRACE(wrapper.operation);
      service->calls.clear();
      service->failures = 1;
      Answer({answer});
      EXPECT_THROW(wrapper.call(), ESilentAbort);
      EXPECT_EQ(service->calls.size(), 1u);
      EXPECT_EQ(prompter->asked.size(), 1u);
    }
  }
}

TEST_F(ServiceAccess, AnsweredCallsAskNothing) {
  Answer({});
  for (const auto& wrapper : kWrappers) EXPECT_TRUE(wrapper.call()) << wrapper.operation;
  EXPECT_TRUE(prompter->asked.empty());
}

TEST_F(ServiceAccess, PromptQuotesTheErrorInThreeParagraphs) {
  service->failures = 1;
  service->failureMessage = "Timeout";
  Answer({TPromptAnswer::paYes});
  ServiceGetNearestPlace({0, 0});
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Text,
            "The program is having trouble communicating with the TerraServer.\n\n"
            "The following error message was returned: \"Timeout\"\n\n"
            "Try again?");
}

// A service whose texts carry terminal escapes (title change, clear screen) and run on.
class TEscapingService : public TFakeTerraService {
 public:
  static constexpr const char* kDirty = "Hill\x1b]0;owned\x07\x1b[2J\r\nTown";
  std::unique_ptr<AreaBoundingBox> GetAreaFromPt(const LonLatPt& center, Theme theme, Scale scale,
                                                 int width, int height) override {
    auto area = TFakeTerraService::GetAreaFromPt(center, theme, scale, width, height);
    area->NearestPlace = kDirty;
    return area;
  }
  std::unique_ptr<AreaBoundingBox> GetAreaFromRect(const LonLatPt& upperLeft,
                                                   const LonLatPt& lowerRight, Theme theme,
                                                   Scale scale) override {
    auto area = TFakeTerraService::GetAreaFromRect(upperLeft, lowerRight, theme, scale);
    area->NearestPlace = std::string(3000, 'N');
    return area;
  }
  std::string ConvertLonLatPtToNearestPlace(const LonLatPt&) override { return kDirty; }
};

TEST_F(ServiceAccess, ServiceTextsAreShownWithoutControlsAndCut) {
  auto dirty = std::make_shared<TEscapingService>();
  InitializeTileService(dirty, "", temp / "Cache", 466, 10);
  const std::string clean = "Hill]0;owned[2J  Town";
  EXPECT_EQ(ServiceGetAreaFromPt({1, 2}, Theme::Photo, Scale::Scale1m, 10, 10)->NearestPlace,
            clean);
  EXPECT_EQ(ServiceGetAreaFromRect({1, 2}, {3, 1}, Theme::Photo, Scale::Scale1m)->NearestPlace,
            std::string(1000, 'N') + "\u2026");
  EXPECT_EQ(ServiceGetNearestPlace({1, 2}), clean);
  EXPECT_EQ(GetNearestPlaceName(2, 1), clean);
  const ArrayOfPlaceFacts places = ServiceGetPlaceList("Bo\x1b[2Jston\x9b", 1, true);
  ASSERT_EQ(places.size(), 1u);
  EXPECT_EQ(places[0]->Place->City, "Bo[2Jston");

  dirty->failures = 1;
  dirty->failureMessage = std::string("\x1b[2J") + std::string(5000, 'e');
  Answer({TPromptAnswer::paYes});
  ServiceGetTileMetaFromTileId({});
  ASSERT_EQ(prompter->asked.size(), 1u);
  EXPECT_EQ(prompter->asked[0].Text,
            "The program is having trouble communicating with the TerraServer.\n\n"
            "The following error message was returned: \"[2J" +
                std::string(997, 'e') + "\u2026\"\n\nTry again?");
}

TEST_F(ServiceAccess, SelectionCornersBecomeUpperLeftAndLowerRight) {
  TSelectionRec selection{true, -74.0, 40.8, -73.9, 40.7};
  const auto area = GetAreaForSelection(selection, Theme::Photo, Scale::Scale8m);
  ASSERT_EQ(service->lastPoints.size(), 2u);
  EXPECT_DOUBLE_EQ(service->lastPoints[0].Lon, -74.0);
  EXPECT_DOUBLE_EQ(service->lastPoints[0].Lat, 40.8);
  EXPECT_DOUBLE_EQ(service->lastPoints[1].Lon, -73.9);
  EXPECT_DOUBLE_EQ(service->lastPoints[1].Lat, 40.7);
  EXPECT_EQ(area->NorthWest->TileMeta->Id->Scale, Scale::Scale8m);
}

TEST_F(ServiceAccess, NearestPlaceNameTakesLatitudeFirst) {
  EXPECT_EQ(GetNearestPlaceName(40.5, -73.25), "near -73.250000,40.500000");
  EXPECT_DOUBLE_EQ(service->lastPoints.at(0).Lon, -73.25);
}

TEST_F(ServiceAccess, AddressTestAnswersFalseInsteadOfAborting) {
  const struct {
    int failures;
    std::deque<TPromptAnswer> answers;
    bool expected;
    std::size_t prompts;
  } cases[] = {
      {0, {}, true, 0},
      {1, {TPromptAnswer::paNo}, false, 1},
      {2, {TPromptAnswer::paYes, TPromptAnswer::paYes}, true, 2},
      {3, {TPromptAnswer::paYes, TPromptAnswer::paNone}, false, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failures);
    TFakeTerraService other;
    other.failures = c.failures;
    Answer(c.answers);
    EXPECT_EQ(TestServiceProxy(other), c.expected);
    EXPECT_EQ(prompter->asked.size(), c.prompts);
    ASSERT_FALSE(other.lastPoints.empty());
    EXPECT_DOUBLE_EQ(other.lastPoints[0].Lon, -73.965);
    EXPECT_DOUBLE_EQ(other.lastPoints[0].Lat, 40.784);
  }
  EXPECT_TRUE(service->calls.empty());  // the module's proxy is not touched
}

TEST(ServiceAccessNotStarted, FailsWithoutPrompting) {
  FinalizeTileService();
  auto prompter = std::make_shared<TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  EXPECT_THROW(ServiceGetNearestPlace({0, 0}), EQuorvilError);
  EXPECT_TRUE(prompter->asked.empty());
}

}  // namespace
}  // namespace quorvil
