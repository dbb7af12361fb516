#pragma once
// A moment as the history's rows carry it, portable so that the windows that show
// ranges need no platform header for it.
#include <cstdint>

namespace kn {

// Local wall-clock seconds and the UTC offset of that moment.
struct LocalMoment {
  int64_t local = 0;
  int32_t offset_minutes = 0;
  int64_t utc() const { return local - static_cast<int64_t>(offset_minutes) * 60; }
};

}  // namespace kn
