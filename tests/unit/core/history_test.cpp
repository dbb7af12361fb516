#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "core/history_carry.h"
#include "core/history_file.h"
#include "core/history_log.h"
#include "core/history_months.h"
#include "core/history_range.h"
#include "core/plays.h"
#include "core/hoerer_stats.h"
#include "core/text_util.h"
#include "core/title_files.h"
#include "filesafe/filesafe.h"

namespace kn {
namespace {

TEST(History, StartsWithOneEmptySlotAndStampsSamples) {
  int calls = 0;
  History h([&] {
    ++calls;
    return std::pair<std::string, std::string>("08.12.2026", "01:02:0" + std::to_string(calls));
  });
  EXPECT_EQ(h.entries().size(), 1u);
  EXPECT_EQ(h.sample_count(), 0u);
  h.add_sample("a", 5);
  h.add_sample("b", 0);
  ASSERT_EQ(h.entries().size(), 3u);
  EXPECT_EQ(h.entries()[0].date, "08.12.2026");
  EXPECT_EQ(h.entries()[1].time, "01:02:02");
  EXPECT_EQ(h.entries()[1].station, "b");
  EXPECT_EQ(h.entries()[2].station, "");
  EXPECT_EQ(h.entries()[2].count, 0);
}

TEST(History, KeepsTheNewestSamplesOfEachStation) {
  History h;
  h.add_sample("b", -1);
  for (int i = 0; i < 1500; ++i) h.add_sample("a", i);
  h.add_sample("b", -2);
  ASSERT_EQ(h.sample_count(), kMaxSamplesPerStation + 2);
  EXPECT_EQ(h.entries()[0].station, "b");
  EXPECT_EQ(h.entries()[1].count, 500);  // the oldest of "a" went first
  EXPECT_EQ(h.entries()[kMaxSamplesPerStation].count, 1499);
  EXPECT_EQ(h.entries().back().station, "");
}

TEST(History, ExtremesMoveOutwardAndRoundHalfToEven) {
  History h;
  StationEntry s;
  s.name = "a";
  record_count(s, 12.5, h);
  EXPECT_EQ(s.min_hoerer, 12);
  EXPECT_EQ(s.max_hoerer, 12);
  record_count(s, 0, h);
  EXPECT_EQ(s.min_hoerer, 0);
  EXPECT_EQ(s.max_hoerer, 12);
  EXPECT_EQ(h.sample_count(), 2u);
}

TEST(History, LookupsUseTheFirstMatchIgnoringCase) {
  std::vector<StationEntry> list(2);
  list[0].name = "a";
  list[0].max_hoerer = 7;
  list[0].min_hoerer = 3;
  list[1].name = "a";
  list[1].max_hoerer = 99;
  EXPECT_EQ(get_station_max(list, "A"), 7);
  EXPECT_EQ(get_station_min(list, "a"), 3);
  EXPECT_EQ(get_station_max(list, "b"), 0);
  EXPECT_EQ(get_station_min(list, "b"), 0);
}

// The history file on disk.
HistoryRow row(const std::string& when, int offset_minutes, const std::string& station,
               std::optional<int32_t> count) {
  HistoryRow r;
  const auto n = [&](size_t at, size_t len) { return std::stoi(when.substr(at, len)); };
  r.local = civil_seconds(n(0, 4), n(5, 2), n(8, 2), n(11, 2), n(14, 2), n(17, 2));
  r.offset_minutes = offset_minutes;
  r.station = station;
  r.count = count;
  return r;
}

// A file as the polls write it, with what people and crashes add: hand-edited and
// garbage lines, rows an editor saved with other line ends, counts with leading
// zeros, bytes Windows-1252 leaves undefined, no answers, the hour that repeats when
// summer time ends, a torn last row. Its rows are in time order.
struct FileShape {
  int polls = 500;
  bool header = true;
  bool lf_only = false;  // every line as an editor on Linux saves it
  bool stray_lf = true;  // now and then a line without its '\r'
  bool torn = true;
  bool long_songs = true;  // texts the writer cuts, rows of a few kilobytes
};

const std::vector<std::string> kStations = {"Radio Eins", "Sender \xC3\x84rger", "a", "ab", "AC;DC", "=x"};
struct SongText {
  std::string artist, title;
};
// clang-format off
const std::vector<SongText> kSongs = {{"", ""}, {"Nena", "99 Luftballons"}, {"AC;DC", "T.N.T."}, {"=cmd", "-"},
    {"\"Q\"", "'n;"}, {"", "nur Titel"}, {std::string(600, 'x'), std::string(300, '"')}};  // the last cut
// clang-format on

std::string random_history(std::mt19937& rng, const FileShape& shape) {
  std::string file = shape.header ? history_header() : std::string();
  const auto end_line = [&](std::string line) {
    if (shape.lf_only && line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0) {
      line.erase(line.size() - 2, 1);
    } else if (shape.stray_lf && rng() % 40 == 0) {
      line.erase(line.size() - 2, 1);
    }
    file += line;
  };
  // Summer time (+02:00) until the change, then +01:00; now and then a file in UTC.
  const bool utc_file = rng() % 4 == 0;
  int64_t utc = civil_seconds(2026, 10, 25, 0, 0, 0) - static_cast<int64_t>(rng() % 7200);
  const int64_t change = civil_seconds(2026, 10, 25, 1, 0, 0);
  std::vector<size_t> playing(kStations.size());
  for (int poll = 0; poll < shape.polls; ++poll) {
    utc += rng() % 20 == 0 ? static_cast<int64_t>(rng() % 20000) : 60 + static_cast<int64_t>(rng() % 3) - 1;
    const int32_t offset = utc_file ? 0 : utc < change ? 120 : 60;
    for (size_t i = 0; i < kStations.size(); ++i) {
      const std::string& station = kStations[i];
      if (rng() % 8 == 0) continue;  // not polled this time
      HistoryRow r;
      r.local = utc + offset * 60;
      r.offset_minutes = offset;
      r.station = station;
      if (rng() % 4 == 0) {
        playing[i] = shape.long_songs && rng() % 30 == 0 ? kSongs.size() - 1 : rng() % (kSongs.size() - 1);
      }
      r.artist = kSongs[playing[i]].artist;
      r.title = kSongs[playing[i]].title;
      const auto kind = rng() % 10;
      if (kind) r.count = kind == 1 ? 0 : static_cast<int32_t>(rng() % 3000);
      std::string line = history_row(r);
      switch (rng() % 60) {
        case 0:
          if (r.count)
            line.insert(27 + utf8_to_cp1252(station).size() + 1, rng() % 2 ? "00" : std::string(5000, '0'));
          break;
        case 1:
          if (utc_file) line[20] = '-';  // "-00:00"
          break;
        case 2:
          line = line.substr(0, 27) + "x" + (rng() % 2 ? "\x81" : "\x8D") + "y" +
                 line.substr(line.find(';', 27));
          break;
        case 3:
          end_line(history_row(r));  // the same poll twice, another count
          r.count = static_cast<int32_t>(rng() % 3000);
          line = history_row(r);
          break;
        case 4:
          line = "von Hand " + line;
          break;
        case 5:
          line = line.substr(0, 27) + std::string(300, 'n') + line.substr(line.find(';', 27));
          break;
        case 6:
          line.insert(line.size() - 2, "x");
          break;
      }
      end_line(line);
    }
    if (rng() % 100 == 0) end_line(rng() % 2 ? "\r\n" : "kaputt;;;\r\n");
  }
  if (shape.torn) file += "2027-01-01 00:00:00;+01:00;a;1";
  return file;
}

// Each sample with its song's texts, whatever index the song got.
std::vector<std::tuple<int64_t, std::optional<int32_t>, int32_t, Song>> resolved(const StationRange& r) {
  std::vector<std::tuple<int64_t, std::optional<int32_t>, int32_t, Song>> out;
  for (const auto& s : r.samples) {
    out.emplace_back(s.utc, s.count, s.offset_minutes, s.song < 0 ? Song{} : r.songs[static_cast<size_t>(s.song)]);
  }
  return out;
}

ReadAt reader_of(const std::string& file) {
  return [&file](uint64_t at, size_t n) {
    return at >= file.size() ? std::string_view() : std::string_view(file).substr(at, n);
  };
}

TEST(HistoryFile, RowsGoOutAsASpreadsheetReadsThemAndComeBackTheSame) {
  std::vector<HistoryRow> rows = {row("2026-12-09 08:36:00", 60, "nachtradio", 42),
                                  row("2026-12-09 08:36:00", 60, "stra\xC3\x9F" "e", 0),
                                  row("2026-12-09 08:36:00", 60, "leer", std::nullopt)};
  rows[0].artist = "Die \xC3\x84rzte";
  rows[0].title = "Schrei nach Liebe";
  const std::string bytes = history_append(rows, 0, '\0');
  EXPECT_EQ(bytes,
            "Zeit;UTC-Versatz;Station;H\xF6rer;K\xFCnstler;Titel\r\n"
            "2026-12-09 08:36:00;+01:00;nachtradio;42;Die \xC4rzte;Schrei nach Liebe\r\n"
            "2026-12-09 08:36:00;+01:00;stra\xDF" "e;0;;\r\n"  // the ANSI code page
            "2026-12-09 08:36:00;+01:00;leer;;;\r\n");        // no answer is not 0
  EXPECT_EQ(read_history(bytes), rows);
  EXPECT_EQ(history_row(row("1999-03-01 23:59:59", -330, "x", 1)), "1999-03-01 23:59:59;-05:30;x;1;;\r\n");
  // A row of the version before, without the song.
  HistoryRow earlier = rows[0];
  earlier.artist = earlier.title = "";
  EXPECT_EQ(parse_history_row("2026-12-09 08:36:00;+01:00;nachtradio;42"), earlier);
}

// Texts from the network stay in their cell, on their line, and never run as a formula;
// the reader gives back exactly what was written.
TEST(HistoryFile, SongTextsAreQuotedGuardedAndComeBackExactly) {
  // clang-format off
  const std::pair<std::string, std::string> written[] = {{"AC;DC", "\"AC;DC\""}, {"\"Hi\" there", "\"\"\"Hi\"\" there\""},
      {"=1+2", "'=1+2"}, {"-x", "'-x"}, {"@home;\"", "\"'@home;\"\"\""}, {"'quoted'", "''quoted'"},
      {"two\r\nlines\tx", "two  lines x"}, {"\t=x", " =x"}};
  // clang-format on
  for (const auto& [text, field] : written) {
    EXPECT_EQ(history_field(text), field) << text;
    HistoryRow r = row("2026-12-09 08:36:00", 60, text, 1);
    r.artist = text;
    r.title = text + ";" + text;
    const auto back = read_history(history_row(r));
    ASSERT_EQ(back.size(), 1u) << text;
    EXPECT_TRUE(back[0] == r || text.find_first_of("\r\n\t") != std::string::npos) << text;
    EXPECT_EQ(back[0].artist, history_field_text(field));
  }
  // Torn inside a quoted field, or with anything after the title: no row.
  const std::string good = "2026-12-09 08:36:00;+01:00;a;1;\"x;y\";\"t\"\"\"";
  EXPECT_EQ(parse_history_row(good).value_or(HistoryRow{}).title, "t\"");
  for (const std::string& bad :
       {good.substr(0, good.size() - 1), good + ";", good + "x", good.substr(0, 33) + "\"y;t"}) {
    EXPECT_FALSE(parse_history_row(bad)) << bad;
  }
  HistoryRow longest = row("2026-12-09 08:36:00", 60, "a", 1);
  longest.title = std::string(2 * kHistoryTextMax, '"');
  EXPECT_EQ(read_history(history_row(longest)).at(0).title, std::string(kHistoryTextMax, '"'));
}

// The hour that repeats when summer time ends: the offsets keep the rows in order.
TEST(HistoryFile, TheRepeatedHourStaysInOrder) {
  const std::string bytes = history_append({row("2026-10-25 02:30:00", 120, "a", 1)}, 0, '\0') +
                            history_row(row("2026-10-25 02:10:00", 60, "a", 2)) +
                            history_row(row("2026-10-25 02:40:00", 60, "a", 3));
  const auto samples = station_samples(read_history(bytes), "a", 0, INT64_MAX);
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[0].count, 1);
  EXPECT_EQ(samples[1].count, 2);
  EXPECT_EQ(samples[1].utc - samples[0].utc, 40 * 60);
  EXPECT_EQ(samples[2].count, 3);
  EXPECT_EQ(samples[0].offset_minutes, 120);
  EXPECT_EQ(samples[1].offset_minutes, 60);
}

TEST(HistoryFile, ATornLastRowIsSkippedAndNeverGluedToTheNext) {
  std::string file = history_append({row("2026-12-09 08:36:00", 60, "a", 1)}, 0, '\0');
  file += "2026-12-09 08:37:00;+01:00;a;2";  // the power went
  file += history_append({row("2026-12-09 08:38:00", 60, "a", 3)}, file.size(), file.back());
  const auto rows = read_history(file);
  ASSERT_EQ(rows.size(), 3u);  // the torn row got its line break from the next write
  EXPECT_EQ(rows[2].count, 3);
  const std::string torn = "2026-12-09 08:39:00;+01:00;a;4";
  EXPECT_EQ(read_history(file + torn).size(), 3u);
}

TEST(HistoryFile, HandEditedGarbageIsSkipped) {
  const char* lines[] = {"", "hallo", "2026-13-09 08:36:00;+01:00;a;1", "2026-02-30 08:36:00;+01:00;a;1",
                         "2026-12-09 24:00:00;+01:00;a;1", "2026-12-09 08:36:00;01:00;a;1",
                         "2026-12-09 08:36:00;+01:00;;1", "2026-12-09 08:36:00;+01:00;a;-1",
                         "2026-12-09 08:36:00;+01:00;a;1;2", "2026-12-09 08:36:00;+01:00;a;x",
                         "2026-12-09 08:36:00;+01:00;a;99999999999", "09.12.2026 08:36:00;+01:00;a;1"};
  std::string file = history_header();
  for (const char* l : lines) file += std::string(l) + "\r\n";
  file += history_row(row("2024-02-29 00:00:00", 0, "a", 5));
  const auto rows = read_history(file);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].count, 5);
}

