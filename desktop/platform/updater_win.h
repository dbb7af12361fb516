#pragma once
// The updater beside the program.
#include <string>

namespace kn {

// Starts AutoUpdate.exe from the program folder, with that folder as its working
// folder, when it is there; not waited for.
void start_updater(const std::string& program_folder);

}  // namespace kn
