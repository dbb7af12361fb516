#include "platform/answer_files_win.h"

#include <windows.h>

#include <string>

#include "platform/http_win.h"
#include "win/ansi_win.h"
#include "win/files_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {

bool write_whole_file(const std::string& path, const std::string& data) {
  unique_file f(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  DWORD written = 0;
  return data.empty() ||
         (WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
          written == data.size());
}

}  // namespace

std::string read_downloaded_file(const std::string& path) {
  unique_file f(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(f.get(), &size) || size.QuadPart > 64 * 1024 * 1024) return {};
  std::string data(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!data.empty() && !ReadFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr))
    return {};
  data.resize(got);
  return ansi_to_utf8(data);
}

std::string through_file(const Answer& answer, const std::string& file) {
  // Only whole answers are written, by the thread that reads them back.
  delete_file_quietly(file);
  if (answer) write_whole_file(file, *answer);
  std::string text = read_downloaded_file(file);
  delete_file_quietly(file);
  return text;
}

std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms) {
  return through_file(fetch_now(url, max_bytes, timeout_ms), file);
}

}  // namespace kn
