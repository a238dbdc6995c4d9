#pragma once

// Puts the process into another time zone (TZ) for the life of the object.

#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

namespace quorvil::testing {

class TScopedTimeZone {
 public:
  explicit TScopedTimeZone(const char* zone) {
    if (const char* old = ::getenv("TZ")) previous_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~TScopedTimeZone() {
    if (previous_) {
      ::setenv("TZ", previous_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  TScopedTimeZone(const TScopedTimeZone&) = delete;
  TScopedTimeZone& operator=(const TScopedTimeZone&) = delete;

 private:
  std::optional<std::string> previous_;
};

}  // namespace quorvil::testing
