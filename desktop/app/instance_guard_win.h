#pragma once
// One program per folder: copies in one folder would share the settings, the
// download files and the title files, and write every new song twice. A copy in
// another folder has its own and runs beside it.
#include <windows.h>

#include <cstdint>
#include <string>

#include "win/win_handle.h"

namespace kn {

inline constexpr const char* kAlreadyRunningText = "Klangnetz DesktopTool l\xC3\xA4uft bereits.";

// The folder's name for the guard: a hash of its full path, lower-cased.
uint64_t folder_hash(const std::string& folder);

class InstanceGuard {
 public:
  explicit InstanceGuard(const std::string& folder);
  // Another copy of this folder was there first (or holds its mutex out of reach).
  bool another_runs() const { return another_; }
  // Asks the first copy to say it runs; false when it was not found in time.
  bool tell_running_copy() const;
  // The name of the folder's mutex.
  static std::wstring mutex_name(uint64_t hash);

  // The running copy's side: the message a later copy sends to every main window,
  // with the folder's hash as its argument, and the answer that proves it reached
  // the copy of the same folder.
  static UINT message();
  static constexpr LRESULT kAnswer = 0x4B4E;
  static WPARAM argument(uint64_t hash) {
    return static_cast<WPARAM>(static_cast<uint32_t>(hash ^ (hash >> 32)));
  }

 private:
  uint64_t hash_;
  unique_kernel_handle mutex_;
  bool another_ = false;
};

}  // namespace kn
