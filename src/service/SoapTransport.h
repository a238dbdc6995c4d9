#pragma once

// What carries SOAP messages to the map service and back: an abstract transport, so that
// tests can record what goes on the wire, and the HTTP transport the program uses.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ProgramError.h"

namespace quorvil {

// Larger answers are refused as they arrive: no area, place list or description comes
// near this. Tile answers have a limit of their own, far lower.
inline constexpr std::size_t kMaxSoapAnswerBytes = 4u * 1024 * 1024;

// One HTTP answer as it arrived, whatever its status.
struct HttpAnswer {
  long Status = 0;
  std::string Body;
};

// An answer refused as it arrived because it grew past the transport's answer limit.
class EAnswerTooLarge : public EQuorvilError {
 public:
  using EQuorvilError::EQuorvilError;
};

// Posts request envelopes and fetches documents. Post and Get return any answer the
// server sends, error statuses included; they throw EQuorvilError only when no answer
// arrives (refused, unresolved, timed out), and EAnswerTooLarge for one over the limit.
class SoapTransport {
 public:
  virtual ~SoapTransport() = default;

  virtual HttpAnswer Post(const std::string& url, const std::string& soapAction,
                          const std::string& contentType, const std::string& body) = 0;
  virtual HttpAnswer Get(const std::string& url) = 0;

  // Where calls go. Either the endpoint URL is set, or the WSDL location with the service
  // and port whose address the WSDL document names.
  const std::string& URL() const { return url_; }
  void SetURL(std::string url) { url_ = std::move(url); }
  const std::string& WSDLLocation() const { return wsdlLocation_; }
  void SetWSDLLocation(std::string location) { wsdlLocation_ = std::move(location); }
  const std::string& Service() const { return service_; }
  void SetService(std::string service) { service_ = std::move(service); }
  const std::string& Port() const { return port_; }
  void SetPort(std::string port) { port_ = std::move(port); }
  // The largest answer the following calls take (kMaxSoapAnswerBytes unless set).
  std::size_t AnswerLimit() const { return answerLimit_; }
  void SetAnswerLimit(std::size_t bytes) { answerLimit_ = bytes; }

 private:
  std::size_t answerLimit_ = kMaxSoapAnswerBytes;
  std::string url_;
  std::string wsdlLocation_;
  std::string service_;
  std::string port_;
};

// A dead or unreachable server must end a call in an error, not in a hung window.
inline constexpr std::chrono::milliseconds kSoapConnectTimeout{10'000};
inline constexpr std::chrono::milliseconds kSoapCallTimeout{60'000};
// "372 KB", "4 MB": a byte count as the messages about sizes give it.
std::string ByteSizeText(std::size_t bytes);

// ---- Aborting transfers from another thread ----------------------------------------------

// Ends every transfer begun before the call with ETransferAborted, within milliseconds;
// transfers begun later are not affected. Any thread may call it.
void AbortSoapTransfers();

// How many times AbortSoapTransfers has run: a transfer that counts as begun at one
// generation is aborted as soon as the generation moves on.
std::uint64_t SoapAbortGeneration();

// Wakes every transfer in flight to look at its scope's stop flag again.
void WakeSoapTransfers();

// While it lives, transfers on this thread count as begun at `generation` (taken when the
// work was asked for, which may be well before it reaches the wire), and end also when
// `*stop` turns true and WakeSoapTransfers is called.
class TTransferScope {
 public:
  explicit TTransferScope(std::uint64_t generation, const std::atomic<bool>* stop = nullptr);
  ~TTransferScope();
  TTransferScope(const TTransferScope&) = delete;
  TTransferScope& operator=(const TTransferScope&) = delete;

 private:
  const TTransferScope* outer_;
  std::uint64_t generation_;
  const std::atomic<bool>* stop_;
  friend class CurlSoapTransport;
};

// HTTP over libcurl. One easy handle per transport, so that successive calls reuse the
// connection; it runs in a multi handle of its own so that an abort from another thread
// wakes it at once. Used by one thread at a time: a second thread that calls while a
// call runs fails (an assertion in debug builds, EQuorvilError otherwise).
class CurlSoapTransport : public SoapTransport {
 public:
  CurlSoapTransport();
  ~CurlSoapTransport() override;
  CurlSoapTransport(const CurlSoapTransport&) = delete;
  CurlSoapTransport& operator=(const CurlSoapTransport&) = delete;

  HttpAnswer Post(const std::string& url, const std::string& soapAction,
                  const std::string& contentType, const std::string& body) override;
  HttpAnswer Get(const std::string& url) override;

  void SetTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds wholeCall);

 private:
  struct Handle;
  HttpAnswer Perform(const std::string& url);
  // Runs the prepared transfer to its end; throws ETransferAborted when it is aborted.
  int Run();

  std::unique_ptr<Handle> handle_;
  std::atomic<bool> inUse_{false};
  std::chrono::milliseconds connectTimeout_ = kSoapConnectTimeout;
  std::chrono::milliseconds callTimeout_ = kSoapCallTimeout;
};

}  // namespace quorvil
