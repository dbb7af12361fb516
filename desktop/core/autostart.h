#pragma once
// Start with the user's logon: one value under HKCU\...\CurrentVersion\Run.
#include <string>
#include <string_view>

namespace kn {

inline constexpr const char* kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The value's data: the program in the given folder, in quotes so that a folder
// with blanks cannot make the logon start a different program.
std::string autostart_command(std::string_view program_folder);

// The value's name: the executable's file name without its extension.
std::string autostart_value_name(std::string_view exe_path);

}  // namespace kn
