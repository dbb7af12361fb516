// File access for POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <deque>
#include <string>
#include <utility>

#include "fault.h"
#include "filesafe/filesafe.h"

namespace filesafe {

namespace {

using detail::injected;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // close() can report a failed delayed write; that must count as a failed write.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool fail(std::error_code* why, std::error_code code) {
  if (why != nullptr) *why = code;
  return false;
}

bool fail_errno(std::error_code* why, int error = errno) {
  return fail(why, std::error_code(error, std::generic_category()));
}

bool write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    if (injected(FileStep::kWrite)) return false;
    const ssize_t written = ::write(fd, data.data(), std::min(data.size(), kWriteChunk));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Where a write lands: a name in an open folder. The folder was reached without
// following any link the rule refuses, and the name is no link (or is not there yet).
struct Target {
  FileDescriptor folder{-1};  // O_PATH: walking needs no read permission
  std::string name;
};

// Links the kernel would follow in a row before giving up.
constexpr int kMaxLinks = 40;

// A link in a sticky folder that everyone may write could have been put there by
// anyone, to point a privileged writer at a file of the victim's choosing.
bool may_follow(int folder, const struct stat& link) {
  struct stat st {};
  if (::fstat(folder, &st) != 0) return false;
  const bool shared = (st.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == ::geteuid() || link.st_uid == st.st_uid;
}

void push_parts(std::deque<std::string>& rest, const std::string& path) {
  std::deque<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    std::string part = path.substr(at, slash - at);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    at = slash + 1;
  }
  rest.insert(rest.begin(), parts.begin(), parts.end());
}

bool open_folder(FileDescriptor& folder, int at, const char* name) {
  FileDescriptor next(::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (next.get() < 0) return false;
  folder = std::move(next);
  return true;
}

// Walks the path one name at a time, as the kernel would, following each link only
// where may_follow allows, so nothing can be swapped in behind the checks. `refused`
// gets the first link refused, as the walk spelled it.
bool resolve_for_writing(const std::string& path, Target* target, std::error_code* why,
                         std::string* refused = nullptr) {
  if (path.empty()) return fail_errno(why, ENOENT);
  FileDescriptor folder(-1);
  std::string walked = path[0] == '/' ? "/" : "";
  if (!open_folder(folder, AT_FDCWD, walked.empty() ? "." : "/")) return fail_errno(why);
  std::deque<std::string> rest;
  push_parts(rest, path);
  // "name/" must be a folder, so it is no file to write.
  bool folder_wanted = path.back() == '/';
  int links = 0;
  while (!rest.empty()) {
    const std::string name = std::move(rest.front());
    rest.pop_front();
    const bool last = rest.empty();
    if (name == "..") {
      if (!open_folder(folder, folder.get(), "..")) return fail_errno(why);
      walked += "../";
      continue;
    }
    struct stat st {};
    if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT || !last || folder_wanted) return fail_errno(why);
      st.st_mode = S_IFREG;  // a new file
    } else if (S_ISLNK(st.st_mode)) {
      if (!may_follow(folder.get(), st)) {
        if (refused != nullptr) *refused = walked + name;
        return fail(why, make_error_code(FileError::kForeignLink));
      }
      if (++links > kMaxLinks) return fail_errno(why, ELOOP);
      // One byte more than the link's size shows whether it grew since.
      std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
      const ssize_t got = ::readlinkat(folder.get(), name.c_str(), to.data(), to.size());
      if (got < 0) return fail_errno(why);
      if (static_cast<std::size_t>(got) == to.size()) return fail_errno(why, ENAMETOOLONG);
      to.resize(static_cast<std::size_t>(got));
      if (to.empty()) return fail_errno(why, ENOENT);
      if (last && to.back() == '/') folder_wanted = true;
      push_parts(rest, to);
      if (to[0] == '/') {
        if (!open_folder(folder, AT_FDCWD, "/")) return fail_errno(why);
        walked = "/";
      }
      continue;
    }
    if (last && !folder_wanted) {
      target->folder = std::move(folder);
      target->name = name;
      return true;
    }
    if (!S_ISDIR(st.st_mode)) return fail_errno(why, ENOTDIR);
    if (!open_folder(folder, folder.get(), name.c_str())) return fail_errno(why);
    walked += name + "/";
  }
  return fail_errno(why, EISDIR);
}

// The rename reaches the disk only with its folder. A folder we may not read cannot
// be opened for that; the kernel still writes it back in its own time.
bool sync_folder(int folder) {
  if (injected(FileStep::kSyncFolder)) return false;
  FileDescriptor readable(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (readable.get() < 0) return errno == EACCES;
  return ::fsync(readable.get()) == 0 || errno == EINVAL;
}

// Root passes every permission check, but a file without any write bit is one its
// owner marked read-only, and root's tools honour that too.
bool may_write(const Target& target, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return false;
  }
  return ::faccessat(target.folder.get(), target.name.c_str(), W_OK, AT_EACCESS) == 0;
}

std::error_code file_kind_error(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return std::error_code(EISDIR, std::generic_category());
  return make_error_code(FileError::kNotRegularFile);
}

