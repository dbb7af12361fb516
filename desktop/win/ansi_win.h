#pragma once
// The boundary between the core's UTF-8 and the system's ANSI code page.
#include <string>
#include <string_view>

namespace kn {

std::string utf8_to_ansi(std::string_view utf8);
std::string ansi_to_utf8(std::string_view ansi);
std::wstring utf8_to_wide(std::string_view utf8);
std::string wide_to_utf8(std::wstring_view wide);

// Folder of the running executable, UTF-8, without a trailing backslash.
std::string program_folder();

// FindFirstFileA finds an entry for the path (wildcards match as it matches them).
bool file_exists(const std::string& path_utf8);

// Deletes a file, ignoring every error.
void delete_file_quietly(const std::string& path_utf8);

// The user's short date and time formats for the current moment.
std::string current_date_text();
std::string current_time_text();

}  // namespace kn
