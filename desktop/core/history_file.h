#pragma once
// The listener history kept on disk, for users who want it: one row per station per
// poll in "hoerer_verlauf.csv", in the ANSI code page, as a spreadsheet opens it with a
// double-click (a header, ';' between fields, the poll's local date and time, its UTC
// offset, the station, the count, the song's artist and title; no count for no answer,
// no song where the poll got none). The file is the truth: a torn last row or a
// hand-edited line is skipped, never fatal. Rows of four fields, without the song,
// are those of earlier versions and read as rows without a song.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kn {

inline constexpr const char* kHistoryFileName = "hoerer_verlauf.csv";

struct HistoryRow {
  int64_t local = 0;             // the poll's local wall-clock time, seconds from 1970-01-01 00:00
  int32_t offset_minutes = 0;    // local time minus UTC
  std::string station;           // UTF-8
  std::optional<int32_t> count;  // nothing: the station did not answer
  std::string artist{};          // UTF-8; both empty: no song
  std::string title{};
  int64_t utc() const { return local - static_cast<int64_t>(offset_minutes) * 60; }
  bool operator==(const HistoryRow&) const = default;
};

// The text fields come from the network: a spreadsheet must show them, never run them.
// Longer texts are cut to this many bytes of the file, so a row stays short.
inline constexpr size_t kHistoryTextMax = 500;
// The longest field the reader takes: a cut text with every byte a doubled quote.
inline constexpr size_t kHistoryFieldMax = 2 * kHistoryTextMax + 3;

// A text as its field holds it, in the file's bytes: control characters as blanks,
// a "'" before a text that starts with = + - @ or "'" (the reader takes exactly one
// off again), quoted with inner quotes doubled when it holds ';' or '"'.
std::string history_field(std::string_view text);
// The text of a field as the file holds it (quotes and all), back in UTF-8.
std::string history_field_text(std::string_view field);

// The first line, with its line break, in the file's bytes.
std::string history_header();
// One row, with its line break, in the file's bytes.
std::string history_row(const HistoryRow& row);
// One line of the file without its line break; nothing for the header, a torn row or
// anything else that is not a row.
std::optional<HistoryRow> parse_history_row(std::string_view line);
// The same without making its texts: the fields as the line holds them, for readers
// that decide on the bytes and convert only what they keep.
struct HistoryRowView {
  int64_t local = 0;
  int32_t offset_minutes = 0;
  std::string_view station, artist, title;  // fields as in the line, see history_field_text
  std::optional<int32_t> count;
};
std::optional<HistoryRowView> parse_history_row_view(std::string_view line);
// Where a row's station field starts: after "2026-12-09 08:36:00;+01:00;".
inline constexpr size_t kHistoryStationAt = 27;

// What one poll appends, in one piece: a header first when the file is new, a line
// break first when its last row was torn (so the torn row is never glued to the next).
std::string history_append(const std::vector<HistoryRow>& rows, uint64_t file_size, char last_byte);

// Every row of a file's bytes, in file order.
std::vector<HistoryRow> read_history(std::string_view bytes);

// A range read without reading the whole file. Rows come in poll order; the search
// finds where the first row at or after from_utc begins, reading a few kilobytes at
// each of about log2(size / 4 KiB) places. read(offset, n) gives the bytes there
// (fewer at the end).
// The bytes it gives stay valid until its next call, so a reader can keep one buffer
// for a whole range: fresh memory for each piece costs a page fault per page.
using ReadAt = std::function<std::string_view(uint64_t offset, size_t n)>;
uint64_t history_offset_of(uint64_t size, const ReadAt& read, int64_t from_utc);

// Seconds from 1970-01-01 of a civil date and time, and back ("2026-12-09 08:36:00").
int64_t civil_seconds(int year, int month, int day, int hour, int minute, int second);
std::string civil_text(int64_t seconds);
struct CivilTime {
  int64_t year = 1970;
  int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
CivilTime civil_time(int64_t seconds);

}  // namespace kn
