#include "core/plays.h"

#include <algorithm>
#include <numeric>
#include <optional>

#include "core/text_util.h"

namespace kn {

namespace {

std::optional<Song> song_of(const StationRange& range, const HistorySample& s) {
  if (!s.count || s.song < 0 || static_cast<size_t>(s.song) >= range.songs.size()) return std::nullopt;
  const Song song = range.songs[static_cast<size_t>(s.song)];
  if (song.artist.empty() && song.title.empty()) return std::nullopt;
  return song;
}

}  // namespace

std::vector<Play> plays_of(const StationRange& range) {
  std::vector<Play> plays;
  std::optional<Song> playing;
  int32_t playing_at = -1;
  for (const HistorySample& s : range.samples) {
    const std::optional<Song> song = song_of(range, s);
    if (!song) {
      playing.reset();
      continue;
    }
    // One song may stand at two indexes (read from two files): the texts decide.
    if (playing && (s.song == playing_at || *song == *playing)) {
      Play& p = plays.back();
      p.count_at_end = *s.count;
      p.change = p.count_at_end - p.count_at_begin;
      continue;
    }
    playing = song;
    playing_at = s.song;
    plays.push_back({s.utc, s.offset_minutes, std::string(song->artist), std::string(song->title), *s.count,
                     *s.count, 0});
  }
  return plays;
}

void sort_plays(std::vector<Play>& plays, PlayColumn column, bool descending) {
  const bool by_text = column == PlayColumn::kArtist || column == PlayColumn::kTitle;
  // Keys made once, not at each of the n log n comparisons.
  std::vector<std::string> texts;
  std::vector<int64_t> numbers;
  for (const Play& p : plays) {
    switch (column) {
      case PlayColumn::kBegin:
        numbers.push_back(p.begin_utc);
        break;
      case PlayColumn::kArtist:
        texts.push_back(to_lower(p.artist));
        break;
      case PlayColumn::kTitle:
        texts.push_back(to_lower(p.title));
        break;
      case PlayColumn::kCountAtBegin:
        numbers.push_back(p.count_at_begin);
        break;
      case PlayColumn::kCountAtEnd:
        numbers.push_back(p.count_at_end);
        break;
      case PlayColumn::kChange:
        numbers.push_back(p.change);
        break;
    }
  }
  std::vector<size_t> order(plays.size());
  std::iota(order.begin(), order.end(), size_t{0});
  const auto less = [&](size_t a, size_t b) {
    return by_text ? texts[a] < texts[b] : numbers[a] < numbers[b];
  };
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return descending ? less(b, a) : less(a, b); });
  std::vector<Play> sorted;
  sorted.reserve(plays.size());
  for (size_t i : order) sorted.push_back(std::move(plays[i]));
  plays = std::move(sorted);
}

namespace {

std::string two_digits(int n) {
  std::string text = std::to_string(n);
  if (n >= 0 && n < 10) text.insert(text.begin(), '0');
  return text;
}

}  // namespace

std::string play_cell(const Play& play, PlayColumn column) {
  switch (column) {
    case PlayColumn::kBegin: {
      const CivilTime t = civil_time(play.begin_utc + int64_t{play.begin_offset_minutes} * 60);
      return two_digits(t.day) + "." + two_digits(t.month) + "." + std::to_string(t.year) + " " +
             two_digits(t.hour) + ":" + two_digits(t.minute);
    }
    case PlayColumn::kArtist:
      return play.artist;
    case PlayColumn::kTitle:
      return play.title;
    case PlayColumn::kCountAtBegin:
      return std::to_string(play.count_at_begin);
    case PlayColumn::kCountAtEnd:
      return std::to_string(play.count_at_end);
    case PlayColumn::kChange: {
      std::string text = std::to_string(play.change);
      if (play.change > 0) text.insert(text.begin(), '+');
      return text;
    }
  }
  return {};
}

}  // namespace kn
