#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/history_file.h"
#include "core/history_range.h"
#include "core/hoerer_stats.h"

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

TEST(HistoryFile, RowsGoOutAsASpreadsheetReadsThemAndComeBackTheSame) {
  const std::vector<HistoryRow> rows = {row("2026-12-09 08:36:00", 60, "nachtradio", 42),
                                        row("2026-12-09 08:36:00", 60, "stra\xC3\x9F" "e", 0),
                                        row("2026-12-09 08:36:00", 60, "leer", std::nullopt)};
  const std::string bytes = history_append(rows, 0, '\0');
  EXPECT_EQ(bytes,
            "Zeit;UTC-Versatz;Station;H\xF6rer\r\n"
            "2026-12-09 08:36:00;+01:00;nachtradio;42\r\n"
            "2026-12-09 08:36:00;+01:00;stra\xDF" "e;0\r\n"  // the ANSI code page
            "2026-12-09 08:36:00;+01:00;leer;\r\n");        // no answer is not 0
  EXPECT_EQ(read_history(bytes), rows);
  EXPECT_EQ(history_row(row("1999-03-01 23:59:59", -330, "x", 1)), "1999-03-01 23:59:59;-05:30;x;1\r\n");
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

TEST(HistoryFile, PruningKeepsExactlyTheRowsInsideTheDays) {
  std::string file = history_header();
  for (int day = 1; day <= 9; ++day) {
    file += history_row(row("2026-12-0" + std::to_string(day) + " 12:00:00", 60, "a", day));
    file += "kaputt\r\n";
  }
  const int64_t keep_from = row("2026-12-05 11:00:00", 0, "a", 0).utc();  // 12:00 +01:00 is 11:00 UTC
  const auto kept = read_history(pruned_history(file, keep_from));
  ASSERT_EQ(kept.size(), 5u);
  EXPECT_EQ(kept.front().count, 5);
  EXPECT_EQ(kept.back().count, 9);
  EXPECT_EQ(pruned_history(file, keep_from).find("kaputt"), std::string::npos);
  EXPECT_EQ(pruned_history(file, keep_from).rfind(history_header(), 0), 0u);
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
    return at >= file.size() ? std::string() : file.substr(at, n);
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

}  // namespace
}  // namespace kn
