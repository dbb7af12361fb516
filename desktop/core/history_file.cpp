#include "core/history_file.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "core/text_util.h"

namespace kn {

namespace {

constexpr std::string_view kHeader = "Zeit;UTC-Versatz;Station;H\xF6rer;K\xFCnstler;Titel";  // Windows-1252

// The number that N digits at p make, -1 where one is no digit: without a branch
// per digit, since every row of a year's read passes through here eight times.
template <int N>
int digits(const char* p) {
  int out = 0;
  unsigned bad = 0;
  for (int i = 0; i < N; ++i) {
    const unsigned d = static_cast<unsigned char>(p[i]) - unsigned{'0'};
    bad |= static_cast<unsigned>(d > 9);
    out = out * 10 + static_cast<int>(d);
  }
  return bad ? -1 : out;
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

std::string history_field(std::string_view text) {
  std::string bytes = utf8_to_cp1252(text);
  // A line break inside would tear the row in two.
  for (char& c : bytes) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  if (bytes.size() > kHistoryTextMax) bytes.resize(kHistoryTextMax);
  // A spreadsheet runs a cell that starts so as a formula; "'" makes it text.
  if (!bytes.empty() && std::strchr("=+-@'", bytes[0]) != nullptr) bytes.insert(0, 1, '\'');
  if (bytes.find_first_of(";\"") == std::string::npos) return bytes;
  std::string quoted = "\"";
  for (char c : bytes) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

namespace {

// The field's bytes without its quotes and guard; `unquoted` holds them where
// doubled quotes had to go.
std::string_view field_bytes(std::string_view field, std::string& unquoted) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
    field = field.substr(1, field.size() - 2);
    if (field.find('"') != std::string_view::npos) {
      unquoted.clear();
      for (size_t i = 0; i < field.size(); ++i) {
        unquoted += field[i];
        if (field[i] == '"') ++i;
      }
      field = unquoted;
    }
  }
  if (!field.empty() && field.front() == '\'') field.remove_prefix(1);
  return field;
}

// Where the field that starts at `at` ends: at its ';' or the line's end. Fields are
// a few bytes long, too short to repay a call to memchr.
size_t field_end(std::string_view line, size_t at) {
  while (at < line.size() && line[at] != ';') ++at;
  return at;
}

// The field that starts at `at`, as the line holds it; `at` moves past it. False
// for a quoted field whose closing quote is missing or not followed by ';' or the end.
bool next_field(std::string_view line, size_t& at, std::string_view& field) {
  const size_t begin = at;
  if (at < line.size() && line[at] == '"') {
    size_t i = at + 1;
    for (;;) {
      i = line.find('"', i);
      if (i == std::string_view::npos) return false;
      if (i + 1 < line.size() && line[i + 1] == '"') {
        i += 2;
        continue;
      }
      break;
    }
    at = i + 1;
    if (at < line.size() && line[at] != ';') return false;
  } else {
    at = field_end(line, at);
  }
  field = line.substr(begin, at - begin);
  return field.size() <= kHistoryFieldMax;
}

}  // namespace

std::string history_field_text(std::string_view field) {
  std::string unquoted;
  return cp1252_to_utf8(field_bytes(field, unquoted));
}

std::string history_row(const HistoryRow& row) {
  const int32_t off = row.offset_minutes;
  char offset[16];
  std::snprintf(offset, sizeof offset, "%c%02d:%02d", off < 0 ? '-' : '+', std::abs(off) / 60,
                std::abs(off) % 60);
  std::string line = civil_text(row.local) + ";" + offset + ";" + history_field(row.station) + ";";
  if (row.count) line += std::to_string(*row.count);
  line += ';';
  line += history_field(row.artist);
  line += ';';
  line += history_field(row.title);
  return line + "\r\n";
}

std::optional<HistoryRowView> parse_history_row_view(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // 2026-12-09 08:36:00;+01:00;station;42;artist;title
  if (line.size() < 28 || line[4] != '-' || line[7] != '-' || line[10] != ' ' || line[13] != ':' ||
      line[16] != ':' || line[19] != ';' || line[23] != ':' || line[26] != ';') {
    return std::nullopt;
  }
  const char* p = line.data();
  const int y = digits<4>(p), mo = digits<2>(p + 5), d = digits<2>(p + 8), h = digits<2>(p + 11),
            mi = digits<2>(p + 14), s = digits<2>(p + 17), oh = digits<2>(p + 21), om = digits<2>(p + 24);
  if ((y | mo | d | h | mi | s | oh | om) < 0) return std::nullopt;
  if (mo < 1 || mo > 12 || d < 1 || d > days_in_month(y, mo) || h > 23 || mi > 59 || s > 59 || oh > 14 ||
      om > 59 || (line[20] != '+' && line[20] != '-')) {
    return std::nullopt;
  }
  HistoryRowView row;
  size_t at = kHistoryStationAt;
  if (!next_field(line, at, row.station) || at == line.size()) return std::nullopt;
  std::string unquoted;
  if (field_bytes(row.station, unquoted).empty()) return std::nullopt;
  const size_t count_at = ++at;
  at = field_end(line, at);
  const std::string_view count = line.substr(count_at, at - count_at);
  if (at < line.size()) {
    // The song's two fields, and nothing after them.
    ++at;
    if (!next_field(line, at, row.artist) || at == line.size()) return std::nullopt;
    ++at;
    if (!next_field(line, at, row.title) || at != line.size()) return std::nullopt;
  }
  row.local = civil_seconds(y, mo, d, h, mi, s);
  row.offset_minutes = (line[20] == '-' ? -1 : 1) * (oh * 60 + om);
  if (!count.empty()) {
    int32_t n = 0;
    const auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), n);
    if (ec != std::errc() || end != count.data() + count.size() || n < 0) return std::nullopt;
    row.count = n;
  }
  return row;
}

std::optional<HistoryRow> parse_history_row(std::string_view line) {
  const auto view = parse_history_row_view(line);
  if (!view) return std::nullopt;
  HistoryRow row;
  row.local = view->local;
  row.offset_minutes = view->offset_minutes;
  row.station = history_field_text(view->station);
  row.count = view->count;
  row.artist = history_field_text(view->artist);
  row.title = history_field_text(view->title);
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
      const std::string_view chunk = read(pos, kChunk);
      if (chunk.empty()) return std::nullopt;
      const size_t nl = chunk.find('\n');
      if (nl != std::string_view::npos) {
        pos += nl + 1;
        break;
      }
      pos += chunk.size();
    }
  }
  std::string line;
  uint64_t line_start = pos;
  while (pos < size) {
    const std::string_view chunk = read(pos, kChunk);
    if (chunk.empty()) break;
    size_t i = 0;
    while (i < chunk.size()) {
      const size_t nl = chunk.find('\n', i);
      if (nl == std::string_view::npos) {
        // A line longer than any row is no row; only its end matters.
        if (line.size() < 4096) line.append(chunk.substr(i));
        break;
      }
      if (line.size() < 4096) line.append(chunk.substr(i, nl - i));
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