// The search by byte offset finds what a scan of every row finds, garbage and a torn
// end included, reading only a few places of the file.
TEST(HistoryFile, TheRangeSearchFindsWhatAScanFinds) {
  std::mt19937 rng(7);
  std::string file = history_header();
  int64_t t = row("2026-01-01 00:00:00", 60, "a", 0).local;
  std::vector<std::pair<int64_t, uint64_t>> starts;  // utc, offset of each row
  for (int i = 0; i < 20000; ++i) {
    t += 30 + static_cast<int64_t>(rng() % 120);
    if (rng() % 50 == 0) file += "von Hand\r\n";
    HistoryRow r;
    r.local = t;
    r.offset_minutes = 60;
    r.station = "s" + std::to_string(rng() % 6);
    if (rng() % 10) r.count = static_cast<int32_t>(rng() % 500);
    starts.emplace_back(r.utc(), file.size());
    file += history_row(r);
  }
  file += "2027-01-01 00:00:00;+01:00;s1;";  // torn
  int reads = 0;
  const ReadAt read = [&](uint64_t at, size_t n) {
    ++reads;
    return at >= file.size() ? std::string_view() : std::string_view(file).substr(at, n);
  };
  for (int k = 0; k < 200; ++k) {
    const int64_t from = starts.front().first - 100 + static_cast<int64_t>(rng() % (t - starts.front().first + 500));
    const auto it = std::find_if(starts.begin(), starts.end(), [&](const auto& s) { return s.first >= from; });
    const uint64_t expected = it == starts.end() ? file.size() : it->second;
    reads = 0;
    EXPECT_EQ(history_offset_of(file.size(), read, from), expected) << "from " << from;
    EXPECT_LT(reads, 200);
  }
}

