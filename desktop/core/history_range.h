#pragma once
// A station's samples over a time range, thinned to the plot's pixel columns: each
// column keeps its lowest and highest count, so a one-minute peak stays visible in a
// year; neighbours too far apart, or a missed answer, make a gap rather than a line
// down to 0.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/history_file.h"

namespace kn {

struct HistorySample {
  int64_t utc = 0;
  std::optional<int32_t> count;  // nothing: no answer
  int32_t offset_minutes = 0;    // the row's own, so a label can show its local time
  int32_t song = -1;             // where the range has its songs, the index of this one; -1: none
  bool operator==(const HistorySample&) const = default;
};

// A song's texts in UTF-8, as its list holds them: valid while the list stands
// unchanged.
struct Song {
  std::string_view artist;
  std::string_view title;
  bool operator==(const Song&) const = default;
};

// A range's songs with their texts in one block: a year holds over a hundred
// thousand plays, and two strings for each would cost three times the memory.
class SongList {
 public:
  SongList() = default;
  SongList(std::initializer_list<Song> songs) {
    for (const Song& s : songs) push_back(s.artist, s.title);
  }
  size_t size() const { return ends_.size() / 2; }
  bool empty() const { return ends_.empty(); }
  Song operator[](size_t i) const;
  Song back() const { return (*this)[size() - 1]; }
  void push_back(std::string_view artist, std::string_view title);
  void reserve(size_t songs, size_t text_bytes);
  size_t text_bytes() const { return text_.size(); }
  bool operator==(const SongList&) const = default;

 private:
  std::vector<char> text_;  // not a string: its reserve may double rather than take what is asked
  std::vector<uint32_t> ends_;  // per song: where its artist ends in text_, where its title ends
};

// A station's samples with their songs, each song held once however many samples
// its play spans.
struct StationRange {
  std::vector<HistorySample> samples;  // in time order
  SongList songs;
  size_t unreadable = 0;  // lines seen that are no row, as read_station_range counts them
};

// The same from rows in memory (those that wait for the file, say).
StationRange station_range(const std::vector<HistoryRow>& rows, const std::string& station, int64_t from,
                           int64_t to);
// Adds the station's rows of [from, to) to a range, in time order.
void add_rows(StationRange& range, const std::vector<HistoryRow>& rows, const std::string& station, int64_t from,
              int64_t to);

// The station's samples with from <= utc < to, in time order.
std::vector<HistorySample> station_samples(const std::vector<HistoryRow>& rows, const std::string& station,
                                           int64_t from, int64_t to);

// The same samples read from a file of `size` bytes through `read`, holding about
// one piece of `chunk` bytes of it at a time: the range search finds where `from`
// begins, and from there every row to the end is looked at, since a clock set back
// puts later rows into the range again. A search can only find the start in a file
// in time order, as the polls write it; where a clock set back put rows of the
// range before that place, they are not seen. `unreadable`, when given, counts the
// lines seen that are no row (hand-edited, torn): of other stations, those not even
// shaped like one.
// A quarter of a MiB: the buffer is fresh memory at each range read, and larger
// pieces save no time.
inline constexpr size_t kHistoryReadChunk = size_t{1} << 18;
std::vector<HistorySample> read_station_range(uint64_t size, const ReadAt& read, std::string_view station,
                                              int64_t from_utc, int64_t to_utc,
                                              size_t chunk = kHistoryReadChunk, size_t* unreadable = nullptr);
// The same with the songs, added to `into`: samples of several files come after one
// another, to be put in time order by sort_samples when all are in. `later_bytes`,
// the size of the files still to be read, lets it make room for all of them at once.
void add_station_range(StationRange& into, uint64_t size, const ReadAt& read, std::string_view station,
                       int64_t from_utc, int64_t to_utc, size_t chunk = kHistoryReadChunk,
                       uint64_t later_bytes = 0);
void sort_samples(StationRange& range);

struct HistoryColumn {
  bool any = false;  // an answered sample falls into it
  int32_t low = 0;
  int32_t high = 0;
  // No line to the previous column with samples: a gap between them.
  bool gap_before = false;
  bool operator==(const HistoryColumn&) const = default;
};

// `width` columns over [from, to); neighbouring samples more than max_gap seconds
// apart, or a sample without an answer between them, part the line.
std::vector<HistoryColumn> thin_to_columns(const std::vector<HistorySample>& samples, int64_t from,
                                           int64_t to, int width, int64_t max_gap);

// The largest distance of two samples that still joins them: twice the poll interval,
// at least two minutes.
int64_t gap_seconds(int update_interval_minutes);

struct HistorySummary {
  std::optional<int32_t> minimum;
  std::optional<int32_t> maximum;
  std::optional<double> mean;  // of the answered samples
};
HistorySummary summarize(const std::vector<HistorySample>& samples);

}  // namespace kn