// Overwrites the existing file, first reserving room for all of `data`: on a full
// disk the old bytes stay as they were.
bool write_in_place(const Target& target, const struct stat& old, std::string_view data,
                    std::error_code* why) {
  if (injected(FileStep::kOpenTarget)) return fail_errno(why);
  FileDescriptor fd(::openat(target.folder.get(), target.name.c_str(),
                             O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return fail_errno(why);
  struct stat now {};
  if (::fstat(fd.get(), &now) != 0) return fail_errno(why);
  if (!S_ISREG(now.st_mode)) return fail(why, file_kind_error(now));
  if (!data.empty()) {
    const int reserved = injected(FileStep::kReserve)
                             ? errno
                             : ::posix_fallocate(fd.get(), 0, static_cast<off_t>(data.size()));
    if (reserved != 0) {
      // A partial reservation may have grown the file.
      if (::fstat(fd.get(), &now) == 0 && now.st_size > old.st_size &&
          ::ftruncate(fd.get(), old.st_size) != 0) {
        // Nothing more to undo: the old bytes themselves were not touched.
      }
      return fail_errno(why, reserved);
    }
  }
  if (!write_all(fd.get(), data)) return fail_errno(why);
  if (static_cast<off_t>(data.size()) < old.st_size &&
      ::ftruncate(fd.get(), static_cast<off_t>(data.size())) != 0) {
    return fail_errno(why);
  }
  if (::fsync(fd.get()) != 0 || !fd.close()) return fail_errno(why);
  return true;
}

}  // namespace

std::optional<std::string> read_whole_file(const std::string& path, std::error_code* why) {
  // Looked at before opening: opening a pipe for reading blocks until a writer comes.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return fail_errno(why), std::nullopt;
  if (!S_ISREG(st.st_mode)) return fail(why, file_kind_error(st)), std::nullopt;
  // Non-blocking all the same, in case the path was swapped for a pipe meanwhile.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return fail_errno(why), std::nullopt;
  if (::fstat(fd.get(), &st) != 0) return fail_errno(why), std::nullopt;
  if (!S_ISREG(st.st_mode)) return fail(why, file_kind_error(st)), std::nullopt;
  std::string data;
  // Room for the whole file up front: the usual case then copies each chunk once.
  data.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail_errno(why), std::nullopt;
    }
    if (got == 0) break;
    data.append(chunk, static_cast<std::size_t>(got));
  }
  if (data.size() < static_cast<std::size_t>(st.st_size)) {
    return fail(why, make_error_code(FileError::kShortRead)), std::nullopt;
  }
  return data;
}

std::optional<std::string> foreign_link(const std::string& path) {
  Target target;
  std::error_code why;
  std::string link;
  if (resolve_for_writing(path, &target, &why, &link)) return std::nullopt;
  if (why == FileError::kForeignLink) return link;
  return std::nullopt;
}

bool replace_file(const std::string& path, std::string_view data, std::error_code* why) {
  Target target;
  if (!resolve_for_writing(path, &target, why)) return false;
  const int folder = target.folder.get();
  const char* name = target.name.c_str();

  struct stat old {};
  const bool exists = ::fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) return fail_errno(why);
  if (exists) {
    // A link put there since the walk is not followed.
    if (S_ISLNK(old.st_mode)) return fail_errno(why, ELOOP);
    if (!S_ISREG(old.st_mode)) return fail(why, file_kind_error(old));
    if (!may_write(target, old)) return fail_errno(why);
    // A rename would leave the other names on the old content.
    if (old.st_nlink > 1) return write_in_place(target, old, data, why);
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int raw_fd = -1;
  for (int attempt = 0; attempt < 100 && raw_fd < 0; ++attempt) {
    temp = ".filesafe-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
    raw_fd = injected(FileStep::kCreateTemp)
                 ? -1
                 : ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (raw_fd < 0 && errno != EEXIST) break;
  }
  if (raw_fd < 0) {
    const int error = errno;
    // Only a folder that refuses new files sends the write in place; on a full disk
    // or quota the in-place write would be the one to fail.
    if (exists && (error == EACCES || error == EPERM)) return write_in_place(target, old, data, why);
    return fail_errno(why, error);
  }

  FileDescriptor fd(raw_fd);
  auto discard = [&](int error) {
    fd.close();
    ::unlinkat(folder, temp.c_str(), 0);
    return fail_errno(why, error);
  };
  if (exists) {
    struct stat made {};
    if (::fstat(fd.get(), &made) != 0) return discard(errno);
    if (made.st_uid != old.st_uid || made.st_gid != old.st_gid) {
      // The new file would change hands; only the old file itself keeps its owner then.
      if (injected(FileStep::kSetOwner) || ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        fd.close();
        ::unlinkat(folder, temp.c_str(), 0);
        return write_in_place(target, old, data, why);
      }
    }
    // After the owner: changing it may clear the set-id bits.
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) {
      // Best effort: the content matters more than the mode bits.
    }
  }
  if (!write_all(fd.get(), data) || injected(FileStep::kFlush) || ::fsync(fd.get()) != 0)
    return discard(errno);
  if (!fd.close()) return discard(errno);
  if (injected(FileStep::kRename) || ::renameat(folder, temp.c_str(), folder, name) != 0)
    return discard(errno);
  // The new text is in place; a folder that cannot be synced may still lose the
  // rename in a crash, which the caller must hear about.
  if (!sync_folder(folder)) return fail_errno(why);
  return true;
}

}  // namespace filesafe
