#pragma once

// The map service's HTTP/1.1 server: one thread watches every connection and reads
// requests as their bytes arrive, a fixed set of workers runs the handler on complete
// requests. A connection holds no thread while its client is slow, every request must
// arrive whole within a deadline, and the number of open connections is bounded, so
// that slow, silent or hostile clients cannot starve the others. When the bound is
// reached, the connection that has sent least of its request for longest makes room.
//
// Slow work (reading a dataset) has places of its own, with a deadline, so that it never
// takes every worker: the handler calls TakeSlowWork() and goes on with the request on
// its own thread when a slow place is free; otherwise it throws ESlowWork and
// `slowHandler` answers the request once a place is free.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "mapservice/HttpRequest.h"

namespace quorvil::mapservice {

// Thrown by the handler on an ordinary worker: the request needs a slow worker.
struct ESlowWork {};

// Raises this process's limit of open descriptors to the most it may have; returns it.
std::size_t RaiseDescriptorLimit();

class HttpListener {
 public:
  struct Options {
    int workers = 8;
    // With each request's body held to the body limit, this also bounds the memory that
    // clients can make the service hold. 0: as many as the descriptor limit leaves room
    // for, up to kMostConnections.
    std::size_t maxConnections = 0;
    // From the first byte of a request to its last, however slowly it trickles.
    std::chrono::milliseconds requestTimeout{10000};
    // A connection waiting for its (next) request.
    std::chrono::milliseconds idleTimeout{5000};
    std::chrono::milliseconds writeTimeout{30000};
    // After refusing a request, how long what the client still sends is read and dropped,
    // so that the refusal reaches it instead of being lost to a reset connection.
    std::chrono::milliseconds lingerTime{2000};
    std::size_t lingerBytes = 8 << 20;
    HttpLimits limits;
    // Places for requests the handler calls slow; none without a slow handler.
    int slowWorkers = 4;
    std::function<HttpResponse(const HttpRequest&)> slowHandler;
    // A slow request not answered by then is refused with 500.
    std::chrono::milliseconds slowTimeout{20000};
    // How long Stop() lets answers in progress finish before they are abandoned.
    std::chrono::milliseconds stopGrace{300};
  };
  static constexpr std::size_t kMostConnections = 10000;
  // Answers a complete request; runs on a worker thread, several at once.
  using Handler = std::function<HttpResponse(const HttpRequest&)>;
  // The answer to a request refused before it reached the handler (the status, e.g. 413,
  // and a readable reason). `request` holds what was read of it.
  using Refusal =
      std::function<HttpResponse(const HttpRequest& request, int status, const std::string& why)>;
  // Told of every answer; runs on any thread.
  using Logger = std::function<void(const HttpRequest&, const HttpResponse&)>;

  HttpListener(Options options, Handler handler, Refusal refusal, Logger logger = {});
  ~HttpListener();
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;

  // Listens on host:port (port 0 picks a free one); returns the port, or -1.
  int Bind(const std::string& host, int port);
  // Serves until Stop(); false when not bound or the server fails.
  bool Run();
  // Ends Run() within moments, from any thread. Answers still being made are dropped.
  void Stop();
  // Waits, or less once Stop() was called; false when stopped.
  bool Sleep(std::chrono::milliseconds time);
  // After Run(): whether answers still being made were abandoned on their threads. Their
  // handler may still use what it refers to, so the process must then end without
  // destroying it (std::_Exit); the listener itself is left to them.
  bool Abandoned() const;

  // From a handler on a worker: whether the request may go on as slow work on this
  // thread now, under the slow deadline (true again once it is). False elsewhere.
  static bool TakeSlowWork();

 private:
  class Loop;
  std::unique_ptr<Loop> loop_;
};

}  // namespace quorvil::mapservice
