#pragma once
// Every limit of a poll and its requests, each named once with the reason for its
// value. Code, tests and the README take them from here.
#include <cstddef>

namespace kn {

// A request gives up this long after its own start: a silent server must cost a poll
// seconds, not the rest of the program's life. A Retry-After wait has no limit of its
// own: it is honoured only when it ends within this time.
inline constexpr unsigned kRequestTimeoutMs = 15000;

// A listener answer is a few dozen bytes; anything near a kilobyte is not one.
inline constexpr size_t kListenerAnswerLimit = 1024;
// A current-song answer carries the artist's and the title's texts and links.
inline constexpr size_t kSongAnswerLimit = 64 * 1024;

// Requests of one poll in flight at once, at most: a platform must not see a desktop
// tool as a crowd. The setting parallel_requests chooses within it.
inline constexpr unsigned kMaxParallelRequests = 8;

// Worker threads alive at once in the whole program: a dropped poll's workers may
// each need up to one request's time to notice, and two such polls fit beside a new
// one's.
inline constexpr unsigned kMaxLiveWorkers = 2 * kMaxParallelRequests;

// While a poll runs, the main window lets the limits of its requests pass this often,
// even when a worker's message is late or lost: a limit is seen at most this late.
inline constexpr unsigned kPollLimitsMs = 250;

static_assert(kPollLimitsMs * 10 < kRequestTimeoutMs, "a limit must be seen well within a request's time");
static_assert(kSongAnswerLimit >= kListenerAnswerLimit);
static_assert(kMaxLiveWorkers >= kMaxParallelRequests, "a new poll always finds its threads");

}  // namespace kn
