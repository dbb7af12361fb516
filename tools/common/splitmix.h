#pragma once
// splitmix64: small, fast, and the same numbers from a start value on every platform,
// which std's distributions do not promise. For the tools, benchmarks and tests only.
#include <cstdint>

namespace kn {

class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t start) : state_(start) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0 .. n-1; 0 when n is not above 0.
  template <typename Int>
  Int below(Int n) {
    return n > 0 ? static_cast<Int>(next() % static_cast<std::uint64_t>(n)) : Int{0};
  }
  bool chance(int percent) { return below(100) < percent; }

 private:
  std::uint64_t state_;
};

}  // namespace kn
