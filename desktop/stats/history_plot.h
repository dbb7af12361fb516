#pragma once
// The statistics window's ranges over the listener history on disk: one station's
// samples over an hour up to a year, drawn one pixel column at a time (its lowest to
// its highest count), over a count axis and a local-time axis.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/history_range.h"
#include "stats/line_graph.h"

namespace kn {

// The "Zeitraum" drop-down's entries, in its order.
enum class HistoryRange { kSinceStart, kHour, kDay, kWeek, kMonth, kYear };
inline constexpr HistoryRange kHistoryRanges[] = {HistoryRange::kSinceStart, HistoryRange::kHour,
                                                  HistoryRange::kDay,        HistoryRange::kWeek,
                                                  HistoryRange::kMonth,      HistoryRange::kYear};

// The entry's text, UTF-8.
const char* range_text(HistoryRange range);
// Every entry's text in drop-down order.
std::vector<std::string> range_entries();
// The range's length; 0 for kSinceStart, which shows the samples in memory instead.
int64_t range_seconds(HistoryRange range);

inline constexpr const char* kMeanCaption = "H\xC3\xB6rerzahl Durchschnitt:";

// The values beside the captions "Hörerzahl Minimum:", "... Maximum:" and
// kMeanCaption: whole numbers, the mean with one decimal after a comma ("12,5");
// "-" with no answered sample.
struct RangeLabels {
  std::string minimum, maximum, mean;
  bool operator==(const RangeLabels&) const = default;
};
RangeLabels range_labels(const HistorySummary& summary);

class HistoryPlot {
 public:
  // Colours, 0x00BBGGRR, as the in-memory graph has them.
  static constexpr uint32_t kBackground = 0x000000;
  static constexpr uint32_t kLine = 0x00FF00;
  static constexpr uint32_t kGrid = 0x808000;
  static constexpr uint32_t kLabel = 0xC0C0C0;
  // What the labels are laid out with: a small GUI font's height and a width no
  // character of it exceeds by much.
  static constexpr int32_t kTextHeight = 14;
  static constexpr int32_t kCharWidth = 7;

  // The samples in time order (those outside [from, to) are left out); neighbours
  // more than max_gap seconds apart part the line; the time axis is labelled in UTC
  // plus label_offset_minutes.
  // A sample's song is its index into `songs`.
  void set_data(std::vector<HistorySample> samples, int64_t from_utc, int64_t to_utc, int64_t max_gap,
                int32_t label_offset_minutes, SongList songs = {});

  // Clears the surface and draws the range over its whole size; one pass over the
  // samples, then a few lines per pixel column.
  void draw(DrawSurface& surface);

  // The tooltip for the pointer at surface x, after a draw: the local time (each
  // sample's own offset) and the count, "09.12.2026 08:36 – 42 Hörer", or a column's
  // first and last time and its extremes, "09.12.2026 08:00 bis 08:05 – 12 bis 40
  // Hörer"; "... – keine Antwort" for a column of missed answers only. The song
  // follows, of the sample or of the column's highest: " – Künstler – Titel". Nothing
  // outside the plot or over an empty column.
  std::optional<std::string> tip_at(int32_t x) const;

  // The plot area of the last draw, in surface pixels: columns left .. left+width-1,
  // counts from bottom (0) up to top (top_count).
  struct Area {
    int32_t left = 0, top = 0, width = 0, height = 0;
    int64_t top_count = 0;
  };
  const Area& area() const { return area_; }
  // The columns of the last draw, one per pixel of area().width.
  const std::vector<HistoryColumn>& columns() const { return columns_; }

  // The samples and songs as set: a year of them is held here only, not copied for
  // the plot. take_range gives them back and leaves nothing to draw, so a range
  // that moves on adds to them and sets them again.
  const StationRange& range() const { return range_; }
  StationRange take_range();

 private:
  StationRange range_;
  int64_t from_ = 0, to_ = 0, max_gap_ = 0;
  int32_t label_offset_ = 0;
  Area area_;
  std::vector<HistoryColumn> columns_;
};

}  // namespace kn
