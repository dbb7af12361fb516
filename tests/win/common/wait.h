#pragma once
// Waiting for what another process or thread does: the state is looked at again and
// again, never assumed after a fixed sleep, so a loaded machine only makes it slower.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace kn::test {

using Condition = std::function<bool()>;
// What a failure message shows of the state being waited on.
using Describe = std::function<std::string()>;

// When a waited-for state was seen: a state that changed between two looks did so
// after `before` and no later than `at` (tick counts). `before` is 0 when the very
// first look saw the state: it may have come before the wait began.
struct Seen {
  DWORD before = 0;
  DWORD at = 0;
};

// Succeeds once `done` held on `stable` looks in a row (50 ms apart), so a state
// passed through on the way to another does not count. Fails after `timeout_ms`,
// saying what `describe` shows then.
::testing::AssertionResult wait_until(const Condition& done, DWORD timeout_ms, const Describe& describe = {},
                                      int stable = 2, Seen* seen = nullptr);

// Succeeds when `holds` held on every look for `ms`; fails at the first look it does
// not, saying what `describe` shows then. For "nothing happens": a slow machine can
// only make it look less often, never fail it.
::testing::AssertionResult stays_true(const Condition& holds, DWORD ms, const Describe& describe = {});

// The simulator's log, watched for one station's listener requests as they arrive.
class RequestWatch {
 public:
  // Requests already logged do not count.
  explicit RequestWatch(std::string station);

  // Waits until `n` requests have arrived since construction.
  ::testing::AssertionResult wait_for(int n, DWORD timeout_ms);

  // When request i (1-based) was first seen; Seen::before is the last look without it.
  const Seen& arrival(int i) const { return arrivals_.at(static_cast<size_t>(i - 1)); }
  int arrived() const { return static_cast<int>(arrivals_.size()); }

 private:
  std::string station_;
  int already_ = 0;
  DWORD last_miss_ = 0;
  std::vector<Seen> arrivals_;
};

}  // namespace kn::test
