// The map service's HTTP server in this process, with deadlines and bounds short enough
// to watch them act.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mapservice/HttpListener.h"
#include "support/RawHttpClient.h"

namespace quorvil::mapservice {
namespace {

using namespace std::chrono_literals;
using quorvil::testing::TRawHttpClient;
using Clock = std::chrono::steady_clock;

class HttpListenerTest : public ::testing::Test {
 protected:
  void Start(HttpListener::Options options) {
    // Dataset work waits on the test's gate, or on the stop.
    options.slowHandler = [this](const HttpRequest& req) {
      if (req.path == "/hang") {
        hanging_.set_value();
        gate_.get_future().wait();
        return HttpResponse{200, "text/plain", "late", {}, false};
      }
      listener_->Sleep(10s);
      return HttpResponse{200, "text/plain", "slow", {}, false};
    };
    listener_ = std::make_unique<HttpListener>(
        options,
        [this](const HttpRequest& req) {
          if (req.path == "/sleep") listener_->Sleep(10s);
          if (req.path == "/dataset" || req.path == "/hang") throw ESlowWork();
          if (req.path.starts_with("/inplace")) {
            if (!HttpListener::TakeSlowWork()) throw ESlowWork();
            if (req.path == "/inplace-hang") listener_->Sleep(10s);
            return HttpResponse{200, "text/plain", "in place", {}, false};
          }
          return HttpResponse{200, "text/plain", "ok:" + req.method + ":" + req.body, {}, false};
        },
        [](const HttpRequest&, int status, const std::string& why) {
          return HttpResponse{status, "text/plain", why, {}, false};
        });
    port_ = listener_->Bind("127.0.0.1", 0);
    ASSERT_GT(port_, 0);
    runner_ = std::thread([this] { ran_ = listener_->Run(); });
  }
  void TearDown() override {
    if (listener_) listener_->Stop();
    if (runner_.joinable()) runner_.join();
  }

  static HttpListener::Options Quick() {
    HttpListener::Options options;
    options.requestTimeout = 300ms;
    options.idleTimeout = 300ms;
    options.lingerTime = 300ms;
    options.limits.maxBodyBytes = 1000;
    return options;
  }

