#include "stats/history_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <iterator>

namespace kn {

namespace {

constexpr int64_t kMinute = 60, kHour = 3600, kDay = 86400;
constexpr const char* kListeners = " H\xC3\xB6rer";
constexpr const char* kDash = " \xE2\x80\x93 ";

int64_t floor_div(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t ceil_div(int64_t a, int64_t b) { return -floor_div(-a, b); }

std::string two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

std::string day_month(const CivilTime& c) { return two(c.day) + "." + two(c.month) + "."; }
std::string hour_minute(const CivilTime& c) { return two(c.hour) + ":" + two(c.minute); }
std::string date_time(const CivilTime& c) { return day_month(c) + std::to_string(c.year) + " " + hour_minute(c); }

const char* const kMonths[12] = {"Jan", "Feb", "M\xC3\xA4r", "Apr", "Mai", "Jun",
                                 "Jul", "Aug", "Sep",        "Okt", "Nov", "Dez"};

// Characters, not bytes: what the label's width goes by.
int32_t glyphs(const std::string& utf8) {
  int32_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

int32_t text_width(const std::string& utf8) { return glyphs(utf8) * HistoryPlot::kCharWidth; }

struct Tick {
  int64_t local;
  std::string label;
};

enum class Unit { kTime, kDays, kMonths };

// Local-time ticks in [from, to): the finest step of the range's unit whose labels
// still fit side by side; never more ticks than pixels.
std::vector<Tick> time_ticks(int64_t from, int64_t to, int32_t width) {
  std::vector<Tick> ticks;
  const int64_t span = to - from;
  if (span <= 0 || width <= 0) return ticks;
  const Unit unit = span <= 2 * kDay ? Unit::kTime : span <= 62 * kDay ? Unit::kDays : Unit::kMonths;
  static constexpr int64_t kTimeSteps[] = {kMinute,      2 * kMinute,  5 * kMinute,  10 * kMinute,
                                           15 * kMinute, 20 * kMinute, 30 * kMinute, kHour,
                                           2 * kHour,    3 * kHour,    6 * kHour,    12 * kHour};
  static constexpr int64_t kDaySteps[] = {1, 2, 3, 7, 14};
  static constexpr int64_t kMonthSteps[] = {1, 2, 3, 6, 12};
  const int32_t label = unit == Unit::kTime ? 5 : unit == Unit::kDays ? 6 : 3;
  const double room = (label + 2) * HistoryPlot::kCharWidth;  // one label and a gap
  const auto fits = [&](double step_seconds) {
    return step_seconds * width / static_cast<double>(span) >= room;
  };

  if (unit == Unit::kTime) {
    int64_t step = kTimeSteps[std::size(kTimeSteps) - 1];
    for (int64_t s : kTimeSteps)
      if (fits(static_cast<double>(s))) {
        step = s;
        break;
      }
    for (int64_t t = ceil_div(from, step) * step; t < to && ticks.size() < static_cast<size_t>(width);
         t += step)
      ticks.push_back({t, hour_minute(civil_time(t))});
  } else if (unit == Unit::kDays) {
    int64_t n = kDaySteps[std::size(kDaySteps) - 1];
    for (int64_t s : kDaySteps)
      if (fits(static_cast<double>(s * kDay))) {
        n = s;
        break;
      }
    const int64_t phase = n % 7 == 0 ? 4 : 0;  // weeks start on Monday; 1970-01-01 was a Thursday
    int64_t d = ceil_div(from, kDay);
    d += ((phase - d) % n + n) % n;
    for (; d * kDay < to && ticks.size() < static_cast<size_t>(width); d += n)
      ticks.push_back({d * kDay, day_month(civil_time(d * kDay))});
  } else {
    int64_t n = kMonthSteps[std::size(kMonthSteps) - 1];
    for (int64_t s : kMonthSteps)
      if (fits(static_cast<double>(s) * 30.44 * kDay)) {
        n = s;
        break;
      }
    const CivilTime c = civil_time(from);
    int64_t month = c.year * 12 + (c.month - 1);  // months from year 0
    if (c.day != 1 || c.hour != 0 || c.minute != 0 || floor_div(from, kMinute) * kMinute != from) ++month;
    month += ((-month) % n + n) % n;
    for (; ticks.size() < static_cast<size_t>(width); month += n) {
      const int64_t y = floor_div(month, 12);
      const int m = static_cast<int>(month - y * 12);
      if (y > 1000000 || y < -1000000) break;
      const int64_t t = civil_seconds(static_cast<int>(y), m + 1, 1, 0, 0, 0);
      if (t >= to) break;
      ticks.push_back({t, kMonths[m]});
    }
  }
  return ticks;
}

// 1, 2 or 5 times a power of ten, at least `raw`.
int64_t nice_step(int64_t raw) {
  for (int64_t p = 1;; p *= 10) {
    for (int64_t f : {1, 2, 5})
      if (f * p >= raw) return f * p;
    if (p > INT64_MAX / 100) return raw;
  }
}

std::string tenths(double v) {
  const long long r = std::llround(v * 10);
  const long long a = r < 0 ? -r : r;
  return std::string(r < 0 ? "-" : "") + std::to_string(a / 10) + "," + std::to_string(a % 10);
}

CivilTime local_civil(const HistorySample& s) {
  return civil_time(s.utc + static_cast<int64_t>(s.offset_minutes) * 60);
}

}  // namespace

const char* range_text(HistoryRange range) {
  switch (range) {
    case HistoryRange::kSinceStart:
      return "seit Programmstart";
    case HistoryRange::kHour:
      return "letzte Stunde";
    case HistoryRange::kDay:
      return "letzte 24 Stunden";
    case HistoryRange::kWeek:
      return "letzte 7 Tage";
    case HistoryRange::kMonth:
      return "letzte 30 Tage";
    case HistoryRange::kYear:
      return "letztes Jahr";
  }
  return "";
}

std::vector<std::string> range_entries() {
  std::vector<std::string> out;
  for (HistoryRange r : kHistoryRanges) out.push_back(range_text(r));
  return out;
}

int64_t range_seconds(HistoryRange range) {
  switch (range) {
    case HistoryRange::kSinceStart:
      return 0;
    case HistoryRange::kHour:
      return kHour;
    case HistoryRange::kDay:
      return kDay;
    case HistoryRange::kWeek:
      return 7 * kDay;
    case HistoryRange::kMonth:
      return 30 * kDay;
    case HistoryRange::kYear:
      return 365 * kDay;
  }
  return 0;
}

RangeLabels range_labels(const HistorySummary& summary) {
  RangeLabels l{"-", "-", "-"};
  if (summary.minimum) l.minimum = std::to_string(*summary.minimum);
  if (summary.maximum) l.maximum = std::to_string(*summary.maximum);
  if (summary.mean && std::isfinite(*summary.mean)) l.mean = tenths(*summary.mean);
  return l;
}

StationRange HistoryPlot::take_range() {
  StationRange taken = std::move(range_);
  range_ = {};
  columns_.clear();
  return taken;
}

void HistoryPlot::set_data(std::vector<HistorySample> samples, int64_t from_utc, int64_t to_utc,
                           int64_t max_gap, int32_t label_offset_minutes, SongList songs) {
  range_.songs = std::move(songs);
  samples.erase(std::remove_if(samples.begin(), samples.end(),
                               [&](const HistorySample& s) { return s.utc < from_utc || s.utc >= to_utc; }),
                samples.end());
  // The tooltip looks samples up by time.
  const auto earlier = [](const HistorySample& a, const HistorySample& b) { return a.utc < b.utc; };
  if (!std::is_sorted(samples.begin(), samples.end(), earlier))
    std::stable_sort(samples.begin(), samples.end(), earlier);
  range_.samples = std::move(samples);
  from_ = from_utc;
  to_ = std::max(to_utc, from_utc);
  max_gap_ = max_gap;
  label_offset_ = label_offset_minutes;
  area_ = {};
  columns_.clear();
}

void HistoryPlot::draw(DrawSurface& pic) {
  pic.clear();
  if (pic.background() != kBackground) pic.set_background(kBackground);
  area_ = {};
  columns_.clear();
  const int32_t w = pic.inner_width(), h = pic.inner_height();

  int32_t highest = 0;
  for (const auto& s : range_.samples)
    if (s.count) highest = std::max(highest, *s.count);

  // The count axis: 0 at the bottom, round steps up to at or above the highest count,
  // as many as fit the height (at most five).
  constexpr int32_t kTop = kTextHeight / 2 + 1, kBottom = kTextHeight + 6, kRight = 10;
  const int32_t plot_h = h - kTop - kBottom;
  if (plot_h < 2) return;
  const int64_t intervals = std::clamp<int64_t>(plot_h / (kTextHeight + 4), 1, 5);
  const int64_t step = nice_step(std::max<int64_t>(ceil_div(std::max(highest, 1), intervals), 1));
  const int64_t top_count = ceil_div(std::max(highest, 1), step) * step;
  const int32_t left = text_width(std::to_string(top_count)) + 8;
  const int32_t plot_w = w - left - kRight;
  if (plot_w < 1) return;
  area_ = {left, kTop, plot_w, plot_h, top_count};

  const float bottom_y = static_cast<float>(kTop + plot_h - 1);
  const auto y_of = [&](double count) {
    const double y = bottom_y - count * (plot_h - 1) / static_cast<double>(top_count);
    return static_cast<float>(std::clamp(y, static_cast<double>(kTop), static_cast<double>(bottom_y)));
  };
  const float x_end = static_cast<float>(left + plot_w - 1);

  for (int64_t v = 0; v <= top_count; v += step) {
    const float y = y_of(static_cast<double>(v));
    pic.line(static_cast<float>(left), y, x_end, y, kGrid);
    const std::string label = std::to_string(v);
    const float ty = std::clamp(y - kTextHeight / 2.0f, 0.0f, static_cast<float>(h - kTextHeight));
    pic.text(static_cast<float>(std::max(0, left - 4 - text_width(label))), ty, label, kLabel);
  }

  const int64_t span = to_ - from_;
  if (span > 0) {
    const int64_t shift = static_cast<int64_t>(label_offset_) * 60;
    int32_t free_from = 0;  // where the next time label may start without overlapping
    for (const Tick& t : time_ticks(from_ + shift, to_ + shift, plot_w)) {
      const int64_t column = (t.local - shift - from_) * plot_w / span;
      const float x = static_cast<float>(left + column);
      pic.line(x, static_cast<float>(kTop), x, bottom_y, kGrid);
      const int32_t lw = text_width(t.label);
      const int32_t lx = left + static_cast<int32_t>(column) - lw / 2;
      if (lx < free_from || lx < 0 || lx + lw > w) continue;
      pic.text(static_cast<float>(lx), static_cast<float>(kTop + plot_h + 3), t.label, kLabel);
      free_from = lx + lw + kCharWidth;
    }
  }

  columns_ = thin_to_columns(range_.samples, from_, to_, plot_w, max_gap_);
  bool have_previous = false;
  float px = 0, py = 0;
  for (int32_t c = 0; c < plot_w; ++c) {
    const HistoryColumn& col = columns_[static_cast<size_t>(c)];
    if (!col.any) continue;
    const float x = static_cast<float>(left + c);
    const float mid = y_of((static_cast<double>(col.low) + col.high) / 2);
    if (have_previous && !col.gap_before) pic.line(px, py, x, mid, kLine);
    // One pixel past the low end: the end point of a line is not drawn.
    pic.line(x, y_of(col.high), x, y_of(col.low) + 1, kLine);
    have_previous = true;
    px = x;
    py = mid;
  }
}

std::optional<std::string> HistoryPlot::tip_at(int32_t x) const {
  const int64_t c = static_cast<int64_t>(x) - area_.left;
  if (columns_.empty() || c < 0 || c >= area_.width) return std::nullopt;
  // The samples whose column is c: (utc - from) * width / span == c.
  const int64_t span = to_ - from_, width = area_.width;
  const int64_t lo = from_ + ceil_div(c * span, width), hi = from_ + ceil_div((c + 1) * span, width);
  const auto earlier = [](const HistorySample& s, int64_t t) { return s.utc < t; };
  const auto first = std::lower_bound(range_.samples.begin(), range_.samples.end(), lo, earlier);
  const auto last = std::lower_bound(first, range_.samples.end(), hi, earlier);
  if (first == last) return std::nullopt;

  const HistorySample* begin = nullptr;
  const HistorySample* end = nullptr;
  const HistorySample* highest = nullptr;
  int32_t low = 0, high = 0;
  for (auto it = first; it != last; ++it) {
    if (!it->count) continue;
    if (!begin) {
      begin = highest = &*it;
      low = high = *it->count;
    }
    end = &*it;
    low = std::min(low, *it->count);
    if (*it->count > high) highest = &*it;
    high = std::max(high, *it->count);
  }
  if (!begin) return date_time(local_civil(*first)) + kDash + "keine Antwort";

  const CivilTime a = local_civil(*begin), b = local_civil(*end);
  std::string when = date_time(a);
  if (a.year != b.year || a.month != b.month || a.day != b.day)
    when += " bis " + date_time(b);
  else if (a.hour != b.hour || a.minute != b.minute)
    when += " bis " + hour_minute(b);
  const std::string counts =
      low == high ? std::to_string(low) : std::to_string(low) + " bis " + std::to_string(high);
  std::string tip = when + kDash + counts + kListeners;
  if (highest->song >= 0 && static_cast<size_t>(highest->song) < range_.songs.size()) {
    const Song song = range_.songs[static_cast<size_t>(highest->song)];
    tip += kDash;
    tip += song.artist;
    tip += kDash;
    tip += song.title;
  }
  return tip;
}

}  // namespace kn
