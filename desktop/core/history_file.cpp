#include "core/history_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "core/text_util.h"

namespace kn {

namespace {

constexpr std::string_view kHeader = "Zeit;UTC-Versatz;Station;H\xF6rer";  // Windows-1252

bool digits(std::string_view s, size_t at, size_t n, int& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

int days_in_month(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

}  // namespace

int64_t civil_seconds(int year, int month, int day, int hour, int minute, int second) {
  return days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

CivilTime civil_time(int64_t seconds) {
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const int64_t rest = seconds - days * 86400;
  // Howard Hinnant's civil_from_days.
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilTime t;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = yoe + era * 400 + (t.month <= 2);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  return t;
}

std::string civil_text(int64_t seconds) {
  const CivilTime t = civil_time(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02d %02d:%02d:%02d", static_cast<long long>(t.year), t.month,
                t.day, t.hour, t.minute, t.second);
  return text;
}

std::string history_header() { return std::string(kHeader) + "\r\n"; }

std::string history_row(const HistoryRow& row) {
  const int32_t off = row.offset_minutes;
  char offset[16];
  std::snprintf(offset, sizeof offset, "%c%02d:%02d", off < 0 ? '-' : '+', std::abs(off) / 60,
                std::abs(off) % 60);
  std::string line = civil_text(row.local) + ";" + offset + ";" + utf8_to_cp1252(row.station) + ";";
  if (row.count) line += std::to_string(*row.count);
  return line + "\r\n";
}

std::optional<HistoryRow> parse_history_row(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // 2026-12-09 08:36:00;+01:00;station;42
  if (line.size() < 28 || line[4] != '-' || line[7] != '-' || line[10] != ' ' || line[13] != ':' ||
      line[16] != ':' || line[19] != ';' || line[23] != ':' || line[26] != ';') {
    return std::nullopt;
  }
  int y, mo, d, h, mi, s, oh, om;
  if (!digits(line, 0, 4, y) || !digits(line, 5, 2, mo) || !digits(line, 8, 2, d) ||
      !digits(line, 11, 2, h) || !digits(line, 14, 2, mi) || !digits(line, 17, 2, s) ||
      !digits(line, 21, 2, oh) || !digits(line, 24, 2, om)) {
    return std::nullopt;
  }
  if (mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h > 23 || mi > 59 || s > 59 || oh > 14 ||
      om > 59 || (line[20] != '+' && line[20] != '-')) {
    return std::nullopt;
  }
  const std::string_view rest = line.substr(27);
  const size_t semi = rest.find(';');
  if (semi == 0 || semi == std::string_view::npos) return std::nullopt;
  const std::string_view count = rest.substr(semi + 1);
  HistoryRow row;
  row.local = civil_seconds(y, mo, d, h, mi, s);
  row.offset_minutes = (line[20] == '-' ? -1 : 1) * (oh * 60 + om);
  row.station = cp1252_to_utf8(rest.substr(0, semi));
  if (!count.empty()) {
    int32_t n = 0;
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), n);
    if (ec != std::errc() || end != count.data() + count.size() || n < 0) return std::nullopt;
    row.count = n;
  }
  return row;
}

std::string history_append(const std::vector<HistoryRow>& rows, uint64_t file_size, char last_byte) {
  std::string out;
  if (file_size == 0) {
    out = history_header();
  } else if (last_byte != '\n') {
    out = "\r\n";
  }
  for (const auto& r : rows) out += history_row(r);
  return out;
}

std::vector<HistoryRow> read_history(std::string_view bytes) {
  std::vector<HistoryRow> rows;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t nl = bytes.find('\n', at);
    // A last line without its break was torn off by a crash: not a row.
    if (nl == std::string_view::npos) break;
    if (auto row = parse_history_row(bytes.substr(at, nl - at))) rows.push_back(std::move(*row));
    at = nl + 1;
  }
  return rows;
}

std::string pruned_history(std::string_view bytes, int64_t keep_from_utc) {
  std::string out = history_header();
  for (const auto& r : read_history(bytes)) {
    if (r.utc() >= keep_from_utc) out += history_row(r);
  }
  return out;
}

namespace {

// Whether history_row gives the line (with its '\r', parsed as a row) back byte for
// byte; then pruning can move it instead of writing it anew.
bool written_as_read(std::string_view line) {
  if (line.empty() || line.back() != '\r') return false;
  line.remove_suffix(1);
  if (line[20] == '-' && line.substr(21, 5) == "00:00") return false;  // no offset is "+00:00"
  const size_t semi = line.find(';', 27);
  for (size_t i = 27; i < semi; ++i) {
    // The bytes Windows-1252 leaves undefined come back as '?'.
    const auto c = static_cast<unsigned char>(line[i]);
    if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) return false;
  }
  const std::string_view count = line.substr(semi + 1);
  return count.size() <= 1 || count[0] != '0';
}

}  // namespace

