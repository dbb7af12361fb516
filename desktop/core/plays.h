#pragma once
// The songs a station played, as the history saw them: a play is a run of polls
// that heard the same artist and title one after another. A poll without a song,
// or without an answer, ends it.
#include <cstdint>
#include <string>
#include <vector>

#include "core/history_range.h"

namespace kn {

struct Play {
  int64_t begin_utc = 0;
  int32_t begin_offset_minutes = 0;  // the first poll's, so the list shows its local time
  std::string artist;
  std::string title;
  int32_t count_at_begin = 0;
  int32_t count_at_end = 0;
  int32_t change = 0;  // end minus begin
  bool operator==(const Play&) const = default;
};

// The plays of a station's samples (in time order), oldest first.
std::vector<Play> plays_of(const StationRange& range);

// The columns of the list of plays.
enum class PlayColumn { kBegin, kArtist, kTitle, kCountAtBegin, kCountAtEnd, kChange };

// Sorts by one column, numbers and times by value, texts ignoring case; plays that
// are equal there keep their order, ascending or not.
void sort_plays(std::vector<Play>& plays, PlayColumn column, bool descending);

// A cell of the list: "09.12.2026 11:10" (the play's local time), the texts, the
// counts, the change signed ("+3", "-2", "0").
std::string play_cell(const Play& play, PlayColumn column);

}  // namespace kn
