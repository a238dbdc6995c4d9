#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/ProgramError.h"
#include "service/SoapTransport.h"
#include "service/TerraServiceSoapProxy.h"
#include "service/TerraServiceSupport.h"
#include "support/ErrorMessage.h"
#include "support/ScriptedPrompter.h"
#include "support/SilentServer.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What a call ended in, and when.
struct TOutcome {
  std::string error = "(none)";
  bool aborted = false;
  Clock::time_point ended;
};

// Runs the call on a thread, aborts once it is surely on the wire, and tells how it ended.
TOutcome AbortWhileRunning(const std::function<void()>& call, Clock::time_point& abortedAt) {
  TOutcome outcome;
  std::thread caller([&] {
    try {
      call();
    } catch (const ETransferAborted&) {
      outcome.aborted = true;
    } catch (const std::exception& error) {
      outcome.error = error.what();
    }
    outcome.ended = Clock::now();
  });
  std::this_thread::sleep_for(150ms);
  abortedAt = Clock::now();
  AbortServiceTransfers();
  caller.join();
  return outcome;
}

TEST(AbortServiceTransfers, EndsACallToAServerThatNeverAnswersAtOnceAndSilently) {
  testing::TSilentServer silent;
  testing::TTempFolder temp;
  auto prompter = std::make_shared<testing::TScriptedPrompter>();
  TScopedPrompter installed(prompter);
  InitializeTileService(silent.Url(), temp / "Cache", 466, 10);

  const struct {
    const char* name;
    std::function<void()> call;
  } cases[] = {
      {"a wrapped service call",
       [] {
         ServiceGetAreaFromPt({-73.9, 40.7}, Theme::Photo, Scale::Scale4m, 400, 300);
       }},
      {"a bare proxy call", [&] { CreateServiceProxy(false, silent.Url())->GetTile({}); }},
      {"a tile download",
       [] {
         TMemoryStream stream;
         LoadTileToStream(stream, {Theme::Photo, Scale::Scale4m, 18, 1, 2});
       }},
      {"a tile waiting behind downloads on the wire",
       [] {
         TTileStore& store = *CurrentTileStore();
         std::vector<TTileRequest> ahead;
         for (int x = 0; x < kDefaultTileConnections; ++x)
           ahead.push_back(store.Request({Theme::Photo, Scale::Scale4m, 18, x, 3}));
         TMemoryStream stream;
         store.Load(stream, {Theme::Photo, Scale::Scale4m, 18, 99, 3});
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clock::time_point abortedAt;
    const TOutcome outcome = AbortWhileRunning(c.call, abortedAt);
    EXPECT_TRUE(outcome.aborted) << outcome.error;
    EXPECT_LT(outcome.ended - abortedAt, 250ms);
  }
  EXPECT_TRUE(prompter->asked.empty());  // no retry prompt for an abort
  FinalizeTileService();
}

TEST(AbortServiceTransfers, FinalizingTheStoreEndsItsDownloadsOnTheWire) {
  testing::TSilentServer silent;
  testing::TTempFolder temp;
  InitializeTileService(silent.Url(), temp / "Cache", 466, 10);
  TOutcome outcome;
  std::thread caller([&] {
    try {
      TMemoryStream stream;
      LoadTileToStream(stream, {Theme::Photo, Scale::Scale4m, 18, 1, 2});
    } catch (const ETransferAborted&) {
      outcome.aborted = true;
    } catch (const std::exception& error) {
      outcome.error = error.what();
    }
  });
  std::this_thread::sleep_for(150ms);
  const Clock::time_point start = Clock::now();
  FinalizeTileService();
  EXPECT_LT(Clock::now() - start, 250ms);
  caller.join();
  EXPECT_TRUE(outcome.aborted) << outcome.error;
  EXPECT_TRUE(std::filesystem::is_empty(temp / "Cache"));  // nothing half-written
}

TEST(AbortServiceTransfers, LeavesLaterTransfersAlone) {
  testing::TSilentServer silent;
  auto transport = std::make_shared<CurlSoapTransport>();
  transport->SetTimeouts(2000ms, 300ms);
  auto proxy = CreateServiceProxy(false, silent.Url(), transport);
  AbortServiceTransfers();
  // Begun after the abort, the call runs to its own time-out.
  try {
    proxy->GetTile({});
    FAIL() << "no error";
  } catch (const ETransferAborted&) {
    FAIL() << "aborted by an earlier abort";
  } catch (const EQuorvilError& error) {
    EXPECT_NE(std::string(error.what()).find("timed out"), std::string::npos) << error.what();
  }
  // A call that counts as begun before the abort ends without reaching the wire.
  const std::uint64_t begun = SoapAbortGeneration();
  AbortServiceTransfers();
  const TTransferScope scope(begun);
  EXPECT_THROW(proxy->GetTile({}), ETransferAborted);
}

// A curl handle used by two threads at once is undefined behaviour: the second is refused.
TEST(CurlSoapTransport, RefusesASecondCallerWhileACallRuns) {
  testing::TSilentServer silent;
  CurlSoapTransport transport;
  std::thread first([&] {
    try {
      transport.Get(silent.Url());
    } catch (const std::exception&) {
    }
  });
  std::this_thread::sleep_for(150ms);
#ifdef NDEBUG
  EXPECT_EQ(testing::MessageOf([&] { transport.Get(silent.Url()); }),
            "The connection to the map service is already in use by another call");
#else
  EXPECT_DEATH(transport.Get(silent.Url()), "two threads at once");
#endif
  AbortServiceTransfers();
  first.join();
}

}  // namespace
}  // namespace quorvil