// Reading a range in pieces finds what filtering every row of the file finds,
// pieces ending anywhere inside a row included.
TEST(HistoryRange, ReadingARangeInPiecesFindsWhatAFullReadFinds) {
  std::mt19937 rng(23);
  const std::vector<std::string> asked = {
      "Radio Eins",   "Sender \xC3\x84rger", "a", "ab", "A", "x\xEF\xBF\xBDy", "b", "",
      "Radio Eins;1", std::string(300, 'n'), "AC;DC", "=x"};
  const size_t chunks[] = {1, 2, 3, 7, 29, 64, 100, 4096, kHistoryReadChunk};
  size_t seen = 0;
  for (int round = 0; round < 60; ++round) {
    FileShape shape;
    shape.polls = 50 + static_cast<int>(rng() % 600);
    shape.torn = rng() % 2;
    shape.lf_only = rng() % 5 == 0;
    const std::string file = random_history(rng, shape);
    const auto rows = read_history(file);
    const int64_t first = rows.front().utc(), last = rows.back().utc();
    for (int k = 0; k < 12; ++k) {
      int64_t from = first - 100 + static_cast<int64_t>(rng() % static_cast<uint64_t>(last - first + 200));
      int64_t to = rng() % 3 == 0 ? INT64_MAX : from + static_cast<int64_t>(rng() % 20000);
      if (k == 0) from = INT64_MIN;
      const std::string& station = asked[rng() % asked.size()];
      const size_t chunk = chunks[rng() % std::size(chunks)];
      const auto want = station_samples(rows, station, from, to);
      ASSERT_EQ(read_station_range(file.size(), reader_of(file), station, from, to, chunk), want)
          << "round " << round << " station " << station << " from " << from << " to " << to << " chunk "
          << chunk;
      StationRange with_songs;
      add_station_range(with_songs, file.size(), reader_of(file), station, from, to, chunk);
      sort_samples(with_songs);
      ASSERT_EQ(with_songs.songs, station_range(rows, station, from, to).songs) << "round " << round;
      ASSERT_EQ(resolved(with_songs), resolved(station_range(rows, station, from, to))) << "round " << round;
      seen += want.size();
      // A poll appending meanwhile: what lies past the size the file was looked at is not read.
      const size_t cut = file.size() / 2 + rng() % (file.size() / 2);
      const ReadAt grown = [&file](uint64_t at, size_t n) {
        return at >= file.size() ? std::string_view() : std::string_view(file).substr(at, n + 50);
      };
      ASSERT_EQ(read_station_range(cut, grown, station, from, to, chunk),
                station_samples(read_history(file.substr(0, cut)), station, from, to))
          << "round " << round << " cut " << cut;
    }
  }
  EXPECT_GT(seen, 10000u);  // the ranges were not all empty
}

