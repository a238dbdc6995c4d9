#include <gtest/gtest.h>

#include <thread>

#include "platform/ProgramError.h"
#include "service/SoapTransport.h"
#include "service/TerraServiceSupport.h"
#include "service/TileStore.h"
#include "support/FakeTerraService.h"
#include "support/Gate.h"
#include "support/TempFolder.h"

namespace quorvil {
namespace {

using testing::TFakeTerraService;

const TileId kTile{Theme::Photo, Scale::Scale1m, 18, 5, 6};

std::vector<std::uint8_t> SomeBytes(int seed) {
  std::vector<std::uint8_t> bytes(900);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 3 + seed);
  return bytes;
}

TTileStoreSettings SettingsFor(const std::string& folder, int connections) {
  return {folder + "/", 1000, 10, "", connections};
}

TEST(TileDownloads, ATileWantedByTwoCallersAtOnceIsFetchedOnce) {
  testing::TTempFolder temp;
  auto service = std::make_shared<TFakeTerraService>();
  service->SetTile(kTile, SomeBytes(1));
  testing::TGate gate;
  service->beforeTile = [&](const TileId&) { gate.Pass(); };
  TTileStore store(SettingsFor(temp / "Cache", 8), service);

  TMemoryStream first;
  std::thread caller([&] { store.Load(first, kTile); });
  EXPECT_TRUE(gate.WaitForArrivals(1));  // the first caller's download is on the wire
  TTileRequest second = store.Request(kTile);
  gate.Open();
  TMemoryStream stream;
  store.Take(second, stream);
  caller.join();

  EXPECT_EQ(stream.Bytes(), SomeBytes(1));
  EXPECT_EQ(first.Bytes(), SomeBytes(1));
  EXPECT_EQ(service->CallCount("GetTile"), 1);
  EXPECT_TRUE(store.IndexContains(TileName(kTile)));
}

// A request made after an abort does not join the download the abort is ending.
TEST(TileDownloads, ARequestAfterAnAbortDoesNotTakeTheAbortOfTheDownloadOnTheWire) {
  testing::TTempFolder temp;
  auto service = std::make_shared<TFakeTerraService>();
  service->SetTile(kTile, SomeBytes(3));
  testing::TGate gate;
  // As a transfer on the wire does, the first ends in the abort that came while it ran.
  service->beforeTile = [&](const TileId&) {
    const std::uint64_t begun = SoapAbortGeneration();
    gate.Pass();
    if (SoapAbortGeneration() != begun) throw ETransferAborted();
  };
  TTileStore store(SettingsFor(temp / "Cache", 8), service);
  std::thread caller([&] {
    TMemoryStream first;
    EXPECT_THROW(store.Load(first, kTile), ETransferAborted);
  });
  EXPECT_TRUE(gate.WaitForArrivals(1));
  AbortSoapTransfers();
  TTileRequest second = store.Request(kTile);
  gate.Open();
  TMemoryStream stream;
  EXPECT_NO_THROW(store.Take(second, stream));
  caller.join();
  EXPECT_EQ(stream.Bytes(), SomeBytes(3));
}

TEST(TileDownloads, AFailedDownloadFailsEveryoneWhoWaitedAndIsTriedAgainLater) {
  testing::TTempFolder temp;
  auto service = std::make_shared<TFakeTerraService>();
  service->SetTile(kTile, SomeBytes(2));
  service->failures = 1;
  service->failureMessage = "HTTP error 503";
  testing::TGate gate;
  service->beforeTile = [&](const TileId&) { gate.Pass(); };
  TTileStore store(SettingsFor(temp / "Cache", 8), service);

  TTileRequest one = store.Request(kTile);
  EXPECT_TRUE(gate.WaitForArrivals(1));
  TTileRequest two = store.Request(kTile);
  gate.Open();
  for (TTileRequest* request : {&one, &two}) {
    TMemoryStream stream;
    try {
      store.Take(*request, stream);
      ADD_FAILURE() << "no error";
    } catch (const EQuorvilError& error) {
      EXPECT_STREQ(error.what(), "HTTP error 503");
    }
  }
  EXPECT_FALSE(store.IndexContains(TileName(kTile)));
  TMemoryStream stream;
  store.Load(stream, kTile);
  EXPECT_EQ(stream.Bytes(), SomeBytes(2));
  EXPECT_EQ(service->CallCount("GetTile"), 2);
}

TEST(TileDownloads, AtMostTheConnectionsAreOnTheWireAtOnce) {
  const struct {
    int connections, expected;
  } cases[] = {{1, 1}, {3, 3}, {8, 8}, {0, 1}, {40, kMaxTileConnections}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.connections);
    testing::TTempFolder temp;
    auto service = std::make_shared<TFakeTerraService>();
    testing::TGate gate;
    service->beforeTile = [&](const TileId&) { gate.Pass(); };
    {
      TTileStore store(SettingsFor(temp / "Cache", c.connections), service);
      std::vector<TTileRequest> requests;  // dropped before the store goes
      for (int x = 0; x < 20; ++x) {
        const TileId id{Theme::Photo, Scale::Scale1m, 18, x, 0};
        service->SetTile(id, SomeBytes(x));
        requests.push_back(store.Request(id));
      }
      EXPECT_TRUE(gate.WaitForArrivals(c.expected));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));  // room for one too many
      EXPECT_EQ(gate.Arrived(), c.expected);
      EXPECT_EQ(store.DownloadsPending(), 20);
      gate.Open();
      for (auto& request : requests) {
        TMemoryStream stream;
        store.Take(request, stream);
      }
      EXPECT_EQ(store.DownloadsPending(), 0);
    }
    EXPECT_EQ(service->CallCount("GetTile"), 20);
  }
}

TEST(TileDownloads, ARequestDroppedBeforeItsDownloadBeganGivesItUp) {
  testing::TTempFolder temp;
  auto service = std::make_shared<TFakeTerraService>();
  testing::TGate gate;
  service->beforeTile = [&](const TileId&) { gate.Pass(); };
  const TileId other{Theme::Photo, Scale::Scale1m, 18, 9, 9};
  service->SetTile(kTile, SomeBytes(1));
  service->SetTile(other, SomeBytes(2));
  TTileStore store(SettingsFor(temp / "Cache", 1), service);
  TTileRequest running = store.Request(kTile);
  EXPECT_TRUE(gate.WaitForArrivals(1));
  store.Request(other);  // dropped at once: nobody wants it any more
  EXPECT_EQ(store.DownloadsPending(), 1);
  gate.Open();
  TMemoryStream stream;
  store.Take(running, stream);
  store.Shutdown();
  EXPECT_EQ(service->tileRequests, std::vector<std::string>{TileName(kTile)});
  EXPECT_FALSE(store.IndexContains(TileName(other)));
}

}  // namespace
}  // namespace quorvil
