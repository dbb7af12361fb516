#include "stats/history_plot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/history_file.h"
#include "recording_surface.h"

namespace kn {
namespace {

using test::Op;
using test::RecordingSurface;

constexpr int32_t kCet = 60;  // minutes
constexpr uint32_t kGreen = 0x00FF00, kTeal = 0x808000;

// UTC seconds of a wall-clock time in CET.
int64_t cet(int y, int mo, int d, int h, int mi) { return civil_seconds(y, mo, d, h, mi, 0) - kCet * 60; }

int32_t glyphs(const std::string& s) {
  int32_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

void expect_inside(const RecordingSurface& pic) {
  const float w = static_cast<float>(pic.w_), h = static_cast<float>(pic.h_);
  for (const Op& op : pic.ops) {
    if (op.kind == Op::kLine || op.kind == Op::kRect) {
      for (float x : {op.x1, op.x2}) EXPECT_TRUE(x >= 0 && x <= w - 1) << x;
      for (float y : {op.y1, op.y2}) EXPECT_TRUE(y >= 0 && y <= h - 1) << y;
    } else if (op.kind == Op::kText) {
      EXPECT_GE(op.x1, 0) << op.text;
      EXPECT_GE(op.y1, 0) << op.text;
      EXPECT_LE(op.x1 + static_cast<float>(glyphs(op.text) * HistoryPlot::kCharWidth), w) << op.text;
      EXPECT_LE(op.y1 + static_cast<float>(HistoryPlot::kTextHeight), h) << op.text;
    }
  }
}

// The labels under the plot, left to right.
std::vector<std::string> time_labels(const RecordingSurface& pic, const HistoryPlot& plot) {
  std::vector<std::string> out;
  const float below = static_cast<float>(plot.area().top + plot.area().height);
  for (const Op& op : pic.texts())
    if (op.y1 >= below) out.push_back(op.text);
  return out;
}

std::vector<Op> green(const RecordingSurface& pic) {
  std::vector<Op> out;
  for (const Op& op : pic.lines())
    if (op.colour == kGreen) out.push_back(op);
  return out;
}

float x_of(const HistoryPlot& plot, int64_t utc, int64_t from, int64_t to) {
  return static_cast<float>(plot.area().left + (utc - from) * plot.area().width / (to - from));
}

TEST(HistoryPlot, RangesAndTheirLabels) {
  const std::vector<std::string> entries{"seit Programmstart", "letzte Stunde",  "letzte 24 Stunden",
                                         "letzte 7 Tage",      "letzte 30 Tage", "letztes Jahr"};
  EXPECT_EQ(range_entries(), entries);
  EXPECT_EQ(range_seconds(HistoryRange::kSinceStart), 0);
  EXPECT_EQ(range_seconds(HistoryRange::kHour), 3600);
  EXPECT_EQ(range_seconds(HistoryRange::kDay), 86400);
  EXPECT_EQ(range_seconds(HistoryRange::kWeek), 7 * 86400);
  EXPECT_EQ(range_seconds(HistoryRange::kMonth), 30 * 86400);
  EXPECT_EQ(range_seconds(HistoryRange::kYear), 365 * 86400);

  EXPECT_EQ(range_labels(summarize({})), (RangeLabels{"-", "-", "-"}));
  EXPECT_EQ(range_labels(summarize({{1, std::nullopt}})), (RangeLabels{"-", "-", "-"}));
  EXPECT_EQ(range_labels(summarize({{1, 4}, {2, std::nullopt}, {3, 10}, {4, 0}})),
            (RangeLabels{"0", "10", "4,7"}));
  EXPECT_EQ(range_labels(summarize({{1, 10}, {2, 15}})).mean, "12,5");
  EXPECT_EQ(range_labels(summarize({{1, 7}})).mean, "7,0");
  EXPECT_EQ(range_labels(summarize({{1, 1999}, {2, 2000}, {3, 2000}})).mean, "1999,7");
}

// Local 2026-12-09 08:36 in CET, a plot 475 pixels wide.
TEST(HistoryPlot, TimeAxisLabelsOfEachRange) {
  const int64_t to = cet(2026, 12, 9, 8, 36);
  struct Case {
    HistoryRange range;
    std::vector<std::string> labels;
  } cases[] = {
      {HistoryRange::kHour, {"07:40", "07:50", "08:00", "08:10", "08:20", "08:30"}},
      {HistoryRange::kDay, {"09:00", "12:00", "15:00", "18:00", "21:00", "00:00", "03:00", "06:00"}},
      {HistoryRange::kWeek, {"03.12.", "04.12.", "05.12.", "06.12.", "07.12.", "08.12.", "09.12."}},
      {HistoryRange::kMonth, {"16.11.", "23.11.", "30.11.", "07.12."}},  // Mondays
      {HistoryRange::kYear,
       {"Jan", "Feb", "M\xC3\xA4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(range_text(c.range));
    const int64_t from = to - range_seconds(c.range);
    HistoryPlot plot;
    plot.set_data({}, from, to, 120, kCet);
    RecordingSurface pic(500, 200);
    plot.draw(pic);
    ASSERT_EQ(plot.area().width, 475);
    EXPECT_EQ(time_labels(pic, plot), c.labels);
    expect_inside(pic);
  }

  // Each label stands centred under its grid line, which is at its time.
  HistoryPlot plot;
  const int64_t from = to - 86400;
  plot.set_data({}, from, to, 120, kCet);
  RecordingSurface pic(500, 200);
  plot.draw(pic);
  const float midnight = x_of(plot, cet(2026, 12, 9, 0, 0), from, to);
  bool found = false;
  for (const Op& op : pic.lines())
    found = found || (op.colour == kTeal && op.x1 == midnight && op.x2 == midnight && op.y1 < op.y2);
  EXPECT_TRUE(found);
  int midnights = 0;
  for (const Op& op : pic.texts()) {
    if (op.text != "00:00") continue;
    ++midnights;
    EXPECT_NEAR(op.x1 + 2.5f * HistoryPlot::kCharWidth, midnight, 1.0f);
  }
  EXPECT_EQ(midnights, 1);
}

// A year of samples a minute apart at 10 listeners, with one minute of 500: its
// column still reaches the top, and the whole year is drawn column by column.
TEST(HistoryPlot, AOneMinutePeakInAYearStaysVisible) {
  const int64_t to = cet(2026, 12, 9, 8, 36), from = to - 365 * 86400;
  std::vector<HistorySample> samples;
  for (int64_t t = from; t < to; t += 60) samples.push_back({t, 10, kCet});
  ASSERT_GT(samples.size(), 500000u);
  const int64_t peak = from + 200 * 86400 + 17 * 60;
  samples[static_cast<size_t>((peak - from) / 60)].count = 500;

  HistoryPlot plot;
  plot.set_data(samples, from, to, 120, kCet);
  RecordingSurface pic(600 + 39, 300);  // 600 columns
  plot.draw(pic);
  const auto& area = plot.area();
  ASSERT_EQ(area.width, 600);
  EXPECT_EQ(area.top_count, 500);
  const float x = x_of(plot, peak, from, to);
  const float bottom = static_cast<float>(area.top + area.height - 1);
  const float ten = bottom - 10.0f * static_cast<float>(area.height - 1) / 500.0f;
  int bars = 0, joins = 0;
  for (const Op& op : green(pic)) {
    if (op.x1 == op.x2) {
      ++bars;
      const bool at_peak = op.x1 == x;
      EXPECT_FLOAT_EQ(op.y1, at_peak ? static_cast<float>(area.top) : ten) << op.x1;
      EXPECT_FLOAT_EQ(op.y2, ten + 1) << op.x1;
    } else {
      ++joins;
      EXPECT_EQ(op.x2 - op.x1, 1.0f);
    }
  }
  EXPECT_EQ(bars, 600);
  EXPECT_EQ(joins, 599);
  expect_inside(pic);

  const auto tip = plot.tip_at(static_cast<int32_t>(x));
  ASSERT_TRUE(tip);
  EXPECT_NE(tip->find(" \xE2\x80\x93 10 bis 500 H\xC3\xB6rer"), std::string::npos) << *tip;
}

TEST(HistoryPlot, AGapOrAMissedAnswerPartsTheLine) {
  const int64_t to = cet(2026, 12, 9, 9, 0), from = to - 3600;
  std::vector<HistorySample> samples;
  for (int m = 0; m < 10; ++m) samples.push_back({from + m * 60, 20 + m, kCet});
  for (int m = 30; m < 40; ++m) samples.push_back({from + m * 60, 20, kCet});  // 20 minutes without a poll
  samples.push_back({from + 45 * 60, 30, kCet});
  samples.push_back({from + 46 * 60, std::nullopt, kCet});
  samples.push_back({from + 47 * 60, 30, kCet});

  HistoryPlot plot;
  plot.set_data(samples, from, to, 120, kCet);
  RecordingSurface pic(500, 200);
  plot.draw(pic);
  const auto crosses = [&](int64_t a, int64_t b) {
    for (const Op& op : green(pic))
      if (op.x1 <= x_of(plot, a, from, to) && op.x2 >= x_of(plot, b, from, to) && op.x1 != op.x2) return true;
    return false;
  };
  EXPECT_TRUE(crosses(from, from + 60));
  EXPECT_TRUE(crosses(from + 8 * 60, from + 9 * 60));
  EXPECT_FALSE(crosses(from + 9 * 60, from + 30 * 60));
  EXPECT_FALSE(crosses(from + 39 * 60, from + 45 * 60));
  EXPECT_FALSE(crosses(from + 45 * 60, from + 47 * 60));
  expect_inside(pic);

  HistoryPlot wide;
  wide.set_data(samples, from, to, 10 * 60, kCet);
  RecordingSurface wide_pic(500, 200);
  wide.draw(wide_pic);
  // Six minutes are within a gap of ten now; the missed answer still parts the line.
  EXPECT_EQ(green(wide_pic).size(), green(pic).size() + 1);
}

TEST(HistoryPlot, TooltipTexts) {
  const int64_t to = cet(2026, 12, 10, 8, 0), from = to - 86400;  // from 09.12. 08:00
  std::vector<HistorySample> samples = {
      {from, 12, kCet},
      {from + 60, 40, kCet},
      {from + 120, 20, kCet},
      {from + 180, 30, kCet},
      {from + 3600, std::nullopt, kCet},
      {from + 7200, 42, 120, 1},  // a sample from summer time keeps its own local time
  };
  samples[1].song = 0;  // the column's highest: its song is the column's
  HistoryPlot plot;
  EXPECT_FALSE(plot.tip_at(100));  // nothing drawn yet
  plot.set_data(samples, from, to, 120, kCet, {{"Nena", "Leuchtturm"}, {"Kraftwerk", "Das Model"}});
  RecordingSurface pic(507, 200);
  plot.draw(pic);
  const auto& area = plot.area();
  ASSERT_EQ(area.width, 475);

  EXPECT_EQ(plot.tip_at(area.left),
            "09.12.2026 08:00 bis 08:03 \xE2\x80\x93 12 bis 40 H\xC3\xB6rer \xE2\x80\x93 Nena \xE2\x80\x93 Leuchtturm");
  EXPECT_EQ(plot.tip_at(static_cast<int32_t>(x_of(plot, from + 3600, from, to))),
            "09.12.2026 09:00 \xE2\x80\x93 keine Antwort");
  EXPECT_EQ(plot.tip_at(static_cast<int32_t>(x_of(plot, from + 7200, from, to))),
            "09.12.2026 11:00 \xE2\x80\x93 42 H\xC3\xB6rer \xE2\x80\x93 Kraftwerk \xE2\x80\x93 Das Model");
  EXPECT_FALSE(plot.tip_at(area.left + 1));  // between samples
  EXPECT_FALSE(plot.tip_at(area.left + 300));
  EXPECT_FALSE(plot.tip_at(area.left - 1));
  EXPECT_FALSE(plot.tip_at(area.left + area.width));

  // A column over midnight names both days.
  const int64_t y_to = cet(2026, 12, 10, 8, 0), y_from = y_to - 365 * 86400;
  HistoryPlot year;
  year.set_data({{cet(2026, 12, 9, 23, 59), 5, kCet}, {cet(2026, 12, 10, 0, 1), 5, kCet}}, y_from, y_to, 120,
                kCet);
  year.draw(pic);
  EXPECT_EQ(year.tip_at(static_cast<int32_t>(x_of(year, cet(2026, 12, 10, 0, 1), y_from, y_to))),
            "09.12.2026 23:59 bis 10.12.2026 00:01 \xE2\x80\x93 5 H\xC3\xB6rer");
}

TEST(HistoryPlot, AnEmptyRangeOrATinySurfaceDrawsNoLine) {
  const int64_t to = cet(2026, 12, 9, 8, 36), from = to - 3600;
  HistoryPlot plot;
  plot.set_data({{from - 60, 99, kCet}, {to, 99, kCet}, {from + 60, std::nullopt, kCet}}, from, to, 120,
                kCet);
  RecordingSurface pic(500, 200);
  plot.draw(pic);
  EXPECT_TRUE(green(pic).empty());
  EXPECT_EQ(plot.area().top_count, 1);  // samples outside the range do not count
  EXPECT_FALSE(plot.tip_at(plot.area().left + 10));
  EXPECT_EQ(plot.tip_at(static_cast<int32_t>(x_of(plot, from + 60, from, to))),
            "09.12.2026 07:37 \xE2\x80\x93 keine Antwort");
  expect_inside(pic);

  for (auto [w, h] : {std::pair{10, 10}, {0, 0}, {20, 200}, {500, 20}}) {
    RecordingSurface tiny(w, h);
    plot.set_data({{from + 60, 5, kCet}}, from, to, 120, kCet);
    plot.draw(tiny);
    EXPECT_TRUE(green(tiny).empty());
    EXPECT_FALSE(plot.tip_at(0));
    expect_inside(tiny);
  }
}

// The count axis: round steps from 0 at the bottom to at or above the highest count.
TEST(HistoryPlot, CountAxisLabels) {
  const int64_t to = cet(2026, 12, 9, 8, 36), from = to - 3600;
  struct Case {
    int32_t highest;
    std::vector<std::string> labels;
  } cases[] = {{42, {"0", "10", "20", "30", "40", "50"}},
               {100, {"0", "20", "40", "60", "80", "100"}},
               {7, {"0", "2", "4", "6", "8"}},
               {2000000000, {"0", "500000000", "1000000000", "1500000000", "2000000000"}}};
  for (const Case& c : cases) {
    HistoryPlot plot;
    plot.set_data({{from, 0, kCet}, {from + 60, c.highest, kCet}}, from, to, 120, kCet);
    RecordingSurface pic(500, 200);
    plot.draw(pic);
    std::vector<std::string> labels;
    for (const Op& op : pic.texts())
      if (op.x1 < static_cast<float>(plot.area().left)) labels.push_back(op.text);
    EXPECT_EQ(labels, c.labels) << c.highest;
    expect_inside(pic);
  }
}

}  // namespace
}  // namespace kn
