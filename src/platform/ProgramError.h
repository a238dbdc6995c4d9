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
};

}  // namespace quorvil
