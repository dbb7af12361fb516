#include "generator.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "core/history_file.h"
#include "splitmix.h"

namespace kn::histgen {

namespace {

// Listeners through the day, per mille of the evening peak, by local hour: few at
// night, a morning peak, a dip after lunch, the most in the evening. Integers only,
// so every platform writes the same counts.
constexpr std::array<int64_t, 25> kDay = {300, 220, 170, 140, 130, 160, 300,  600, 850, 900, 800, 700, 650,
                                          650, 620, 640, 700, 800, 950, 1000, 920, 780, 600, 420, 300};

int64_t day_shape(int64_t local) {
  const int64_t second = ((local % 86400) + 86400) % 86400;
  const int64_t hour = second / 3600, into = second % 3600;
  return kDay[hour] + (kDay[hour + 1] - kDay[hour]) * into / 3600;
}

// 0 = Sunday.
int64_t weekday(int64_t local) {
  const int64_t days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
  return ((days + 4) % 7 + 7) % 7;  // 1970-01-01 was a Thursday
}

int64_t last_sunday_0100_utc(int year, int month) {
  const int64_t last_day = civil_seconds(year, month, 31, 1, 0, 0);  // March and October have 31
  return last_day - weekday(last_day) * 86400;
}

int year_of(int64_t seconds) { return std::stoi(civil_text(seconds).substr(0, 4)); }

bool near_change(const Options& o, int64_t from, int64_t to) {
  return offset_at(o, from) != offset_at(o, to);
}

}  // namespace

int32_t offset_at(const Options& o, int64_t utc) {
  if (!o.summer_time) return o.offset_minutes;
  const int year = year_of(utc);
  const bool summer = utc >= last_sunday_0100_utc(year, 3) && utc < last_sunday_0100_utc(year, 10);
  return o.offset_minutes + (summer ? 60 : 0);
}

Totals generate(const Options& o, const std::function<void(std::string_view)>& write) {
  uint64_t bytes = 0;
  const Totals totals = generate_rows(o, [&](const std::vector<HistoryRow>& rows) {
    const std::string text = history_append(rows, bytes, '\n');
    bytes += text.size();
    write(text);
  });
  if (bytes == 0) write(history_header());
  return totals;
}

namespace {

// A title now and then that only survives quoted or guarded.
std::string song_title(uint64_t n) {
  if (n % 53 == 0) return "Ja; nein (" + std::to_string(n) + ")";
  if (n % 59 == 0) return "\"Hit\" Nr. " + std::to_string(n);
  if (n % 61 == 0) return "=Gleich " + std::to_string(n);
  return "Lied Nr. " + std::to_string(n);
}

}  // namespace

Totals generate_rows(const Options& o, const std::function<void(const std::vector<HistoryRow>&)>& poll) {
  Totals totals;
  const int64_t step = int64_t{std::max(o.interval_minutes, 1)} * 60;
  const int64_t polls = int64_t{std::max(o.days, 0)} * 86400 / step;
  // The end in summer time where that reading exists (the repeated hour: its first time).
  int64_t end_utc = o.end_local - int64_t{o.offset_minutes} * 60;
  if (o.summer_time && offset_at(o, end_utc - 3600) == o.offset_minutes + 60) end_utc -= 3600;

  SplitMix64 rng(o.start);
  struct Station {
    int64_t peak;
    int64_t drift = 1000;  // per mille, a slow walk around the curve
  };
  std::vector<Station> stations;
  for (size_t i = 0; i < o.stations.size(); ++i) stations.push_back({40 + rng.below(400)});
  // Songs draw from a generator of their own, so the counts stay as without them.
  SplitMix64 song_rng(o.start ^ 0x5EEDull);
  struct Playing {
    int64_t until = 0;  // UTC
    uint64_t number = 0;
  };
  std::vector<Playing> playing(o.stations.size());

  int64_t off_until = 0;  // the program is off before this poll
  std::vector<HistoryRow> rows;
  for (int64_t k = 0; k < polls; ++k) {
    const int64_t utc = end_utc - (polls - 1 - k) * step;
    if (k < off_until) {
      ++totals.off_polls;
      continue;
    }
    // About every four days the program is off for one to eight hours; never across
    // a change of the offset, so the repeated hour is always there.
    if (k > 0 && rng.below(4 * 86400 / step) == 0) {
      const int64_t length = std::max<int64_t>(1, (3600 + rng.below(7 * 3600)) / step);
      if (!near_change(o, utc - 7200, utc + length * step + 7200)) {
        off_until = k + length;
        ++totals.off_polls;
        continue;
      }
    }
    const int32_t offset = offset_at(o, utc);
    const int64_t local = utc + int64_t{offset} * 60;
    const int64_t weekend = weekday(local) == 0 || weekday(local) == 6 ? 1150 : 1000;
    rows.clear();
    for (size_t i = 0; i < stations.size(); ++i) {
      Station& s = stations[i];
      s.drift += rng.below(21) - 10 + (1000 - s.drift) / 50;
      HistoryRow r;
      r.local = local;
      r.offset_minutes = offset;
      r.station = o.stations[i];
      if (o.songs) {
        Playing& p = playing[i];
        if (utc >= p.until) {
          p.number = 1 + song_rng.below(5000);
          p.until = utc + 120 + static_cast<int64_t>(song_rng.below(241));
        }
        r.artist = "Interpret " + std::to_string(p.number % 97);
        r.title = song_title(p.number);
      }
      if (rng.below(400) != 0) {
        const int64_t mean = s.peak * day_shape(local) / 1000 * weekend / 1000 * s.drift / 1000;
        const int64_t spread = std::max<int64_t>(1, mean / 25);
        r.count = static_cast<int32_t>(std::max<int64_t>(0, mean + rng.below(2 * spread + 1) - spread));
      } else {
        ++totals.no_answer;
      }
      rows.push_back(std::move(r));
    }
    // Local times that come twice: the hour either side of the change back.
    if (offset_at(o, utc - 3600) > offset_at(o, utc + 3600)) {
      totals.repeated_hour_rows += rows.size();
    }
    poll(rows);
    ++totals.polls;
    totals.rows += rows.size();
  }
  return totals;
}

}  // namespace kn::histgen
