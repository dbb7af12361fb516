#include "platform/history_store_win.h"

#include <windows.h>

#include "filesafe/filesafe.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr size_t kHeadBytes = 4096;

int64_t civil_of(const SYSTEMTIME& t) {
  return civil_seconds(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

std::string read_at(HANDLE file, uint64_t offset, size_t n) {
  std::string bytes(n, '\0');
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  if (!ReadFile(file, bytes.data(), static_cast<DWORD>(n), &got, &at)) got = 0;
  bytes.resize(got);
  return bytes;
}

unique_file open_for_reading(const std::string& path) {
  return unique_file(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint64_t size_of(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

// True when the first row lies before keep_from_utc.
bool first_row_is_older(const std::string& path, int64_t keep_from_utc) {
  unique_file f = open_for_reading(path);
  return f && history_needs_pruning(read_at(f.get(), 0, kHeadBytes), keep_from_utc);
}

}  // namespace

LocalMoment local_moment_now() {
  SYSTEMTIME utc{};
  GetSystemTime(&utc);
  SYSTEMTIME local{};
  // The offset of this very moment, summer time or not.
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) local = utc;
  LocalMoment m;
  m.local = civil_of(local);
  m.offset_minutes = static_cast<int32_t>((m.local - civil_of(utc)) / 60);
  return m;
}

bool write_history_copy(const std::string& path_utf8, const std::vector<HistoryRow>& rows) {
  return filesafe::replace_file(utf8_to_ansi(path_utf8), history_append(rows, 0, '\n'));
}

HistoryStore::~HistoryStore() { join(); }

AppendResult HistoryStore::append(const std::vector<HistoryRow>& rows) {
  if (pruning_) return AppendResult::kBusy;
  unique_file f(CreateFileW(utf8_to_wide(path_).c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return GetLastError() == ERROR_SHARING_VIOLATION ? AppendResult::kBusy : AppendResult::kFailed;
  const uint64_t size = size_of(f.get());
  const std::string last = size > 0 ? read_at(f.get(), size - 1, 1) : std::string();
  const std::string bytes = history_append(rows, size, last.empty() ? '\n' : last[0]);
  DWORD written = 0;
  const bool ok = WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  // On the disk before the next poll: a power cut loses at most this poll's rows.
  return ok && FlushFileBuffers(f.get()) ? AppendResult::kWritten : AppendResult::kFailed;
}

std::vector<HistorySample> HistoryStore::read_range(const std::string& station, int64_t from_utc,
                                                    int64_t to_utc, size_t* unreadable) const {
  if (unreadable) *unreadable = 0;
  unique_file f = open_for_reading(path_);
  if (!f) return {};
  const HANDLE h = f.get();
  return read_station_range(
      size_of(h), [h](uint64_t offset, size_t n) { return read_at(h, offset, n); }, station, from_utc, to_utc,
      kHistoryReadChunk, unreadable);
}

void HistoryStore::prune(int64_t keep_from_utc, std::function<void()> done) {
  join();
  pruning_ = true;
  worker_ = std::thread([this, keep_from_utc, done = std::move(done)] {
    if (first_row_is_older(path_, keep_from_utc)) {
      const std::string ansi_path = utf8_to_ansi(path_);
      if (std::optional<std::string> bytes = filesafe::read_whole_file(ansi_path)) {
        prune_history_in_place(*bytes, keep_from_utc);
        filesafe::replace_file(ansi_path, *bytes);
      }
    }
    pruning_ = false;
    if (done) done();
  });
}

void HistoryStore::join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace kn
