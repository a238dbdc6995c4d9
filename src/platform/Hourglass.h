#pragma once

// The hourglass (the wait cursor) while the user waits for a short piece of work.

namespace quorvil {

// Shows the hourglass for the life of the object, the previous cursor again on every path.
class TScopedHourglass {
 public:
  TScopedHourglass();
  ~TScopedHourglass();
  TScopedHourglass(const TScopedHourglass&) = delete;
  TScopedHourglass& operator=(const TScopedHourglass&) = delete;
};

}  // namespace quorvil
