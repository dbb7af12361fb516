// Everything that can happen while polls run, in a random order that replays: answers in any
// order, late or never; limits passing; ticks, double-clicks, previews, saves and the
// program's end; and calls made from inside the program's own callbacks. The world,
// the events and the model they are checked against are in tests/support/poll_sim/.
//
// KN_SIM_SCHEDULES sets how many schedules run, KN_SIM_SCHEDULE=N replays schedule N
// and prints it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "poll_sim/simulation.h"

namespace kn {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultSchedules = 300;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int kDefaultSchedules = 300;
#else
constexpr int kDefaultSchedules = 2500;
#endif
#else
constexpr int kDefaultSchedules = 2500;
#endif

int schedules() {
  const char* n = std::getenv("KN_SIM_SCHEDULES");
  return n && *n ? std::atoi(n) : kDefaultSchedules;
}

constexpr int kEventsPerSchedule = 60;

void expect_schedule_holds(uint64_t number, bool print = false) {
  const poll_sim::ScheduleRun run = poll_sim::run_schedule(number, kEventsPerSchedule);
  std::string all;
  for (const auto& f : run.faults) all += "  " + f + "\n";
  EXPECT_TRUE(run.faults.empty()) << "schedule " << number << " (KN_SIM_SCHEDULE=" << number
                                  << " replays it):\n"
                                  << all << "schedule:\n"
                                  << run.schedule;
  if (print && run.faults.empty()) std::cout << run.schedule;
}

TEST(PollSimulation, EveryRandomScheduleKeepsEveryPollWhole) {
  if (const char* one = std::getenv("KN_SIM_SCHEDULE")) {
    expect_schedule_holds(std::strtoull(one, nullptr, 10), true);
    return;
  }
  const int n = schedules();
  for (int number = 1; number <= n && !HasFailure(); ++number)
    expect_schedule_holds(static_cast<uint64_t>(number));
}

}  // namespace
}  // namespace kn
