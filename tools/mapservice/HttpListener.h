#pragma once

// The map service's HTTP/1.1 server: one thread watches every connection and reads
// requests as their bytes arrive, a fixed set of workers runs the handler on complete
// requests. A connection holds no thread while its client is slow, every request must
// arrive whole within a deadline, and the number of open connections is bounded, so
// that slow, silent or hostile clients cannot starve the others.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "mapservice/HttpRequest.h"

namespace quorvil::mapservice {

class HttpListener {
 public:
  struct Options {
    int workers = 8;
    // With each request's body held to the body limit, this also bounds the memory that
    // clients can make the service hold.
    std::size_t maxConnections = 128;
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
  };
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

 private:
  class Loop;
  std::unique_ptr<Loop> loop_;
};

}  // namespace quorvil::mapservice
