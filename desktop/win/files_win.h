#pragma once
// Files and the program's own folder, named in UTF-8.
#include <string>

namespace kn {

// Folder of the running executable, UTF-8, without a trailing backslash.
std::string program_folder();

// FindFirstFileA finds an entry for the path (wildcards match as it matches them).
bool file_exists(const std::string& path_utf8);

// Deletes a file, ignoring every error.
void delete_file_quietly(const std::string& path_utf8);

}  // namespace kn