void prune_history_in_place(std::string& bytes, int64_t keep_from_utc) {
  const std::string header = history_header();
  size_t out = 0;   // the pruned file so far: [0, out)
  size_t next = 0;  // what is not read yet: [next, size)
  size_t gap = 4096;
  // Output must not run into bytes not read yet; where a row grows, the unread
  // rest moves back by a gap that doubles each time.
  const auto room = [&](size_t n) {
    if (out + n <= next) return;
    const size_t rest = bytes.size() - next;
    const size_t move = std::max(out + n - next, gap);
    gap *= 2;
    bytes.resize(bytes.size() + move);
    std::memmove(bytes.data() + next + move, bytes.data() + next, rest);
    next += move;
  };
  const auto put = [&](std::string_view text) {
    room(text.size());
    std::memcpy(bytes.data() + out, text.data(), text.size());
    out += text.size();
  };
  bool first = true;
  while (next < bytes.size()) {
    const size_t nl = bytes.find('\n', next);
    if (nl == std::string::npos) break;  // a torn last row
    const size_t start = next;
    next = nl + 1;
    const std::string_view line(bytes.data() + start, nl - start);
    const auto row = parse_history_row(line);
    const bool keep = row && row->utc() >= keep_from_utc;
    const bool as_read = keep && written_as_read(line);
    const bool was_first = first;
    if (first) {
      // The header may cover this line: it goes out written anew below.
      put(header);
      first = false;
    }
    if (!keep) continue;
    if (as_read && !was_first) {
      std::memmove(bytes.data() + out, bytes.data() + start, nl + 1 - start);
      out += nl + 1 - start;
    } else {
      put(history_row(*row));
    }
  }
  if (first) {
    bytes.assign(header);
    return;
  }
  bytes.resize(out);
}

bool history_needs_pruning(std::string_view head, int64_t keep_from_utc) {
  for (size_t at = 0;;) {
    const size_t nl = head.find('\n', at);
    // A line the head cuts off may read as another row than the file holds.
    if (nl == std::string_view::npos) return false;
    if (const auto row = parse_history_row(head.substr(at, nl - at))) return row->utc() < keep_from_utc;
    at = nl + 1;
  }
}

namespace {

// The first row at or after `at` (skipping the rest of a line that `at` falls into)
// for which `wanted` holds, and where it begins.
std::optional<HistoryRow> first_row_from(uint64_t size, const ReadAt& read, uint64_t at, uint64_t& start,
                                         const std::function<bool(const HistoryRow&)>& wanted) {
  constexpr size_t kChunk = 4096;
  uint64_t pos = at;
  if (at > 0 && read(at - 1, 1) != "\n") {
    for (;;) {
      if (pos >= size) return std::nullopt;
      const std::string chunk = read(pos, kChunk);
      if (chunk.empty()) return std::nullopt;
      const size_t nl = chunk.find('\n');
      if (nl != std::string::npos) {
        pos += nl + 1;
        break;
      }
      pos += chunk.size();
    }
  }
  std::string line;
  uint64_t line_start = pos;
  while (pos < size) {
    const std::string chunk = read(pos, kChunk);
    if (chunk.empty()) break;
    size_t i = 0;
    while (i < chunk.size()) {
      const size_t nl = chunk.find('\n', i);
      if (nl == std::string::npos) {
        // A line longer than any row is no row; only its end matters.
        if (line.size() < 4096) line.append(chunk, i, std::string::npos);
        break;
      }
      if (line.size() < 4096) line.append(chunk, i, nl - i);
      if (auto row = parse_history_row(line); row && wanted(*row)) {
        start = line_start;
        return row;
      }
      line.clear();
      line_start = pos + nl + 1;
      i = nl + 1;
    }
    pos += chunk.size();
  }
  return std::nullopt;  // a last line without its break is torn: no row
}

}  // namespace

uint64_t history_offset_of(uint64_t size, const ReadAt& read, int64_t from_utc) {
  constexpr uint64_t kLinear = 4096;
  uint64_t lo = 0, hi = size;
  // Every row that begins before lo is earlier than from_utc.
  while (hi - lo > kLinear) {
    const uint64_t mid = lo + (hi - lo) / 2;
    uint64_t start = 0;
    const auto row = first_row_from(size, read, mid, start, [](const HistoryRow&) { return true; });
    if (row && row->utc() < from_utc) {
      lo = start + 1;
    } else {
      hi = mid;
    }
  }
  uint64_t start = 0;
  const auto row =
      first_row_from(size, read, lo, start, [&](const HistoryRow& r) { return r.utc() >= from_utc; });
  return row ? start : size;
}

}  // namespace kn
