#pragma once
// Rounding of measured and parsed numbers to whole ones: halves to even, the same
// everywhere, so sizes and counts agree wherever they are computed.
#include <cstdint>
#include <optional>

namespace kn {

// Halves to even; nullopt for a value that is not finite or lies beyond about 9e18.
std::optional<int64_t> round_half_even(double value);

// Rounds like round_half_even but saturates at the int32 limits; NaN gives 0.
int32_t round_clamp_int32(double value);

}  // namespace kn
