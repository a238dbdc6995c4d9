#pragma once

#include <stdexcept>
#include <string>

namespace quorvil {

// Every failure the program reports is one of these; what() is the text the user sees.
class EQuorvilError : public std::runtime_error {
 public:
  explicit EQuorvilError(const std::string& message) : std::runtime_error(message) {}
};

// The quiet error that ends the current user action without a message (the user
// declined to retry). The general error display shows nothing for it.
class ESilentAbort : public EQuorvilError {
 public:
  ESilentAbort() : EQuorvilError("Operation aborted") {}

 protected:
  explicit ESilentAbort(const std::string& message) : EQuorvilError(message) {}
};

// A transfer to the map service that was aborted on purpose (Stop, Cancel) while it ran.
// Quiet like the silent abort: neither the retry prompt nor the error display shows it.
class ETransferAborted : public ESilentAbort {
 public:
  ETransferAborted() : ESilentAbort("Transfer aborted") {}
};

}  // namespace quorvil
