#pragma once

// The message of the program error that a piece of work throws.

#include <functional>
#include <string>

#include "platform/ProgramError.h"

namespace quorvil::testing {

// The error's text, or "(no error)" when the work ends normally.
inline std::string MessageOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const EQuorvilError& error) {
    return error.what();
  }
  return "(no error)";
}

}  // namespace quorvil::testing
