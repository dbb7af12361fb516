#pragma once
// The current moment in the user's own formats.
#include <string>

namespace kn {

// The user's short date and time formats for the current moment.
std::string current_date_text();
std::string current_time_text();
// Hours and minutes only, as the user writes them: "14:03".
std::string current_hour_minute_text();

}  // namespace kn