TEST(HistoryRange, SamplesCarryTheirRowsOffsetAndAClockSetBackComesSorted) {
  std::string file = history_append({row("2026-12-09 01:50:00", 60, "a", 0)}, 0, '\0');
  file += history_row(row("2026-12-09 02:10:00", 60, "a", 1));
  file += history_row(row("2026-12-09 02:20:00", 60, "a", 2));
  file += history_row(row("2026-12-09 02:05:00", 60, "a", 3));  // the clock went back
  file += history_row(row("2026-12-09 02:15:00", 60, "a", 4));
  file += history_row(row("2026-12-09 03:25:00", 120, "a", 5));
  const int64_t from = row("2026-12-09 01:00:00", 0, "", 0).local;
  const auto got = read_station_range(file.size(), reader_of(file), "a", from, INT64_MAX, 5);
  EXPECT_EQ(got, station_samples(read_history(file), "a", from, INT64_MAX));
  std::vector<std::pair<int32_t, int32_t>> counts_and_offsets;
  for (const auto& s : got) counts_and_offsets.emplace_back(s.count.value_or(-1), s.offset_minutes);
  EXPECT_EQ(counts_and_offsets,
            (std::vector<std::pair<int32_t, int32_t>>{{3, 60}, {1, 60}, {4, 60}, {2, 60}, {5, 120}}));
}

