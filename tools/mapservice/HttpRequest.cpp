#include "mapservice/HttpRequest.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace quorvil::mapservice {

namespace {

// Chunk-size lines carry the size and optional extensions, which the service ignores.
constexpr std::size_t kMaxChunkLineBytes = 4096;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

bool IsToken(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c != '\0' && IsTokenChar(c); });
}

bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

std::string_view TrimBlanks(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

// The comma-separated elements of a list-valued header, blanks trimmed, empty ones left out.
std::vector<std::string_view> ListElements(std::string_view value) {
  std::vector<std::string_view> out;
  while (!value.empty()) {
    const std::size_t comma = std::min(value.find(','), value.size());
    if (const auto item = TrimBlanks(value.substr(0, comma)); !item.empty()) out.push_back(item);
    value.remove_prefix(std::min(comma + 1, value.size()));
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (EqualsNoCase(key, name)) return value;
  }
  return {};
}

bool HttpRequest::KeepAlive() const {
  bool close = false, keepAlive = false;
  for (const auto& [key, value] : headers) {
    if (!EqualsNoCase(key, "Connection")) continue;
    for (const auto option : ListElements(value)) {
      close = close || EqualsNoCase(option, "close");
      keepAlive = keepAlive || EqualsNoCase(option, "keep-alive");
    }
  }
  return !close && (minorVersion >= 1 || keepAlive);
}

std::string_view ReasonPhrase(int status) {
  static constexpr std::array<std::pair<int, std::string_view>, 14> kPhrases = {{
      {100, "Continue"},
      {200, "OK"},
      {400, "Bad Request"},
      {404, "Not Found"},
      {405, "Method Not Allowed"},
      {408, "Request Timeout"},
      {413, "Content Too Large"},
      {414, "URI Too Long"},
      {431, "Request Header Fields Too Large"},
      {500, "Internal Server Error"},
      {501, "Not Implemented"},
      {503, "Service Unavailable"},
      {505, "HTTP Version Not Supported"},
      {0, "Unknown"},
  }};
  for (const auto& [code, phrase] : kPhrases) {
    if (code == status) return phrase;
  }
  return kPhrases.back().second;
}

std::string SerializeResponse(const HttpResponse& response, bool headOnly, bool keepAlive) {
  std::string out = "HTTP/1.1 " + std::to_string(response.status) + " ";
  out += ReasonPhrase(response.status);
  out += "\r\n";
  if (!response.contentType.empty()) out += "Content-Type: " + response.contentType + "\r\n";
  out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  for (const auto& [name, value] : response.headers) out += name + ": " + value + "\r\n";
  out += keepAlive && !response.close ? "Connection: keep-alive\r\n" : "Connection: close\r\n";
  out += "\r\n";
  if (!headOnly) out += response.body;
  return out;
}

void HttpRequestParser::Reset() { *this = HttpRequestParser(limits_); }

void HttpRequestParser::Fail(int status, std::string message) {
  state_ = State::Failed;
  phase_ = Phase::Done;
  wantsContinue_ = false;
  errorStatus_ = status;
  errorMessage_ = std::move(message);
}

void HttpRequestParser::Finish() {
  state_ = State::Complete;
  phase_ = Phase::Done;
  wantsContinue_ = false;
}

std::size_t HttpRequestParser::Feed(std::string_view bytes) {
  std::size_t taken = 0;
  while (taken < bytes.size() && state_ == State::Reading) {
    const std::string_view rest = bytes.substr(taken);
    taken += phase_ == Phase::Head ? FeedHead(rest) : FeedBody(rest);
  }
  return taken;
}

std::size_t HttpRequestParser::FeedHead(std::string_view bytes) {
  std::size_t skipped = 0;
  if (!started_) {
    // Blank lines before a request are tolerated, as after a body that ended in an extra CRLF.
    while (skipped < bytes.size() && (bytes[skipped] == '\r' || bytes[skipped] == '\n')) ++skipped;
    if (skipped == bytes.size()) return skipped;
    started_ = true;
  }
  bytes.remove_prefix(skipped);
  // Taken at most one byte past the limit, so that holding the head costs nothing more.
  const std::size_t room = limits_.maxHeaderBytes + 1 - head_.size();
  const std::size_t add = std::min(room, bytes.size());
  const std::size_t scanFrom = head_.size() >= 2 ? head_.size() - 2 : 0;
  head_.append(bytes.substr(0, add));
  // Judged on the request line alone, so that the verdict does not depend on how the
  // bytes were split.
  const std::size_t lineLength = std::min(head_.find('\n'), head_.size());
  if (lineLength > limits_.maxTargetBytes + 64) {
    Fail(414,
         "The request line is longer than " + std::to_string(limits_.maxTargetBytes) + " bytes");
    return skipped + add;
  }
  for (std::size_t nl = head_.find('\n', scanFrom); nl != std::string::npos;
       nl = head_.find('\n', nl + 1)) {
    std::size_t end = 0;
    if (nl + 1 < head_.size() && head_[nl + 1] == '\n') {
      end = nl + 2;
    } else if (nl + 2 < head_.size() && head_[nl + 1] == '\r' && head_[nl + 2] == '\n') {
      end = nl + 3;
    }
    if (end == 0) continue;
    const std::size_t unused = head_.size() - end;
    head_.resize(end);
    ParseHead();
    return skipped + add - unused;
  }
  if (head_.size() > limits_.maxHeaderBytes) {
    Fail(431,
         "The request header is larger than " + std::to_string(limits_.maxHeaderBytes) + " bytes");
  }
  return skipped + add;
}

void HttpRequestParser::ParseHead() {
  std::string_view head = head_;
  bool first = true;
  while (state_ == State::Reading && !head.empty()) {
    const std::size_t nl = head.find('\n');
    std::string_view line = head.substr(0, nl);
    head.remove_prefix(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\r') != std::string_view::npos) {
      Fail(400, "The request holds a bare carriage return");
    } else if (first) {
      ParseRequestLine(line);
      first = false;
    } else if (!line.empty()) {
      ParseHeaderLine(line);
    }
  }
  head_.clear();
  if (state_ == State::Reading) StartBody();
}

void HttpRequestParser::ParseRequestLine(std::string_view line) {
  const std::size_t sp1 = line.find(' ');
  const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
    return Fail(400, "The request line is not 'method target version'");
  }
  const std::string_view method = line.substr(0, sp1);
  std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string_view version = line.substr(sp2 + 1);
  if (!IsToken(method)) return Fail(400, "The request method is not a token");
  if (target.size() > limits_.maxTargetBytes) {
    return Fail(414, "The request target is longer than " + std::to_string(limits_.maxTargetBytes) +
                         " bytes");
  }
  if (target.empty() || std::any_of(target.begin(), target.end(), IsControl)) {
    return Fail(400, "The request target is not valid");
  }
  const bool versionShape = version.size() == 8 && version.starts_with("HTTP/") &&
                            version[5] >= '0' && version[5] <= '9' && version[6] == '.' &&
                            version[7] >= '0' && version[7] <= '9';
  if (!versionShape) return Fail(400, "The request line names no HTTP version");
  if (version[5] != '1') return Fail(505, "Only HTTP/1.0 and HTTP/1.1 are served");
  request_.minorVersion = version[7] - '0';

  // A proxy's absolute form names the host too; only the path and query matter here.
  for (std::string_view scheme : {"http://", "https://"}) {
    if (target.size() >= scheme.size() && EqualsNoCase(target.substr(0, scheme.size()), scheme)) {
      const std::size_t slash = target.find('/', scheme.size());
      target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
  }
  if (target.front() != '/' && target != "*") return Fail(400, "The request target is not a path");
  request_.method = method;
  request_.target = target;
  const std::size_t question = target.find('?');
  request_.path = target.substr(0, question);
  if (question != std::string_view::npos) request_.query = target.substr(question + 1);
}

void HttpRequestParser::ParseHeaderLine(std::string_view line) {
  if (line.front() == ' ' || line.front() == '\t') {
    return Fail(400, "Folded header lines are not accepted");
  }
  const std::size_t colon = line.find(':');
  const std::string_view name = line.substr(0, colon);
  if (colon == std::string_view::npos || !IsToken(name)) {
    return Fail(400, "A header line is not 'name: value'");
  }
  const std::string_view value = TrimBlanks(line.substr(colon + 1));
  if (std::any_of(value.begin(), value.end(), [](char c) { return IsControl(c) && c != '\t'; })) {
    return Fail(400, "The header " + std::string(name) + " holds control characters");
  }
  request_.headers.emplace_back(name, value);
}

void HttpRequestParser::StartBody() {
  std::vector<std::string_view> codings;
  std::vector<std::string_view> lengths;
  bool expectContinue = false;
  for (const auto& [name, value] : request_.headers) {
    if (EqualsNoCase(name, "Transfer-Encoding")) {
      const auto items = ListElements(value);
      codings.insert(codings.end(), items.begin(), items.end());
      if (items.empty()) codings.push_back("");
    } else if (EqualsNoCase(name, "Content-Length")) {
      const auto items = ListElements(value);
      lengths.insert(lengths.end(), items.begin(), items.end());
      if (items.empty()) lengths.push_back("");
    } else if (EqualsNoCase(name, "Expect")) {
      expectContinue = EqualsNoCase(TrimBlanks(value), "100-continue");
    }
  }
  const std::string limit = std::to_string(limits_.maxBodyBytes);
  if (!codings.empty()) {
    // Both framings at once, or chunking in HTTP/1.0, is how requests get smuggled.
    if (!lengths.empty()) return Fail(400, "The request has both Content-Length and chunking");
    if (request_.minorVersion == 0) return Fail(400, "HTTP/1.0 requests cannot be chunked");
    if (codings.size() != 1 || !EqualsNoCase(codings[0], "chunked")) {
      return Fail(501, "Only the chunked transfer coding is understood");
    }
    phase_ = Phase::ChunkSize;
  } else if (!lengths.empty()) {
    std::uint64_t length = 0;
    bool tooLarge = false;
    for (const auto text : lengths) {
      if (text.empty() ||
          !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return Fail(400, "Content-Length '" + std::string(text) + "' is not a byte count");
      }
      std::uint64_t value = 0;
      for (const char c : text) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value > limits_.maxBodyBytes) {
          tooLarge = true;
          break;
        }
      }
      if (!tooLarge && text != lengths.front()) {
        return Fail(400, "The request has differing Content-Length values");
      }
      length = value;
    }
    if (tooLarge) return Fail(413, "The request is larger than " + limit + " bytes");
    if (length == 0) return Finish();
    remaining_ = length;
    // Room for what is said to come, but not more than a little before it does.
    request_.body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(length, 64 << 10)));
    phase_ = Phase::Body;
  } else {
    return Finish();
  }
  wantsContinue_ = expectContinue && request_.minorVersion >= 1;
}

