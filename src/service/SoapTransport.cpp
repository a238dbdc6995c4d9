#include "service/SoapTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cassert>
#include <mutex>
#include <vector>

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

std::atomic<std::uint64_t> abortGeneration{0};
thread_local const TTransferScope* currentScope = nullptr;

// The multi handles with a transfer in flight, so that an abort can wake them. A handle
// leaves the list before its transfer ends, under the same lock, so a wake-up never
// reaches a handle that is gone.
struct TActiveTransfers {
  std::mutex mutex;
  std::vector<CURLM*> multis;
};

TActiveTransfers& Active() {
  static TActiveTransfers active;
  return active;
}

void WakeAll() {
  TActiveTransfers& active = Active();
  std::lock_guard lock(active.mutex);
  for (CURLM* multi : active.multis) curl_multi_wakeup(multi);
}

class TActiveTransfer {
 public:
  explicit TActiveTransfer(CURLM* multi) : multi_(multi) {
    TActiveTransfers& active = Active();
    std::lock_guard lock(active.mutex);
    active.multis.push_back(multi_);
  }
  ~TActiveTransfer() {
    TActiveTransfers& active = Active();
    std::lock_guard lock(active.mutex);
    active.multis.erase(std::find(active.multis.begin(), active.multis.end(), multi_));
  }
  TActiveTransfer(const TActiveTransfer&) = delete;
  TActiveTransfer& operator=(const TActiveTransfer&) = delete;

 private:
  CURLM* multi_;
};

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
  std::string* body = nullptr;
  std::size_t limit = 0;
  bool tooLarge = false;
};

std::size_t WriteToSink(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  if (sink->body->size() + bytes > sink->limit) {
    sink->tooLarge = true;
    return 0;  // makes curl end the transfer with a write error
  }
  sink->body->append(data, bytes);
  return bytes;
}

struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  void Add(const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown) throw EQuorvilError("Out of memory while building an HTTP request");
    list = grown;
  }
};

}  // namespace

std::string ByteSizeText(std::size_t bytes) {
  if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
    return std::to_string(bytes / (1024 * 1024)) + " MB";
  return std::to_string((bytes + 1023) / 1024) + " KB";
}

void AbortSoapTransfers() {
  abortGeneration.fetch_add(1);
  WakeAll();
}

std::uint64_t SoapAbortGeneration() { return abortGeneration.load(); }

void WakeSoapTransfers() { WakeAll(); }

TTransferScope::TTransferScope(std::uint64_t generation, const std::atomic<bool>* stop)
    : outer_(currentScope), generation_(generation), stop_(stop) {
  currentScope = this;
}

TTransferScope::~TTransferScope() { currentScope = outer_; }

namespace {

// Marks a transport in use for one call; a second caller meanwhile is a fault of the
// program, never a state to wait out.
class TSingleUser {
 public:
  explicit TSingleUser(std::atomic<bool>& inUse) : inUse_(inUse) {
    if (inUse_.exchange(true)) {
      assert(!"a SOAP transport is used by two threads at once");
      throw EQuorvilError("The connection to the map service is already in use by another call");
    }
  }
  ~TSingleUser() { inUse_.store(false); }
  TSingleUser(const TSingleUser&) = delete;
  TSingleUser& operator=(const TSingleUser&) = delete;

 private:
  std::atomic<bool>& inUse_;
};

}  // namespace

struct CurlSoapTransport::Handle {
  CURL* curl = nullptr;
  CURLM* multi = nullptr;
  char error[CURL_ERROR_SIZE] = {};
  ~Handle() {
    if (curl) curl_easy_cleanup(curl);
    if (multi) curl_multi_cleanup(multi);
  }
};

CurlSoapTransport::CurlSoapTransport() : handle_(std::make_unique<Handle>()) {
  InitCurlOnce();
  handle_->curl = curl_easy_init();
  handle_->multi = curl_multi_init();
  if (!handle_->curl || !handle_->multi) throw EQuorvilError("Cannot start the HTTP client");
}

CurlSoapTransport::~CurlSoapTransport() = default;

void CurlSoapTransport::SetTimeouts(std::chrono::milliseconds connect,
                                    std::chrono::milliseconds wholeCall) {
  connectTimeout_ = connect;
  callTimeout_ = wholeCall;
}

HttpAnswer CurlSoapTransport::Post(const std::string& url, const std::string& soapAction,
                                   const std::string& contentType, const std::string& body) {
  const TSingleUser user(inUse_);
  CURL* curl = handle_->curl;
  HeaderList headers;
  headers.Add("Content-Type: " + contentType);
  headers.Add("SOAPAction: \"" + soapAction + "\"");
  headers.Add("Expect:");  // no 100-continue round trip before each envelope
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
  HttpAnswer answer = Perform(url);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
  return answer;
}

HttpAnswer CurlSoapTransport::Get(const std::string& url) {
  const TSingleUser user(inUse_);
  CURL* curl = handle_->curl;
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  return Perform(url);
}

HttpAnswer CurlSoapTransport::Perform(const std::string& url) {
  CURL* curl = handle_->curl;
  HttpAnswer answer;
  Sink sink{&answer.Body, AnswerLimit()};
  handle_->error[0] = '\0';
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(callTimeout_.count()));
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, handle_->error);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToSink);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

  const auto code = static_cast<CURLcode>(Run());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  if (sink.tooLarge) {
    throw EAnswerTooLarge("The answer from " + url + " is larger than " +
                          ByteSizeText(AnswerLimit()));
  }
  if (code != CURLE_OK) {
    const std::string detail = handle_->error[0] ? handle_->error : curl_easy_strerror(code);
    throw EQuorvilError("No answer from the map service at " + url + ": " + detail);
  }
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.Status);
  return answer;
}

int CurlSoapTransport::Run() {
  const TTransferScope* scope = currentScope;
  const std::uint64_t begun = scope ? scope->generation_ : SoapAbortGeneration();
  const std::atomic<bool>* stop = scope ? scope->stop_ : nullptr;
  CURLM* multi = handle_->multi;
  if (curl_multi_add_handle(multi, handle_->curl) != CURLM_OK) {
    throw EQuorvilError("Cannot start the HTTP client");
  }
  struct Detach {
    CURLM* multi;
    CURL* curl;
    ~Detach() { curl_multi_remove_handle(multi, curl); }
  } detach{multi, handle_->curl};
  // Registered before the first look at the flags: an abort from then on either is seen
  // by that look or leaves a wake-up that ends the next poll at once.
  TActiveTransfer active(multi);
  for (;;) {
    if (SoapAbortGeneration() != begun || (stop && stop->load())) throw ETransferAborted();
    int running = 0;
    CURLMcode status = curl_multi_perform(multi, &running);
    if (status != CURLM_OK) {
      throw EQuorvilError(std::string("The HTTP client failed: ") + curl_multi_strerror(status));
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg == CURLMSG_DONE) return message->data.result;
    }
    // curl shortens the wait to its own time-outs; an abort's wake-up ends it at once.
    status = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
    if (status != CURLM_OK) {
      throw EQuorvilError(std::string("The HTTP client failed: ") + curl_multi_strerror(status));
    }
  }
}

}  // namespace quorvil