TEST(HistoryRange, LinesThatAreNoRowsAreSkippedAndCounted) {
  std::string file = history_append({row("2026-12-09 01:50:00", 60, "a", 0)}, 0, '\0');
  file += "von Hand: Nachtschicht\r\n";              // edited in
  file += "2026-12-09 01:51:00;+01:00;a;viele\r\n";  // the station's, unreadable
  file += "2026-12-09 01:51:00;+01:00;b;viele\r\n";  // another's: not looked into
  file += "\r\n";                                    // a blank line is no fault
  file += history_row(row("2026-12-09 01:52:00", 60, "a", 2));
  file += "2026-12-09 01:53:00;+01";  // torn
  for (size_t chunk : {size_t{3}, kHistoryReadChunk}) {
    size_t unreadable = 99;
    const auto got = read_station_range(file.size(), reader_of(file), "a", 0, INT64_MAX, chunk, &unreadable);
    EXPECT_EQ(got.size(), 2u);
    EXPECT_EQ(unreadable, 3u) << "chunk " << chunk;
  }
  size_t unreadable = 99;
  EXPECT_TRUE(
      read_station_range(0, reader_of(""), "a", 0, INT64_MAX, kHistoryReadChunk, &unreadable).empty());
  EXPECT_EQ(unreadable, 0u);
}

// The thinning against a plain reference: every column's extremes from all samples
// in its slot, a gap where the answered neighbours lie too far apart or a missed
// answer stands between them.
TEST(HistoryRange, ColumnsKeepEachSlotsExtremesAndTheGaps) {
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    const int64_t from = 1000, to = from + 1 + static_cast<int64_t>(rng() % 100000);
    const int width = 1 + static_cast<int>(rng() % 700);
    const int64_t max_gap = 60 + static_cast<int64_t>(rng() % 3000);
    std::vector<HistorySample> samples;
    for (int64_t t = from - 500; t < to + 500; t += 1 + static_cast<int64_t>(rng() % (rng() % 4 ? 200 : 5000))) {
      HistorySample s{t, std::nullopt};
      if (rng() % 8) s.count = static_cast<int32_t>(rng() % 1000);
      samples.push_back(s);
    }
    const auto got = thin_to_columns(samples, from, to, width, max_gap);
    ASSERT_EQ(got.size(), static_cast<size_t>(width));
    const HistorySample* previous = nullptr;  // the last answered sample in range
    bool missed = true;
    for (int c = 0; c < width; ++c) {
      HistoryColumn want;
      for (const auto& s : samples) {
        if (s.utc < from || s.utc >= to || (s.utc - from) * width / (to - from) != c) continue;
        if (!s.count) {
          missed = true;
          continue;
        }
        if (!want.any) {
          want = {true, *s.count, *s.count, missed || !previous || s.utc - previous->utc > max_gap};
        } else {
          want.low = std::min(want.low, *s.count);
          want.high = std::max(want.high, *s.count);
        }
        previous = &s;
        missed = false;
      }
      ASSERT_EQ(got[static_cast<size_t>(c)], want) << "round " << round << " column " << c;
    }
  }
}

TEST(HistoryRange, SummaryAndGapsOfThePollInterval) {
  const auto s = summarize({{1, 4}, {2, std::nullopt}, {3, 10}, {4, 0}});
  EXPECT_EQ(s.minimum, 0);
  EXPECT_EQ(s.maximum, 10);
  EXPECT_DOUBLE_EQ(*s.mean, 14.0 / 3);
  EXPECT_FALSE(summarize({{1, std::nullopt}}).mean);
  EXPECT_EQ(gap_seconds(1), 120);
  EXPECT_EQ(gap_seconds(3), 360);
}


// A file that takes rows only when told to.
struct ScriptedSink : HistorySink {
  AppendResult next = AppendResult::kWritten;
  std::vector<std::vector<HistoryRow>> writes;
  AppendResult append(const std::vector<HistoryRow>& rows) override {
    if (next == AppendResult::kWritten) writes.push_back(rows);
    return next;
  }
};

std::vector<HistoryRow> poll_rows(int64_t local, int32_t eins) {
  return history_rows({{"eins", true, eins}, {"zwei", false, 0}, {"drei", true, 0}}, local, 60);
}

TEST(HistoryLog, AnUnansweredStationIsNoZeroAndEveryStationHasItsRow) {
  const std::vector<HistoryRow> rows = poll_rows(100, 7);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (HistoryRow{100, 60, "eins", 7}));
  EXPECT_EQ(rows[1].count, std::nullopt);
  EXPECT_EQ(rows[2].count, 0);
}

