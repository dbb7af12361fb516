#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace inivault {

// Reads an existing file whole; nothing when it cannot be opened or read completely.
std::optional<std::string> read_whole_file(const std::string& path);

// Creates or replaces the file with exactly `data`. The bytes go to a temporary
// file beside the target first, which then replaces it, so a failed write leaves
// the old file as it was. Only where no temporary file can be made there (a
// read-only folder) is the target written in place. True when every byte arrived.
bool replace_file(const std::string& path, std::string_view data);

// The steps of a write that tests can make fail.
enum class FileStep { kCreateTemp, kOpenTarget, kWrite, kReserve, kSetOwner, kRename };

// Test seam: runs before each step and returns an error number (errno on POSIX, a
// Win32 error code on Windows) to make that step fail as the system would, or 0 to
// let it run. Writes go in chunks of kWriteChunk bytes, each a step of its own, so a
// full disk can strike part-way. An empty hook removes it.
using FaultHook = std::function<int(FileStep step)>;
void set_fault_hook(FaultHook hook);
inline constexpr std::size_t kWriteChunk = 65536;

}  // namespace inivault
