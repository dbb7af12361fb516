#include "core/history_range.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/text_util.h"

namespace kn {

Song SongList::operator[](size_t i) const {
  const size_t begin = i == 0 ? 0 : ends_[2 * i - 1];
  const size_t artist_end = ends_[2 * i];
  const std::string_view text(text_.data(), text_.size());
  return {text.substr(begin, artist_end - begin), text.substr(artist_end, ends_[2 * i + 1] - artist_end)};
}

void SongList::push_back(std::string_view artist, std::string_view title) {
  text_.insert(text_.end(), artist.begin(), artist.end());
  ends_.push_back(static_cast<uint32_t>(text_.size()));
  text_.insert(text_.end(), title.begin(), title.end());
  ends_.push_back(static_cast<uint32_t>(text_.size()));
}

void SongList::reserve(size_t songs, size_t text_bytes) {
  ends_.reserve(2 * songs);
  text_.reserve(text_bytes);
}

std::vector<HistorySample> station_samples(const std::vector<HistoryRow>& rows, const std::string& station,
                                           int64_t from, int64_t to) {
  std::vector<HistorySample> out;
  for (const auto& r : rows) {
    const int64_t t = r.utc();
    if (r.station == station && t >= from && t < to) out.push_back({t, r.count, r.offset_minutes});
  }
  // Rows come in poll order; a clock set back can put one out of it.
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.utc < b.utc; });
  return out;
}

StationRange station_range(const std::vector<HistoryRow>& rows, const std::string& station, int64_t from,
                           int64_t to) {
  StationRange range;
  add_rows(range, rows, station, from, to);
  return range;
}

void add_rows(StationRange& range, const std::vector<HistoryRow>& rows, const std::string& station, int64_t from,
              int64_t to) {
  for (const auto& r : rows) {
    const int64_t t = r.utc();
    if (r.station != station || t < from || t >= to) continue;
    HistorySample s{t, r.count, r.offset_minutes};
    if (!r.artist.empty() || !r.title.empty()) {
      if (range.songs.empty() || range.songs.back() != Song{r.artist, r.title}) {
        range.songs.push_back(r.artist, r.title);
      }
      s.song = static_cast<int32_t>(range.songs.size() - 1);
    }
    range.samples.push_back(s);
  }
  sort_samples(range);
}

void sort_samples(StationRange& range) {
  // Rows come in poll order; only a clock set back (or a month file read before
  // the one of the month before) needs the sort and its buffer.
  const auto earlier = [](const HistorySample& a, const HistorySample& b) { return a.utc < b.utc; };
  auto& v = range.samples;
  if (!std::is_sorted(v.begin(), v.end(), earlier)) std::stable_sort(v.begin(), v.end(), earlier);
}

namespace {

constexpr size_t kStationAt = kHistoryStationAt;
// The longest rest of a row after its station's ';' once the count's leading zeros
// are gone: ten digits, the two song fields, their ';' and the line's '\r'.
constexpr size_t kLongestRest = 10 + 2 * (1 + kHistoryFieldMax) + 1;

// The field bytes that read back as the station. Each byte is one character, but
// the five bytes Windows-1252 leaves undefined all read as U+FFFD, so such a
// position allows any of them.
struct StationField {
  bool possible = true;              // some field reads back as the station
  std::string bytes;                 // one allowed byte per position
  std::vector<std::string> choices;  // all allowed bytes per position, where several are

