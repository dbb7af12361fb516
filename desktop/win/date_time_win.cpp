#include "win/date_time_win.h"

#include <windows.h>

#include "win/ansi_win.h"

namespace kn {

std::string current_date_text() {
  wchar_t buf[128] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, buf, 128);
  return wide_to_utf8(buf);
}

std::string current_time_text() {
  wchar_t buf[128] = {};
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, buf, 128);
  return wide_to_utf8(buf);
}

std::string current_hour_minute_text() {
  wchar_t buf[128] = {};
  GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, buf, 128);
  return wide_to_utf8(buf);
}

}  // namespace kn
