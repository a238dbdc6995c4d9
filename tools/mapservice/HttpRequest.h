#pragma once

// HTTP/1.1 requests as the map service reads them off a connection, and the answers it
// writes back. The reader takes bytes as they arrive, in pieces of any size, and never
// holds more than its limits allow: a request that would pass them is refused as soon
// as that is known, before its body is read.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvil::mapservice {

struct HttpLimits {
  std::size_t maxHeaderBytes = 16 << 10;  // request line, header fields and trailers
  std::size_t maxTargetBytes = 8 << 10;
  std::size_t maxBodyBytes = 1 << 20;
};

struct HttpRequest {
  std::string method;
  std::string target;  // as sent, origin form
  std::string path;    // target up to "?"
  std::string query;   // after "?", empty without one
  int minorVersion = 1;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;

  // The first header of that name (names compare without regard to case), or "".
  std::string Header(std::string_view name) const;
  bool KeepAlive() const;
};

struct HttpResponse {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
  bool close = false;  // close the connection after this answer
};

// "Not Found" for 404 and so on; "Unknown" for codes the service never sends.
std::string_view ReasonPhrase(int status);

// The bytes of an answer. `headOnly` leaves the body out (HEAD) but keeps its length.
std::string SerializeResponse(const HttpResponse& response, bool headOnly, bool keepAlive);

class HttpRequestParser {
 public:
  enum class State { Reading, Complete, Failed };

  explicit HttpRequestParser(HttpLimits limits = {}) : limits_(limits) {}

  // Reads from the front of `bytes` and returns how many it took. It stops at the end
  // of a complete request, so bytes of a following one are left to the caller, and
  // takes nothing once it is Complete or Failed.
  std::size_t Feed(std::string_view bytes);

  State GetState() const { return state_; }
  // Whether any byte of this request has arrived yet (blank lines before it do not count).
  bool Started() const { return started_; }
  // Whether the header section is read and the client waits for "100 Continue" before it
  // sends the body.
  bool WantsContinue() const { return wantsContinue_; }
  const HttpRequest& Request() const { return request_; }
  HttpRequest TakeRequest() { return std::move(request_); }

  // Why a request was refused: the status to answer with and a readable message.
  int ErrorStatus() const { return errorStatus_; }
  const std::string& ErrorMessage() const { return errorMessage_; }

  // Ready for the next request on the same connection.
  void Reset();

 private:
  enum class Phase { Head, Body, ChunkSize, ChunkData, ChunkDataEnd, Trailer, Done };

  std::size_t FeedHead(std::string_view bytes);
  std::size_t FeedBody(std::string_view bytes);
  std::size_t FeedLine(std::string_view bytes);
  void ParseHead();
  void ParseRequestLine(std::string_view line);
  void ParseHeaderLine(std::string_view line);
  void StartBody();
  void ParseChunkSize();
  void Fail(int status, std::string message);
  void Finish();

  HttpLimits limits_;
  State state_ = State::Reading;
  Phase phase_ = Phase::Head;
  bool started_ = false;
  bool wantsContinue_ = false;
  HttpRequest request_;
  std::string head_;             // the header section, or the current chunk-size or trailer line
  std::uint64_t remaining_ = 0;  // bytes left of the body or of the current chunk
  std::size_t trailerBytes_ = 0;
  int errorStatus_ = 0;
  std::string errorMessage_;
};

}  // namespace quorvil::mapservice