TEST(HistoryLog, RowsWaitWhileTheFileIsHeldAndFollowInOrder) {
  ScriptedSink sink;
  HistoryLog log(sink);
  sink.next = AppendResult::kBusy;  // a spreadsheet has it open
  EXPECT_FALSE(log.add(poll_rows(100, 1)));
  EXPECT_FALSE(log.add(poll_rows(160, 2)));
  EXPECT_EQ(log.waiting().size(), 6u);
  EXPECT_FALSE(log.failing());  // being held is no failure worth a balloon
  sink.next = AppendResult::kWritten;
  EXPECT_FALSE(log.add(poll_rows(220, 3)));
  ASSERT_EQ(sink.writes.size(), 1u);  // one write for all of it
  ASSERT_EQ(sink.writes[0].size(), 9u);
  EXPECT_EQ(sink.writes[0][0].local, 100);
  EXPECT_EQ(sink.writes[0][3].count, 2);
  EXPECT_EQ(sink.writes[0][8].local, 220);
  EXPECT_TRUE(log.waiting().empty());

  // While the file is pruned nothing is written; afterwards everything is.
  log.hold();
  EXPECT_FALSE(log.add(poll_rows(280, 4)));
  EXPECT_EQ(sink.writes.size(), 1u);
  EXPECT_FALSE(log.release());
  ASSERT_EQ(sink.writes.size(), 2u);
  EXPECT_EQ(sink.writes[1].size(), 3u);
}

TEST(HistoryLog, AFailingFileIsToldOnceUntilItWorksAgain) {
  ScriptedSink sink;
  HistoryLog log(sink);
  sink.next = AppendResult::kFailed;
  EXPECT_TRUE(log.add(poll_rows(100, 1)));
  EXPECT_FALSE(log.add(poll_rows(160, 1)));
  EXPECT_FALSE(log.add(poll_rows(220, 1)));
  sink.next = AppendResult::kWritten;
  EXPECT_FALSE(log.add(poll_rows(280, 1)));
  EXPECT_EQ(sink.writes.at(0).size(), 12u);  // nothing lost meanwhile
  sink.next = AppendResult::kFailed;
  EXPECT_TRUE(log.add(poll_rows(340, 1)));
}

TEST(HistoryLog, AtMostADayOfRowsWaitsAndTheOldestGoFirst) {
  ScriptedSink sink;
  HistoryLog log(sink);
  sink.next = AppendResult::kBusy;
  const size_t polls = HistoryLog::kMaxWaiting / 3 + 10;
  for (size_t i = 0; i < polls; ++i) log.add(poll_rows(static_cast<int64_t>(i) * 60, 1));
  EXPECT_EQ(log.waiting().size(), HistoryLog::kMaxWaiting);
  EXPECT_EQ(log.dropped(), polls * 3 - HistoryLog::kMaxWaiting);
  EXPECT_EQ(log.waiting().back().local, static_cast<int64_t>(polls - 1) * 60);
}

// The month files, written as the polls write them, read back by range.
TEST(HistoryMonths, NamesRoundTripAndEveryRangeFindsWhatAFilterOfAllRowsFinds) {
  for (const std::string station : {"nachtradio", "a/b", "A:b", "..", "x_2026-01"}) {
    const std::string title = title_file_name(station);  // made safe the same way
    EXPECT_EQ(history_month_file_name(station, row("2026-02-28 23:59:59", 60, "", 0).local),
              title.substr(6, title.size() - 10) + "_2026-02.csv");
  }
  const int64_t t = row("2026-02-28 23:59:59", 0, "", 0).local;
  EXPECT_EQ(history_files_for_range({"desktop.ini", history_month_file_name("", t)}, "", t, t + 1).size(),
            1u);
  for (const char* other : {"a.csv", "a_2026-13.csv", "a_2026-1.csv", "_2026-12.csv", "a_2026-12.csv.part"}) {
    EXPECT_FALSE(parse_history_month_file_name(other)) << other;
  }
  // Summer time ends at local midnight on Nov 1 (23:00 to 00:00 on Oct 31 comes twice),
  // and a zone west of UTC, whose last local hours of a month are the next one's in UTC.
  std::mt19937 rng(3);
  std::vector<HistoryRow> all;
  std::map<std::string, std::string> files;
  const int64_t change = civil_seconds(2026, 10, 31, 22, 0, 0);
  for (int64_t utc = civil_seconds(2026, 10, 29, 0, 0, 0); utc < civil_seconds(2026, 12, 3, 0, 0, 0);
       utc += 600 + static_cast<int64_t>(rng() % 1200)) {
    std::vector<HistoryRow> poll;
    for (const std::string station : {"a/b", "a:b", "A:b", "west"}) {
      const int32_t offset = station == "west" ? -300 : utc < change ? 120 : 60;
      poll.push_back({utc + offset * 60, offset, station, static_cast<int32_t>(rng() % 100),
                      "k" + std::to_string(utc / 3000), "t"});
    }
    for (const auto& f : history_rows_by_file(poll)) {
      files[f.file_name] += history_append(f.rows, files[f.file_name].size(), '\n');
    }
    all.insert(all.end(), poll.begin(), poll.end());
  }
  std::vector<std::string> listing{"desktop.ini"};
  for (const auto& entry : files) listing.push_back(entry.first);
  for (int k = 0; k < 300; ++k) {
    const std::string station = k % 2 ? "west" : k % 4 ? "a:b" : "A:b";
    // Bounds near a month's edge, half of them.
    const int64_t edge = civil_seconds(2026, 11 + k % 2, 1, 0, 0, 0);
    const int64_t from = k % 4 < 2 ? edge - 7200 + static_cast<int64_t>(rng() % (6 * 3600))
                                   : all.front().utc() + static_cast<int64_t>(rng() % (40 * 86400));
    const int64_t to = from + static_cast<int64_t>(rng() % (rng() % 2 ? 7200 : 20 * 86400));
    std::vector<HistorySource> sources;
    const auto names = history_files_for_range(listing, station, from, to);
    for (const std::string& name : names) sources.push_back({files[name].size(), reader_of(files[name])});
    ASSERT_EQ(resolved(read_station_months(sources, station, from, to)),
              resolved(station_range(all, station, from, to)))
        << station << " from " << from << " to " << to;
  }
}

