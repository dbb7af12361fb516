#include "platform/title_files_win.h"

#include <windows.h>

#include "core/title_files.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

bool append_title_line(const std::string& folder, const std::string& station, const std::string& line) {
  const std::string path = folder + "\\" + title_file_name(station);
  unique_file f(CreateFileW(utf8_to_wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  const std::string bytes = utf8_to_ansi(line) + "\r\n";
  DWORD written = 0;
  return WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace kn
