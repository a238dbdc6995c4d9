#include "service/SoapTransport.h"

#include <curl/curl.h>

#include <mutex>

#include "platform/ProgramError.h"

namespace quorvil {

namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
  std::string* body = nullptr;
  bool tooLarge = false;
};

std::size_t WriteToSink(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  const std::size_t bytes = size * count;
  if (sink->body->size() + bytes > kMaxSoapAnswerBytes) {
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

struct CurlSoapTransport::Handle {
  CURL* curl = nullptr;
  char error[CURL_ERROR_SIZE] = {};
  ~Handle() {
    if (curl) curl_easy_cleanup(curl);
  }
};

CurlSoapTransport::CurlSoapTransport() : handle_(std::make_unique<Handle>()) {
  InitCurlOnce();
  handle_->curl = curl_easy_init();
  if (!handle_->curl) throw EQuorvilError("Cannot start the HTTP client");
}

CurlSoapTransport::~CurlSoapTransport() = default;

void CurlSoapTransport::SetTimeouts(std::chrono::milliseconds connect,
                                    std::chrono::milliseconds wholeCall) {
  connectTimeout_ = connect;
  callTimeout_ = wholeCall;
}

HttpAnswer CurlSoapTransport::Post(const std::string& url, const std::string& soapAction,
                                   const std::string& contentType, const std::string& body) {
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
  CURL* curl = handle_->curl;
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  return Perform(url);
}

HttpAnswer CurlSoapTransport::Perform(const std::string& url) {
  CURL* curl = handle_->curl;
  HttpAnswer answer;
  Sink sink{&answer.Body};
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

  const CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  if (sink.tooLarge) {
    throw EQuorvilError("The answer from " + url + " is larger than " +
                        std::to_string(kMaxSoapAnswerBytes / (1024 * 1024)) + " MB");
  }
  if (code != CURLE_OK) {
    const std::string detail = handle_->error[0] ? handle_->error : curl_easy_strerror(code);
    throw EQuorvilError("No answer from the map service at " + url + ": " + detail);
  }
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.Status);
  return answer;
}

}  // namespace quorvil