// Pruning against day arithmetic: a file goes when its month ended by the start of
// the day history_days before now.
TEST(HistoryMonths, PruningDeletesTheMonthsThatEndedBeforeTheCutOffDay) {
  std::vector<std::string> listing{"notiz.txt", "a_2026-03.csv.part"};
  std::vector<int64_t> ends;  // of each month file's month
  for (int m = 0; m < 36; ++m) {
    listing.push_back(history_month_file_name("a", civil_seconds(2025 + m / 12, m % 12 + 1, 9, 0, 0, 0)));
    ends.push_back(civil_seconds(2025 + (m + 1) / 12, (m + 1) % 12 + 1, 1, 0, 0, 0));
  }
  std::mt19937 rng(4);
  for (int k = 0; k < 500; ++k) {
    const int64_t now = civil_seconds(2026, 1, 1, 0, 0, 0) + static_cast<int64_t>(rng() % (700 * 86400));
    const int days = static_cast<int>(rng() % 400);
    std::vector<std::string> want;
    for (size_t m = 0; m < ends.size(); ++m) {
      if (ends[m] <= (now - days * 86400) / 86400 * 86400) want.push_back(listing[m + 2]);
    }
    ASSERT_EQ(history_files_to_delete(listing, now, days), want) << "now " << now << " days " << days;
  }
}

// Plays against a plain grouping of the station's rows, read from two files cut anywhere.
TEST(Plays, RunsOfOneSongBetweenMissedAnswersAndSilenceSortStably) {
  std::mt19937 rng(8);
  for (int round = 0; round < 30; ++round) {
    FileShape shape;
    shape.torn = false;
    const std::string file = random_history(rng, shape);
    std::vector<Play> want;
    bool open = false;
    for (const HistoryRow& r : read_history(file)) {
      if (r.station != "a") continue;
      const bool plays = r.count && (!r.artist.empty() || !r.title.empty());
      if (plays && open && r.artist == want.back().artist && r.title == want.back().title) {
        want.back().count_at_end = *r.count;
        want.back().change = *r.count - want.back().count_at_begin;
      } else if (plays) {
        want.push_back({r.utc(), r.offset_minutes, r.artist, r.title, *r.count, *r.count, 0});
      }
      open = plays;
    }
    const size_t cut = file.find('\n', rng() % file.size()) + 1;
    const std::string files[2] = {file.substr(0, cut), history_header() + file.substr(cut)};
    ASSERT_EQ(
        plays_of(read_station_months({{cut, reader_of(files[0])}, {files[1].size(), reader_of(files[1])}},
                                     "a", INT64_MIN, INT64_MAX)),
        want)
        << "round " << round;
    for (int column = 0; column < 6; ++column) {
      for (const bool descending : {false, true}) {
        std::vector<Play> sorted = want;
        sort_plays(sorted, static_cast<PlayColumn>(column), descending);
        // Texts ignoring case, numbers by value; equal ones keep their order.
        const auto key = [&](const Play& p) {
          const int64_t n[] = {p.begin_utc, 0, 0, p.count_at_begin, p.count_at_end, p.change};
          return std::make_pair(to_lower(column == 1 ? p.artist : column == 2 ? p.title : ""), n[column]);
        };
        std::vector<Play> reference = want;
        std::stable_sort(reference.begin(), reference.end(), [&](const Play& a, const Play& b) {
          return descending ? key(b) < key(a) : key(a) < key(b);
        });
        ASSERT_EQ(sorted, reference) << column << descending;
      }
    }
  }
}