std::size_t HttpRequestParser::FeedLine(std::string_view bytes) {
  const std::size_t nl = bytes.find('\n');
  const std::size_t take = nl == std::string_view::npos ? bytes.size() : nl + 1;
  if (phase_ == Phase::Trailer && trailerBytes_ + head_.size() + take > limits_.maxHeaderBytes) {
    Fail(431,
         "The request trailer is larger than " + std::to_string(limits_.maxHeaderBytes) + " bytes");
  } else if (phase_ != Phase::Trailer && head_.size() + take > kMaxChunkLineBytes) {
    Fail(400, "A chunk line is longer than " + std::to_string(kMaxChunkLineBytes) + " bytes");
  }
  if (state_ != State::Reading) return take;
  head_.append(bytes.substr(0, take));
  return take;
}

void HttpRequestParser::ParseChunkSize() {
  std::string_view line = head_;
  line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::uint64_t size = 0;
  std::size_t digits = 0;
  for (; digits < line.size() && HexDigit(line[digits]) >= 0; ++digits) {
    size = size * 16 + static_cast<std::uint64_t>(HexDigit(line[digits]));
    if (size > limits_.maxBodyBytes) break;
  }
  const std::string limit = std::to_string(limits_.maxBodyBytes);
  if (size > limits_.maxBodyBytes || request_.body.size() + size > limits_.maxBodyBytes) {
    return Fail(413, "The request is larger than " + limit + " bytes");
  }
  const std::string_view rest = TrimBlanks(line.substr(digits));
  if (digits == 0 || (!rest.empty() && rest.front() != ';')) {
    return Fail(400, "A chunk does not begin with its size");
  }
  remaining_ = size;
  phase_ = size == 0 ? Phase::Trailer : Phase::ChunkData;
}

std::size_t HttpRequestParser::FeedBody(std::string_view bytes) {
  wantsContinue_ = false;  // the body is coming
  if (phase_ == Phase::Body || phase_ == Phase::ChunkData) {
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, bytes.size()));
    request_.body.append(bytes.substr(0, take));
    remaining_ -= take;
    if (remaining_ == 0) {
      if (phase_ == Phase::Body) {
        Finish();
      } else {
        phase_ = Phase::ChunkDataEnd;
      }
    }
    return take;
  }
  const std::size_t take = FeedLine(bytes);
  if (state_ != State::Reading || head_.empty() || head_.back() != '\n') return take;
  const bool blank = head_ == "\n" || head_ == "\r\n";
  if (phase_ == Phase::ChunkSize) {
    ParseChunkSize();
  } else if (phase_ == Phase::ChunkDataEnd) {
    if (blank) {
      phase_ = Phase::ChunkSize;
    } else {
      Fail(400, "A chunk is longer than its size says");
    }
  } else if (blank) {
    Finish();
  } else {
    trailerBytes_ += head_.size();  // trailer fields are read and ignored
  }
  head_.clear();
  return take;
}

}  // namespace quorvil::mapservice
