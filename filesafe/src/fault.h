#pragma once
// The test seam's one entry for both systems' implementations.
#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

#include "filesafe/filesafe.h"

namespace filesafe::detail {

// What the hook wants for this step: an error number, or 0 to let it run.
int fault_for(FileStep step);

// Sets the error as the system would (errno, or the last error on Windows) and
// returns true when the test seam wants this step to fail.
inline bool injected(FileStep step) {
  const int error = fault_for(step);
  if (error == 0) return false;
#ifdef _WIN32
  SetLastError(static_cast<DWORD>(error));
#else
  errno = error;
#endif
  return true;
}

}  // namespace filesafe::detail