  bool matches(const char* p) const {
    if (choices.empty()) return std::memcmp(p, bytes.data(), bytes.size()) == 0;
    for (size_t i = 0; i < choices.size(); ++i) {
      if (choices[i].find(p[i]) == std::string::npos) return false;
    }
    return true;
  }
};

StationField station_field(std::string_view station) {
  StationField f;
  const std::string field = history_field(station);
  if (field != utf8_to_cp1252(station)) {
    // Written quoted or guarded: only these bytes read back as the station.
    f.possible = !station.empty() && history_field_text(field) == station;
    f.bytes = field;
    return f;
  }
  std::array<std::string, 256> read_back;
  for (size_t b = 0; b < read_back.size(); ++b) {
    const char c = static_cast<char>(b);
    read_back[b] = cp1252_to_utf8(std::string_view(&c, 1));
  }
  bool several = false;
  // A row's station is never empty and ends at the first ';'.
  f.possible = !station.empty();
  for (size_t at = 0; f.possible && at < station.size();) {
    std::string here;
    size_t width = 0;
    for (size_t b = 0; b < read_back.size(); ++b) {
      // UTF-8 is free of prefixes: every byte that fits here reads as the same character.
      if (station.substr(at, read_back[b].size()) == read_back[b]) {
        here += static_cast<char>(b);
        width = read_back[b].size();
      }
    }
    if (here.empty() || here == ";") f.possible = false;
    several = several || here.size() > 1;
    f.bytes += here.empty() ? '\0' : here[0];
    f.choices.push_back(std::move(here));
    at += std::max<size_t>(width, 1);
  }
  if (!several) f.choices.clear();
  return f;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The station's rows of one range, line by line.
class RangeScan {
 public:
  RangeScan(const StationField& field, int64_t from, int64_t to, std::vector<HistorySample>& out,
            SongList* songs)
      : field_(field),
        min_size_(kStationAt + field.bytes.size() + 1),
        from_(from),
        to_(to),
        out_(out),
        songs_(songs) {}

  // A whole line without its '\n'.
  void line(std::string_view l) {
    if (!could_match(l)) {
      if (!shaped_like_a_row(l)) ++unreadable_;
      return;
    }
    const auto row = parse_history_row_view(l);
    if (!row) {
      ++unreadable_;
      return;
    }
    const int64_t t = row->local - int64_t{row->offset_minutes} * 60;
    if (t < from_ || t >= to_) return;
    out_.push_back({t, row->count, row->offset_minutes, song_of(*row)});
  }

  // Part of a line that goes on in the next piece. Only what decides the row is
  // kept: the fields up to the station, and the count without leading zeros (the
  // same number to from_chars), so a hand-made giant line never sits in memory.
  void carry(std::string_view part) {
    if (skipping_) return;
    carried_.append(part);
    if (carried_.size() <= min_size_) return;
    if (!could_match(carried_)) {
      drop();
      return;
    }
    size_t zeros = 0;
    while (min_size_ + zeros + 1 < carried_.size() && carried_[min_size_ + zeros] == '0' &&
           is_digit(carried_[min_size_ + zeros + 1])) {
      ++zeros;
    }
    carried_.erase(min_size_, zeros);
    if (carried_.size() - min_size_ > kLongestRest) drop();
  }
  bool carrying() const { return skipping_ || !carried_.empty(); }
  size_t unreadable() const { return unreadable_; }
  // The file ended inside a line: a torn row.
  void end_torn() {
    if (carrying()) ++unreadable_;
  }
  // The carried line ended with `rest`.
  void end_carried(std::string_view rest) {
    carry(rest);
    if (!skipping_) line(carried_);
    carried_.clear();
    skipping_ = false;
  }

 private:
  // The fixed fields where a row has them; the header and blank lines are no fault.
  static bool shaped_like_a_row(std::string_view l) {
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (l.empty() || l.rfind("Zeit;", 0) == 0) return true;
    return l.size() > kStationAt && l[19] == ';' && l[kStationAt - 1] == ';';
  }
  bool could_match(std::string_view l) const {
    return l.size() >= min_size_ && l[min_size_ - 1] == ';' && field_.matches(l.data() + kStationAt);
  }
  void drop() {
    carried_.clear();
    skipping_ = true;
  }
  // A play's samples come one after another: its texts are made once.
  int32_t song_of(const HistoryRowView& row) {
    if (!songs_ || (row.artist.empty() && row.title.empty())) return -1;
    if (songs_->empty() || row.artist != last_artist_ || row.title != last_title_) {
      songs_->push_back(history_field_text(row.artist), history_field_text(row.title));
      last_artist_.assign(row.artist);
      last_title_.assign(row.title);
    }
    return static_cast<int32_t>(songs_->size() - 1);
  }

  const StationField& field_;
  const size_t min_size_;  // the fields up to the station and its ';'
  const int64_t from_, to_;
  std::vector<HistorySample>& out_;
  SongList* const songs_;  // none: the caller wants no songs
  std::string last_artist_, last_title_;
  std::string carried_;
  bool skipping_ = false;  // the carried line can be no row of the station
  size_t unreadable_ = 0;
};

}  // namespace

namespace {

// The station's samples of one file added to `out` (and their songs, where asked),
// in file order; returns the lines that are no row.
size_t scan_station_range(std::vector<HistorySample>& out, SongList* songs, uint64_t size, const ReadAt& read,
                          std::string_view station, int64_t from_utc, int64_t to_utc, size_t chunk,
                          uint64_t later_bytes) {
  const StationField field = station_field(station);
  if (!field.possible || from_utc >= to_utc) return 0;
  chunk = std::max<size_t>(chunk, 1);
  const uint64_t start = history_offset_of(size, read, from_utc);
  const size_t before = out.size();
  const size_t songs_before = songs ? songs->size() : 0;
  const size_t text_before = songs ? songs->text_bytes() : 0;
  RangeScan scan(field, from_utc, to_utc, out, songs);
  for (uint64_t pos = start; pos < size;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, size - pos));
    const std::string_view piece = read(pos, want);
    if (piece.empty()) break;
    // Bytes past `size` were written after the caller looked: not this read's.
    const size_t got = std::min(piece.size(), want);
    const char* p = piece.data();
    const char* const end = p + got;
    while (p < end) {
      const char* nl = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
      if (!nl) {
        scan.carry(std::string_view(p, static_cast<size_t>(end - p)));
        break;
      }
      const std::string_view rest(p, static_cast<size_t>(nl - p));
      if (scan.carrying()) {
        scan.end_carried(rest);
      } else {
        scan.line(rest);
      }
      p = nl + 1;
    }
    pos += got;
    // Room for the rest of this file and the later ones at the density so far, so
    // a year's samples and songs are not copied (and held twice, in fresh memory)
    // each time a vector would double.
    const size_t found = out.size() - before;
    if (found >= 1024 && (pos < size || later_bytes > 0)) {
      const double per_byte = static_cast<double>(found) / static_cast<double>(pos - start);
      const double more = per_byte * static_cast<double>(size - pos + later_bytes) * 1.05;
      const auto expected = out.size() + static_cast<size_t>(more);
      if (expected > out.capacity()) {
        out.reserve(expected);
        if (songs) {
          const double samples_seen = static_cast<double>(found);
          const double per_sample = static_cast<double>(songs->size() - songs_before) / samples_seen;
          const double text_per_sample = static_cast<double>(songs->text_bytes() - text_before) / samples_seen;
          songs->reserve(songs->size() + static_cast<size_t>(per_sample * more),
                         songs->text_bytes() + static_cast<size_t>(text_per_sample * more));
        }
      }
    }
  }
  // A last line without its break is torn: no row.
  scan.end_torn();
  return scan.unreadable();
}

}  // namespace

