#pragma once
// Inivault's files go through the shared file-safety library, under the names the
// library's own code has always used.
#include "filesafe/filesafe.h"

namespace inivault {

using filesafe::FaultHook;
using filesafe::FileError;
using filesafe::FileStep;
using filesafe::foreign_link;
using filesafe::kWriteChunk;
using filesafe::make_error_code;
using filesafe::read_whole_file;
using filesafe::replace_file;
using filesafe::set_fault_hook;

}  // namespace inivault
