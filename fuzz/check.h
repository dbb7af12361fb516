#pragma once
// Shared by the fuzz targets.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// A broken invariant aborts, so libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

namespace kn::fuzz {

// A scratch file of this process, in memory where the system offers it.
inline std::string scratch_path(const char* what) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/kn-fuzz-" + what + "-" + std::to_string(getpid());
}

}  // namespace kn::fuzz