  std::unique_ptr<HttpListener> listener_;
  std::thread runner_;
  std::atomic<bool> ran_{false};
  int port_ = 0;
  std::promise<void> gate_;
  std::promise<void> hanging_;  // set when the hung request holds its slow place
};

TEST_F(HttpListenerTest, ARequestThatTricklesPastItsDeadlineGets408) {
  Start(Quick());
  TRawHttpClient slow(port_);
  const auto start = Clock::now();
  // Each byte comes well within any per-read timeout; the whole never arrives in time.
  bool cut = false;
  for (const char c : std::string("GET / HTTP/1.1\r\nHost: x\r\n")) {
    if (!slow.Send(std::string(1, c))) {
      cut = true;
      break;
    }
    std::this_thread::sleep_for(25ms);
  }
  const std::string answer = slow.ReadUntilClosed(2s);
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 408 Request Timeout\r\n")) << answer << cut;
  EXPECT_NE(answer.find("Connection: close"), std::string::npos);
  EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(HttpListenerTest, SilentAndIdleConnectionsAreClosedQuietly) {
  Start(Quick());
  TRawHttpClient silent(port_);
  EXPECT_TRUE(silent.ClosedWithin(2s));
  TRawHttpClient idle(port_);
  ASSERT_TRUE(idle.Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(idle.ReadAnswer().find("ok:GET:"), std::string::npos);
  EXPECT_TRUE(idle.ClosedWithin(2s));  // kept alive, then let go
}

TEST_F(HttpListenerTest, OpenConnectionsAreBounded) {
  auto options = Quick();
  options.maxConnections = 3;
  options.requestTimeout = 5s;
  options.idleTimeout = 5s;
  Start(options);
  // Idle connections make room for a new one...
  std::vector<std::unique_ptr<TRawHttpClient>> idle;
  for (int i = 0; i < 3; ++i) idle.push_back(std::make_unique<TRawHttpClient>(port_));
  std::this_thread::sleep_for(100ms);
  TRawHttpClient fourth(port_);
  ASSERT_TRUE(fourth.Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(fourth.ReadAnswer().find("ok:GET:"), std::string::npos);
  EXPECT_TRUE(idle.front()->ClosedWithin(1s));
  idle.clear();
  std::this_thread::sleep_for(100ms);
  // ...and so does the connection that has sent least of its request for longest, which
  // hears why, not the newcomer.
  std::vector<std::unique_ptr<TRawHttpClient>> busy;
  for (int i = 0; i < 3; ++i) {
    busy.push_back(std::make_unique<TRawHttpClient>(port_));
    ASSERT_TRUE(busy.back()->Send(i == 1 ? "GET / HT" : "GET / HTTP/1.1\r\nHost: x\r\n"));
    std::this_thread::sleep_for(50ms);
  }
  TRawHttpClient newcomer(port_);
  ASSERT_TRUE(newcomer.Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(newcomer.ReadAnswer().find("ok:GET:"), std::string::npos);
  EXPECT_TRUE(busy[1]->ReadUntilClosed().starts_with("HTTP/1.1 503 Service Unavailable\r\n"));
  // The others are still served when they finish.
  ASSERT_TRUE(busy.front()->Send("\r\n"));
  EXPECT_NE(busy.front()->ReadAnswer().find("ok:GET:"), std::string::npos);
}

TEST_F(HttpListenerTest, ABodyOverTheLimitIsRefusedBeforeItIsSent) {
  Start(Quick());
  TRawHttpClient client(port_);
  ASSERT_TRUE(client.Send("POST / HTTP/1.1\r\nContent-Length: 5000\r\n\r\n"));
  const std::string answer = client.ReadAnswer(2s);
  EXPECT_TRUE(answer.starts_with("HTTP/1.1 413 Content Too Large\r\n")) << answer;
  EXPECT_NE(answer.find("larger than 1000 bytes"), std::string::npos);
  // What the client sends after the refusal is dropped, and the connection ends.
  client.Send(std::string(5000, 'x'));
  EXPECT_TRUE(client.ClosedWithin(2s));
}

TEST_F(HttpListenerTest, ContinueAndPipelinedRequests) {
  Start(Quick());
  TRawHttpClient client(port_);
  ASSERT_TRUE(client.Send("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n"));
  EXPECT_EQ(client.ReadUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  ASSERT_TRUE(client.Send("abc"));
  EXPECT_NE(client.ReadAnswer().find("ok:POST:abc"), std::string::npos);
  // Two requests in one write get two answers, in order; HEAD gets no body.
  ASSERT_TRUE(client.Send(
      "POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\n1HEAD / HTTP/1.1\r\nConnection: close\r\n\r\n"));
  const std::string both = client.ReadUntilClosed(2s);
  const std::size_t first = both.find("ok:POST:1");
  ASSERT_NE(first, std::string::npos) << both;
  const std::string second = both.substr(first + 9);
  EXPECT_TRUE(second.starts_with("HTTP/1.1 200 OK\r\n")) << second;
  EXPECT_NE(second.find("Content-Length: 8\r\n"), std::string::npos);  // "ok:HEAD:"
  EXPECT_TRUE(second.ends_with("\r\n\r\n")) << second;
}

TEST_F(HttpListenerTest, StopEndsTheServerAtOnceWhateverClientsDo) {
  Start(Quick());
  TRawHttpClient kept(port_), sleeping(port_), half(port_);
  ASSERT_TRUE(kept.Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(kept.ReadAnswer().find("ok:GET:"), std::string::npos);
  ASSERT_TRUE(sleeping.Send("GET /sleep HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(half.Send("GET / HT"));
  std::this_thread::sleep_for(100ms);
  const auto start = Clock::now();
  listener_->Stop();
  runner_.join();
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_TRUE(ran_);
  EXPECT_TRUE(kept.ClosedWithin(1s));
}

// Slow work past its deadline is a refusal while other requests are answered; a stop
// does not wait for slow work that never ends.
TEST_F(HttpListenerTest, SlowWorkHasADeadlineAndNeverHoldsTheOthersOrTheStop) {
  auto options = Quick();
  options.workers = 2;
  options.slowWorkers = 2;
  options.slowTimeout = 300ms;
  options.idleTimeout = 5s;
  Start(options);
  std::vector<std::unique_ptr<TRawHttpClient>> slow;
  for (int i = 0; i < 4; ++i) {
    slow.push_back(std::make_unique<TRawHttpClient>(port_));
    ASSERT_TRUE(
        slow.back()->Send(i == 0 ? "GET /hang HTTP/1.1\r\n\r\n" : "GET /dataset HTTP/1.1\r\n\r\n"));
    // The hung request first holds a slow place, whatever order the others arrive in.
    if (i == 0) ASSERT_EQ(hanging_.get_future().wait_for(2s), std::future_status::ready);
  }
  // The slow handlers sleep far longer than any of these waits: an answer held behind
  // them would never come in time, however loaded the machine.
  TRawHttpClient other(port_);
  ASSERT_TRUE(other.Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(other.ReadAnswer(2s).find("ok:GET:"), std::string::npos);
  for (auto& client : slow) {
    const std::string answer = client->ReadAnswer(2s);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 500 ")) << answer;
    EXPECT_NE(answer.find("The imagery did not answer within 1 s"), std::string::npos) << answer;
  }
  // The connection lives on, and a late answer never arrives in place of the next one.
  ASSERT_TRUE(slow[1]->Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(slow[1]->ReadAnswer(2s).find("ok:GET:"), std::string::npos);
  const auto start = Clock::now();
  listener_->Stop();
  runner_.join();
  EXPECT_LT(Clock::now() - start, 3s);
  EXPECT_TRUE(listener_->Abandoned());
  gate_.set_value();
}

// Slow work taken on by the worker that read the request has the same bound of places
// and the same deadline, and leaves its ordinary place to the others.
TEST_F(HttpListenerTest, SlowWorkInPlaceKeepsItsBoundAndDeadline) {
  auto options = Quick();
  options.workers = 1;
  options.slowWorkers = 1;
  options.slowTimeout = 300ms;
  options.idleTimeout = 5s;
  Start(options);
  EXPECT_FALSE(HttpListener::TakeSlowWork());  // not on a worker
  TRawHttpClient first(port_), second(port_), other(port_);
  ASSERT_TRUE(first.Send("GET /inplace HTTP/1.1\r\n\r\n"));
  EXPECT_NE(first.ReadAnswer(2s).find("in place"), std::string::npos);
  ASSERT_TRUE(first.Send("GET /inplace-hang HTTP/1.1\r\n\r\n"));
  std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(second.Send("GET /inplace-hang HTTP/1.1\r\n\r\n"));  // no slow place left
  ASSERT_TRUE(other.Send("GET / HTTP/1.1\r\n\r\n"));
  EXPECT_NE(other.ReadAnswer(200ms).find("ok:GET:"), std::string::npos);
  for (TRawHttpClient* client : {&first, &second}) {
    const std::string answer = client->ReadAnswer(2s);
    EXPECT_NE(answer.find("The imagery did not answer within 1 s"), std::string::npos) << answer;
  }
}

}  // namespace
}  // namespace quorvil::mapservice
