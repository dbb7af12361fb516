#include "platform/history_store_win.h"

#include <windows.h>

#include <optional>

#include "core/history_carry.h"
#include "core/history_months.h"
#include "filesafe/filesafe.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int64_t civil_of(const SYSTEMTIME& t) {
  return civil_seconds(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

// Into one buffer for a whole range or carry-over: fresh memory for each piece
// costs a page fault a page.
bool read_at(HANDLE file, uint64_t offset, size_t n, std::string& bytes) {
  bytes.resize(n);
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const bool read =
      ReadFile(file, bytes.data(), static_cast<DWORD>(n), &got, &at) || GetLastError() == ERROR_HANDLE_EOF;
  bytes.resize(read ? got : 0);
  return read;
}

unique_file open_for_reading(const std::string& path) {
  return unique_file(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
}

unique_file open_for_append(const std::string& path) {
  return unique_file(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_READ | FILE_APPEND_DATA, kShareAll,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

uint64_t size_of(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
}

bool make_folder(const std::string& path) {
  return CreateDirectoryW(utf8_to_wide(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The names of the plain files in a folder; nothing when it cannot be listed.
std::optional<std::vector<std::string>> list_files(const std::string& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE h = FindFirstFileW(utf8_to_wide(folder + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return std::vector<std::string>{};
    return std::nullopt;
  }
  std::vector<std::string> names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(wide_to_utf8(found.cFileName));
  } while (FindNextFileW(h, &found));
  FindClose(h);
  return names;
}

// The program folder for the carry-over: its paths use '/' between folder and name.
class WinHistoryDisk : public HistoryDisk {
 public:
  explicit WinHistoryDisk(std::string root) : root_(std::move(root)) {}

  std::optional<bool> exists(const std::string& path) override {
    if (GetFileAttributesW(utf8_to_wide(full(path)).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
    return std::nullopt;
  }
  bool make_folder(const std::string& folder) override { return kn::make_folder(full(folder)); }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    return list_files(full(folder));
  }
  bool read(const std::string& path, uint64_t offset, size_t n, std::string& bytes) override {
    unique_file f = open_for_reading(full(path));
    return f && read_at(f.get(), offset, n, bytes);
  }
  bool append(const std::string& path, std::string_view bytes) override {
    unique_file f = open_for_append(full(path));
    DWORD written = 0;
    return f && WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }
  bool replace(const std::string& path, std::string_view bytes) override {
    return filesafe::replace_file(utf8_to_ansi(full(path)), bytes);
  }
  bool remove(const std::string& path) override {
    if (DeleteFileW(utf8_to_wide(full(path)).c_str())) return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }

 private:
  std::string full(const std::string& path) const {
    std::string p = root_ + "\\" + path;
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  std::string root_;
};

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

std::string HistoryStore::folder() const { return program_folder_ + "\\" + kHistoryFolderName; }

AppendResult HistoryStore::append(const std::vector<HistoryRow>& rows) {
  if (busy_) return AppendResult::kBusy;
  if (!make_folder(folder())) return AppendResult::kFailed;
  const std::vector<HistoryFileRows> by_file = history_rows_by_file(rows);
  std::vector<unique_file> files;
  for (const HistoryFileRows& f : by_file) {
    files.push_back(open_for_append(folder() + "\\" + f.file_name));
    if (!files.back()) return GetLastError() == ERROR_SHARING_VIOLATION ? AppendResult::kBusy : AppendResult::kFailed;
  }
  bool ok = true;
  for (size_t i = 0; i < by_file.size(); ++i) {
    const HANDLE h = files[i].get();
    const uint64_t size = size_of(h);
    std::string tail;
    const char last = size > 0 && read_at(h, size - 1, 1, tail) && !tail.empty() ? tail[0] : '\n';
    const std::string bytes = history_append(by_file[i].rows, size, last);
    DWORD written = 0;
    // On the disk before the next poll: a power cut loses at most this poll's rows.
    ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size() && FlushFileBuffers(h) && ok;
  }
  return ok ? AppendResult::kWritten : AppendResult::kFailed;
}

StationRange HistoryStore::read_range(const std::string& station, int64_t from_utc, int64_t to_utc) const {
  StationRange none;
  none.unreadable = carried_unreadable_;
  const std::optional<std::vector<std::string>> listing = list_files(folder());
  if (!listing) return none;
  std::vector<unique_file> open;
  std::vector<HistorySource> sources;
  std::string buffer;
  for (const std::string& name : history_files_for_range(*listing, station, from_utc, to_utc)) {
    unique_file f = open_for_reading(folder() + "\\" + name);
    if (!f) continue;
    const HANDLE h = f.get();
    sources.push_back({size_of(h), [h, &buffer](uint64_t offset, size_t n) {
                         // A failed read leaves it empty: the range ends there.
                         read_at(h, offset, n, buffer);
                         return std::string_view(buffer);
                       }});
    open.push_back(std::move(f));
  }
  StationRange range = read_station_months(sources, station, from_utc, to_utc);
  range.unreadable += carried_unreadable_;
  return range;
}

void HistoryStore::maintain(int64_t now_local, int history_days, std::function<void()> done) {
  join();
  busy_ = true;
  worker_ = std::thread([this, now_local, history_days, done = std::move(done)] {
    WinHistoryDisk disk(program_folder_);
    const CarryResult carried = carry_over_history(disk);
    carried_unreadable_ += carried.unreadable;
    if (const auto listing = list_files(folder())) {
      for (const std::string& name : history_files_to_delete(*listing, now_local, history_days))
        DeleteFileW(utf8_to_wide(folder() + "\\" + name).c_str());
    }
    busy_ = false;
    if (done) done();
  });
}

void HistoryStore::join() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace kn