// The program folder in a real folder: POSIX files, the safe write through filesafe.
// The call numbered fail_at fails; an append then leaves half its bytes, as a crash would.
struct PosixDisk : HistoryDisk {
  std::string root;
  int calls = 0, fail_at = -1;
  bool fails() { return calls++ == fail_at; }
  std::string at(const std::string& path) const { return root + "/" + path; }
  std::optional<bool> exists(const std::string& path) override {
    return fails() ? std::nullopt : std::optional<bool>(std::filesystem::exists(at(path)));
  }
  bool make_folder(const std::string& f) override {
    std::error_code ec;
    return !fails() && (std::filesystem::create_directory(at(f), ec) || std::filesystem::is_directory(at(f)));
  }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    if (fails()) return std::nullopt;
    std::vector<std::string> names;
    std::error_code missing;
    for (const auto& e : std::filesystem::directory_iterator(at(folder), missing))
      names.push_back(e.path().filename());
    return names;
  }
  bool read(const std::string& path, uint64_t offset, size_t n, std::string& bytes) override {
    const std::optional<std::string> all = filesafe::read_whole_file(at(path));
    if (fails() || !all) return false;
    bytes = all->substr(std::min<size_t>(offset, all->size()), n);
    return true;
  }
  bool append(const std::string& path, std::string_view bytes) override {
    const bool fail = fails();
    std::ofstream(at(path), std::ios::binary | std::ios::app)
        .write(bytes.data(), static_cast<std::streamsize>(fail ? bytes.size() / 2 : bytes.size()));
    return !fail;
  }
  bool replace(const std::string& path, std::string_view bytes) override {
    return !fails() && filesafe::replace_file(at(path), bytes);
  }
  bool remove(const std::string& path) override {
    return !fails() && (::remove(at(path).c_str()) == 0 || errno == ENOENT);
  }
  std::map<std::string, std::string> folder() {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(at(kHistoryFolderName)))
      files[e.path().filename()] = *filesafe::read_whole_file(e.path());
    return files;
  }
};

// The carry-over against the old file's rows regrouped naively, merged with a month
// file a newer run left; a failure at every step, then a run that must end the same.
TEST(HistoryCarry, EveryFailureLeavesTheOldFileAndTheNextRunEndsInTheReference) {
  std::mt19937 rng(12);
  FileShape shape;
  shape.polls = 150;
  shape.long_songs = false;
  const std::string old = random_history(rng, shape);
  std::vector<HistoryRow> newer;  // rows of "a" a newer version wrote before a downgrade
  for (const HistoryRow& r : read_history(old)) {
    if (r.station == "a" && rng() % 3 == 0)
      newer.push_back({r.local + 60 * int64_t{rng() % 2 == 0}, r.offset_minutes, "a", 7});
  }
  const std::string newer_name = history_month_file_name("a", newer[0].local);
  std::map<std::string, std::vector<HistoryRow>> groups{{newer_name, newer}};
  std::set<std::tuple<int64_t, int32_t, std::string>> present;
  for (const HistoryRow& r : newer) present.emplace(r.local, r.offset_minutes, r.station);
  for (const HistoryRow& r : read_history(old)) {
    if (!present.count({r.local, r.offset_minutes, r.station}))
      groups[history_month_file_name(r.station, r.local)].push_back(r);
  }
  std::map<std::string, std::string> want;
  for (auto& [name, rows] : groups) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return a.utc() < b.utc(); });
    want[name] = history_append(rows, 0, '\n');
  }
  size_t want_unreadable = 1;  // the torn row
  for (size_t at = 0, nl; (nl = old.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string line = old.substr(at, nl - at);
    want_unreadable += line.size() > 1 && !parse_history_row(line) && line.rfind("Zeit;", 0) != 0;
  }
  // Memory where the system has it: the safe writes' syncs cost nothing there.
  std::string dir =
      (std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/kn_carry_XXXXXX");
  PosixDisk disk;
  ASSERT_TRUE(mkdtemp(dir.data()));
  disk.root = dir;
  const auto set_up = [&] {
    std::filesystem::remove_all(disk.root + "/hoerer_verlauf");
    std::filesystem::create_directory(disk.root + "/hoerer_verlauf");
    ASSERT_TRUE(filesafe::replace_file(disk.at(kHistoryFileName), old));
    ASSERT_TRUE(
        filesafe::replace_file(disk.at("hoerer_verlauf/" + newer_name), history_append(newer, 0, '\n')));
  };
  const auto check_second_run = [&](const std::string& what) {
    ASSERT_EQ(*filesafe::read_whole_file(disk.at(kHistoryFileName)), old) << what;
    for (const auto& [name, bytes] : disk.folder()) {
      if (name.find(".part") == std::string::npos) {
        ASSERT_TRUE(bytes == want[name] || name == newer_name) << what << name;
      }
    }
    disk.fail_at = -1;
    const CarryResult result = carry_over_history(disk, 4096);
    ASSERT_TRUE(result.done) << what;
    EXPECT_EQ(result.unreadable, want_unreadable) << what;
    ASSERT_TRUE(disk.folder() == want) << what;
    EXPECT_FALSE(*disk.exists(kHistoryFileName)) << what;
  };
  // Each call of the interface in turn, then each step of the safe writes.
  for (const bool safe_write : {false, true}) {
    int steps = 0;
    for (bool failed = true; failed; ++steps) {
      set_up();
      int step = 0;
      disk.calls = 0;
      disk.fail_at = safe_write ? -1 : steps;
      if (safe_write) filesafe::set_fault_hook([&](filesafe::FileStep) { return step++ == steps ? EIO : 0; });
      failed = !carry_over_history(disk, 4096).done;
      filesafe::set_fault_hook({});
      if (failed) check_second_run((safe_write ? "write step " : "call ") + std::to_string(steps));
    }
    EXPECT_GT(steps, 10);
  }
  std::filesystem::remove_all(disk.root);
}

}  // namespace
}  // namespace kn
