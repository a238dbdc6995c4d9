#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapservice/HttpRequest.h"

namespace quorvil::mapservice {
namespace {

using State = HttpRequestParser::State;

constexpr HttpLimits kLimits{256, 64, 100};

struct Outcome {
  State state = State::Reading;
  int status = 0;
  std::string method, path, query, body;
  std::size_t taken = 0;
};

// Feeds `bytes` in pieces of `piece` bytes, as a socket might deliver them.
Outcome Parse(std::string_view bytes, std::size_t piece = 1 << 20) {
  HttpRequestParser parser(kLimits);
  Outcome out;
  for (std::size_t at = 0; at < bytes.size() && parser.GetState() == State::Reading;) {
    const std::string_view next = bytes.substr(at, piece);
    const std::size_t taken = parser.Feed(next);
    out.taken += taken;
    at += next.size();
    if (taken < next.size()) break;
  }
  out.state = parser.GetState();
  out.status = parser.ErrorStatus();
  out.method = parser.Request().method;
  out.path = parser.Request().path;
  out.query = parser.Request().query;
  out.body = parser.Request().body;
  return out;
}

TEST(HttpRequestParser, ReadsRequestsWholeOrInPiecesAndRefusesWhatIsWrong) {
  const std::string big(101, 'x');
  const struct {
    const char* what;
    std::string bytes;
    State state;
    int status;
    std::string method{}, path{}, query{}, body{};
  } rows[] = {
      {"get", "GET /terraservice.asmx?WSDL HTTP/1.1\r\nHost: h\r\n\r\n", State::Complete, 0, "GET",
       "/terraservice.asmx", "WSDL", ""},
      {"post", "POST /s HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", State::Complete, 0, "POST",
       "/s", "", "hello"},
      {"bare line feeds", "POST /s HTTP/1.0\nContent-Length: 2\n\nhi", State::Complete, 0, "POST",
       "/s", "", "hi"},
      {"blank lines first", "\r\n\r\nGET / HTTP/1.1\r\n\r\n", State::Complete, 0, "GET", "/", "",
       ""},
      {"absolute form", "GET http://host:1/a/b?c HTTP/1.1\r\n\r\n", State::Complete, 0, "GET",
       "/a/b", "c", ""},
      {"chunked",
       "POST /s HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
       "5;ext=1\r\nhello\r\n6\r\n world\r\n0\r\nTrailer: t\r\n\r\n",
       State::Complete, 0, "POST", "/s", "", "hello world"},
      {"body at the limit", "POST /s HTTP/1.1\r\nContent-Length: 100\r\n\r\n" + big.substr(1),
       State::Complete, 0, "POST", "/s", "", big.substr(1)},
      {"incomplete body", "POST /s HTTP/1.1\r\nContent-Length: 9\r\n\r\nabc", State::Reading, 0,
       "POST", "/s", "", "abc"},
      {"declared body over the limit", "POST /s HTTP/1.1\r\nContent-Length: 101\r\n\r\n" + big,
       State::Failed, 413, "POST", "/s", "", ""},
      {"huge length", "POST /s HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
       State::Failed, 413},
      {"negative length", "POST /s HTTP/1.1\r\nContent-Length: -5\r\n\r\n", State::Failed, 400},
      {"differing lengths", "POST /s HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
       State::Failed, 400},
      {"chunk over the limit", "POST /s HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n40000000\r\n",
       State::Failed, 413},
      {"chunks adding up over the limit",
       "POST /s HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n32\r\n" + big.substr(0, 50) +
           "\r\n33\r\n",
       State::Failed, 413},
      {"chunk longer than its size",
       "POST /s HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nab\r\n", State::Failed, 400},
      {"chunk size not hex", "POST /s HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       State::Failed, 400},
      {"both framings",
       "POST /s HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n", State::Failed,
       400},
      {"unknown coding", "POST /s HTTP/1.1\r\nTransfer-Encoding: gzip, chunked\r\n\r\n",
       State::Failed, 501},
      {"chunked HTTP/1.0", "POST /s HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n", State::Failed,
       400},
      {"HTTP/2", "GET / HTTP/2.0\r\n\r\n", State::Failed, 505},
      {"no version", "GET /\r\n\r\n", State::Failed, 400},
      {"garbage", "\x16\x03\x01\x02\x01\xfc\x03\x03\r\n\r\n", State::Failed, 400},
      {"target not a path", "GET terraservice HTTP/1.1\r\n\r\n", State::Failed, 400},
      {"target too long", "GET /" + std::string(70, 'a') + " HTTP/1.1\r\n\r\n", State::Failed, 414},
      {"endless request line", "GET /" + std::string(300, 'a'), State::Failed, 414},
      {"long request line, then its end", "GET " + std::string(150, 'a') + "\r\n\r\n",
       State::Failed, 414},
      {"header too large", "GET / HTTP/1.1\r\nX: " + std::string(300, 'a') + "\r\n\r\n",
       State::Failed, 431},
      {"folded header", "GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n", State::Failed, 400},
      {"space before colon", "GET / HTTP/1.1\r\nX : a\r\n\r\n", State::Failed, 400},
      {"control in a value", "GET / HTTP/1.1\r\nX: a\x01z\r\n\r\n", State::Failed, 400},
      {"bare carriage return", "GET / HTTP/1.1\r\nX: a\rb\r\n\r\n", State::Failed, 400},
  };
  for (const auto& row : rows) {
    for (const std::size_t piece : {std::size_t{1} << 20, std::size_t{1}, std::size_t{7}}) {
      SCOPED_TRACE(std::string(row.what) + ", pieces of " + std::to_string(piece));
      const Outcome got = Parse(row.bytes, piece);
      EXPECT_EQ(got.state, row.state);
      EXPECT_EQ(got.status, row.status);
      if (row.state == State::Failed) continue;
      EXPECT_EQ(got.method, row.method);
      EXPECT_EQ(got.path, row.path);
      EXPECT_EQ(got.query, row.query);
      EXPECT_EQ(got.body, row.body);
    }
  }
}

TEST(HttpRequestParser, RefusesABodyOverTheLimitBeforeReadingIt) {
  // The refusal comes with the header: not one byte of the body is taken.
  const std::string head = "POST /s HTTP/1.1\r\nContent-Length: 5000000\r\n\r\n";
  const Outcome declared = Parse(head + std::string(1000, 'x'));
  EXPECT_EQ(declared.status, 413);
  EXPECT_EQ(declared.taken, head.size());
  // A chunked body is counted as it arrives: refused at the chunk that passes the limit.
  const std::string chunked = "POST /s HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string stream = chunked;
  for (int i = 0; i < 1000; ++i) stream += "a\r\n0123456789\r\n";
  const Outcome counted = Parse(stream, 3);
  EXPECT_EQ(counted.status, 413);
  EXPECT_LT(counted.taken, chunked.size() + 11 * 15);
}

TEST(HttpRequestParser, LeavesAPipelinedRequestForTheNextRound) {
  const std::string first = "POST /a HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc";
  const std::string second = "GET /b HTTP/1.1\r\n\r\n";
  HttpRequestParser parser(kLimits);
  const std::string both = first + second;
  EXPECT_EQ(parser.Feed(both), first.size());
  EXPECT_EQ(parser.GetState(), State::Complete);
  EXPECT_EQ(parser.Feed(second), 0u);  // takes nothing more until reset
  EXPECT_EQ(parser.TakeRequest().body, "abc");
  parser.Reset();
  EXPECT_FALSE(parser.Started());
  EXPECT_EQ(parser.Feed(second), second.size());
  EXPECT_EQ(parser.Request().path, "/b");
}

TEST(HttpRequestParser, ConnectionOptionsAndContinue) {
  const struct {
    std::string head;
    bool keepAlive, wantsContinue;
  } rows[] = {
      {"POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\n", true, false},
      {"POST / HTTP/1.1\r\nConnection: close\r\nContent-Length: 4\r\n\r\n", false, false},
      {"POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\n", false, false},
      {"POST / HTTP/1.0\r\nConnection: Keep-Alive\r\nContent-Length: 4\r\n\r\n", true, false},
      {"POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n", true, true},
      {"POST / HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 4\r\n\r\n", false, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.head);
    HttpRequestParser parser(kLimits);
    parser.Feed(row.head);
    EXPECT_EQ(parser.WantsContinue(), row.wantsContinue);
    EXPECT_EQ(parser.Request().KeepAlive(), row.keepAlive);
    parser.Feed("body");
    EXPECT_EQ(parser.GetState(), State::Complete);
    EXPECT_FALSE(parser.WantsContinue());
  }
}

TEST(HttpRequestParser, AnswersCarryTheirLengthAndConnection) {
  HttpResponse response{413, "text/xml", "<x/>", {{"Allow", "POST"}}, false};
  EXPECT_EQ(SerializeResponse(response, false, true),
            "HTTP/1.1 413 Content Too Large\r\nContent-Type: text/xml\r\nContent-Length: 4\r\n"
            "Allow: POST\r\nConnection: keep-alive\r\n\r\n<x/>");
  response.close = true;
  EXPECT_EQ(SerializeResponse(response, true, true),
            "HTTP/1.1 413 Content Too Large\r\nContent-Type: text/xml\r\nContent-Length: 4\r\n"
            "Allow: POST\r\nConnection: close\r\n\r\n");
}

}  // namespace
}  // namespace quorvil::mapservice
