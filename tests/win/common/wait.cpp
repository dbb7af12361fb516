#include "common/wait.h"

#include <utility>

#include "common/win_test_util.h"

namespace kn::test {
namespace {

constexpr DWORD kLookEvery = 50;

}  // namespace

::testing::AssertionResult wait_until(const Condition& done, DWORD timeout_ms, const Describe& describe,
                                      int stable, Seen* seen) {
  const DWORD start = GetTickCount();
  DWORD last_miss = 0;
  DWORD first_hit = 0;
  int in_a_row = 0;
  for (;;) {
    const DWORD look = GetTickCount();
    if (done()) {
      if (in_a_row++ == 0) first_hit = GetTickCount();
    } else {
      in_a_row = 0;
      last_miss = look;
    }
    if (in_a_row >= stable) {
      if (seen) *seen = {last_miss, first_hit};
      return ::testing::AssertionSuccess();
    }
    // A state that has just appeared gets its remaining looks even past the limit.
    if (in_a_row == 0 && GetTickCount() - start >= timeout_ms) break;
    Sleep(kLookEvery);
  }
  auto failure = ::testing::AssertionFailure() << "not reached within " << timeout_ms << " ms";
  if (describe) failure << "; last seen: " << describe();
  return failure;
}

::testing::AssertionResult stays_true(const Condition& holds, DWORD ms, const Describe& describe) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (!holds()) {
      auto failure = ::testing::AssertionFailure()
                     << "stopped holding after " << GetTickCount() - start << " ms";
      if (describe) failure << "; seen: " << describe();
      return failure;
    }
    if (GetTickCount() - start >= ms) return ::testing::AssertionSuccess();
    Sleep(kLookEvery);
  }
}

RequestWatch::RequestWatch(std::string station) : station_(std::move(station)) {
  last_miss_ = GetTickCount();
  already_ = requests_for(station_);
}

::testing::AssertionResult RequestWatch::wait_for(int n, DWORD timeout_ms) {
  int count = already_ + arrived();
  auto look = [&] {
    const DWORD before = GetTickCount();
    count = requests_for(station_);
    const DWORD after = GetTickCount();
    if (count - already_ <= arrived()) last_miss_ = before;
    // Several arrivals between two looks share one bracket.
    while (arrived() < count - already_) arrivals_.push_back({last_miss_, after});
    return arrived() >= n;
  };
  return wait_until(
      look, timeout_ms,
      [&] { return std::to_string(arrived()) + " of " + std::to_string(n) + " requests for " + station_; },
      1);
}

}  // namespace kn::test
