#pragma once
// Reading and replacing files so that a failure never leaves a half-written one: the
// one implementation behind Inivault's files and the desktop program's settings file.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace filesafe {

// Refusals of our own; everything else is the system's error number (errno on
// POSIX, a Win32 error code on Windows).
enum class FileError {
  kNotRegularFile = 1,  // a pipe, a device or anything else that is not a plain file
  kShortRead,           // the file shrank while it was read
  kForeignLink,         // a symbolic link that a write must not follow (foreign_link)
  kEditFailed,          // the caller's edit of the copy did not succeed (edit_file_whole)
};
std::error_code make_error_code(FileError error);

// Reads an existing regular file whole; nothing when it cannot be opened or read
// completely, or is no regular file (a pipe is never opened, so it cannot block).
std::optional<std::string> read_whole_file(const std::string& path, std::error_code* why = nullptr);

// The first symbolic link on the way to `path` that a write does not follow, as the
// path reached it: one that another user put in a sticky folder everyone may write,
// where it could point a privileged writer at any file. A link is followed when the
// caller or the folder's owner owns it, or the folder is not such a shared one: the
// kernel's protected_symlinks rule, applied whatever the system's setting. Nothing
// when no such link is met (always on Windows, which has no sticky folders).
std::optional<std::string> foreign_link(const std::string& path);

// Creates or replaces the file with exactly `data`; true when every byte arrived.
// Paths are the system's bytes (on Windows, text in the ANSI code page).
// Symbolic links are followed, so the file they point to is written and they stay
// links; a foreign_link refuses the write (kForeignLink). An existing target must be
// a regular file that the caller may write (a write permission bit set and, for a
// non-root caller, granted to it; on Windows: not read-only, and it opens for
// writing); otherwise it is not touched. The bytes go to a temporary file beside the
// target, which then takes its place with the target's mode and owner (on Windows:
// owner, access list and attributes), so a failed write leaves the old file as it
// was. The target is overwritten in place instead only where that is the sole way
// to keep it whole as a file: it has further hard links, its owner (on Windows, its
// access list) cannot be given to the new file, or the folder refuses new files (no
// permission). Then the new size is reserved first, so a full disk refuses the write
// before any old byte changes; only an I/O error or a crash during the overwrite
// itself can leave such a file part-written.
bool replace_file(const std::string& path, std::string_view data, std::error_code* why = nullptr);

#ifdef _WIN32
// For writers that take only a path (the profile functions): `edit` changes a copy
// of the file, and the copy then replaces the file by replace_file's rules. The copy
// lies beside the file, holds its text, and has its owner and access list before
// `edit` sees it; `edit` gets its plain path ("C:\...", "\\server\share\..."). A
// missing file starts as an empty copy. Unlike replace_file, a folder that refuses
// new files refuses this too: the copy has nowhere else to be. A failed edit
// (kEditFailed) changes nothing.
using CopyEditor = std::function<bool(const std::wstring& copy)>;
bool edit_file_whole(const std::wstring& path, const CopyEditor& edit, std::error_code* why = nullptr);
#endif

// The steps of a write that tests can make fail.
// kSetOwner: giving the new file the old one's owner (on Windows also its access list).
// kFlush: putting the new file on the disk before it takes the old one's place.
// kSyncFolder: making the rename itself durable (POSIX).
enum class FileStep { kCreateTemp, kOpenTarget, kWrite, kReserve, kSetOwner, kFlush, kRename, kSyncFolder };

// Test seam: runs before each step and returns an error number (errno on POSIX, a
// Win32 error code on Windows) to make that step fail as the system would, or 0 to
// let it run. Writes go in chunks of kWriteChunk bytes, each a step of its own, so a
// full disk can strike part-way. An empty hook removes it.
using FaultHook = std::function<int(FileStep step)>;
void set_fault_hook(FaultHook hook);
inline constexpr std::size_t kWriteChunk = 65536;

}  // namespace filesafe

template <>
struct std::is_error_code_enum<filesafe::FileError> : std::true_type {};
