#include "units/rounding.h"

#include <cmath>
#include <limits>

namespace kn {

std::optional<int64_t> round_half_even(double value) {
  if (!std::isfinite(value) || std::fabs(value) > 9.0e18) return std::nullopt;
  double r = std::nearbyint(value);  // default rounding mode: half to even
  double diff = value - std::floor(value);
  if (diff == 0.5) {
    double f = std::floor(value);
    r = std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
  }
  return static_cast<int64_t>(r);
}

int32_t round_clamp_int32(double value) {
  const auto r = round_half_even(value);
  if (r && *r >= std::numeric_limits<int32_t>::min() && *r <= std::numeric_limits<int32_t>::max())
    return static_cast<int32_t>(*r);
  if (std::isnan(value)) return 0;
  return value < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

}  // namespace kn
