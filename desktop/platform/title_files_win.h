#pragma once
// The station's title file on the disk (its name and lines: core/title_files.h).
#include <string>

namespace kn {

// Appends one line with CR LF to the station's title file in the ANSI code page;
// false when the file cannot be opened or written.
bool append_title_line(const std::string& folder, const std::string& station, const std::string& line);

}  // namespace kn