std::vector<HistorySample> read_station_range(uint64_t size, const ReadAt& read, std::string_view station,
                                              int64_t from_utc, int64_t to_utc, size_t chunk,
                                              size_t* unreadable) {
  StationRange range;
  range.unreadable = scan_station_range(range.samples, nullptr, size, read, station, from_utc, to_utc, chunk, 0);
  if (unreadable) *unreadable = range.unreadable;
  sort_samples(range);
  return std::move(range.samples);
}

void add_station_range(StationRange& into, uint64_t size, const ReadAt& read, std::string_view station,
                       int64_t from_utc, int64_t to_utc, size_t chunk, uint64_t later_bytes) {
  into.unreadable +=
      scan_station_range(into.samples, &into.songs, size, read, station, from_utc, to_utc, chunk, later_bytes);
}

std::vector<HistoryColumn> thin_to_columns(const std::vector<HistorySample>& samples, int64_t from,
                                           int64_t to, int width, int64_t max_gap) {
  std::vector<HistoryColumn> columns(static_cast<size_t>(std::max(width, 0)));
  if (columns.empty() || to <= from) return columns;
  const int64_t span = to - from;
  bool broken = true;  // nothing to join before the first answered sample
  int64_t last_t = 0;
  for (const auto& s : samples) {
    if (s.utc < from || s.utc >= to) continue;
    if (!s.count) {
      broken = true;
      continue;
    }
    if (!broken && s.utc - last_t > max_gap) broken = true;
    const size_t c = static_cast<size_t>((s.utc - from) * width / span);
    HistoryColumn& col = columns[c];
    if (!col.any) {
      col.any = true;
      col.low = col.high = *s.count;
      col.gap_before = broken;
    } else {
      col.low = std::min(col.low, *s.count);
      col.high = std::max(col.high, *s.count);
      // A gap inside a column shows as the column's own bar; the line to it stays.
    }
    broken = false;
    last_t = s.utc;
  }
  return columns;
}

int64_t gap_seconds(int update_interval_minutes) { return std::max(2, 2 * update_interval_minutes) * 60; }

HistorySummary summarize(const std::vector<HistorySample>& samples) {
  HistorySummary s;
  double sum = 0;
  int64_t n = 0;
  for (const auto& x : samples) {
    if (!x.count) continue;
    s.minimum = s.minimum ? std::min(*s.minimum, *x.count) : *x.count;
    s.maximum = s.maximum ? std::max(*s.maximum, *x.count) : *x.count;
    sum += *x.count;
    ++n;
  }
  if (n > 0) s.mean = sum / static_cast<double>(n);
  return s;
}

}  // namespace kn
