#pragma once
// Random schedules of everything that can happen while polls run, against the real
// runner, poll and request batch on a fake clock. A schedule's number replays the
// same run on any machine.
#include <cstdint>
#include <string>
#include <vector>

namespace kn::poll_sim {

struct ScheduleRun {
  std::vector<std::string> faults;  // empty when every invariant held
  std::string schedule;             // one line per event, named as in events.h
};

// Schedule `number`: `events` drawn events, then every poll let come to its end.
ScheduleRun run_schedule(uint64_t number, int events);

}  // namespace kn::poll_sim
