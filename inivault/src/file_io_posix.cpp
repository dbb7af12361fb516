// File access for POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "file_io.h"

namespace inivault {

namespace {

FaultHook& fault_hook() {
  static FaultHook hook;
  return hook;
}

// Sets errno and returns true when the test seam wants this step to fail.
bool injected(FileStep step) {
  if (!fault_hook()) return false;
  const int error = fault_hook()(step);
  if (error == 0) return false;
  errno = error;
  return true;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
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

// Writing through a symbolic link must replace the file it points to, not the link.
std::string resolve_target(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
  }
  return path;
}

std::string folder_prefix(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Root passes every permission check, but a file without any write bit is one its
// owner marked read-only, and root's tools honour that too.
bool may_write(const std::string& path, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    errno = EACCES;
    return false;
  }
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::error_code file_kind_error(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return std::error_code(EISDIR, std::generic_category());
  return make_error_code(FileError::kNotRegularFile);
}

// Overwrites the existing file, first reserving room for all of `data`: on a full
// disk the old bytes stay as they were.
bool write_in_place(const std::string& path, const struct stat& old, std::string_view data,
                    std::error_code* why) {
  if (injected(FileStep::kOpenTarget)) return fail_errno(why);
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
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

void set_fault_hook(FaultHook hook) { fault_hook() = std::move(hook); }

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

bool replace_file(const std::string& path, std::string_view data, std::error_code* why) {
  if (path.empty()) return fail_errno(why, ENOENT);
  const std::string target = resolve_target(path);

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return fail_errno(why);
  if (exists) {
    if (!S_ISREG(old.st_mode)) return fail(why, file_kind_error(old));
    if (!may_write(target, old)) return fail_errno(why);
    // A rename would leave the other names on the old content.
    if (old.st_nlink > 1) return write_in_place(target, old, data, why);
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int raw_fd = -1;
  for (int attempt = 0; attempt < 100 && raw_fd < 0; ++attempt) {
    temp = folder_prefix(target) + ".inivault-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + ".tmp";
    raw_fd = injected(FileStep::kCreateTemp)
                 ? -1
                 : ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
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
    ::unlink(temp.c_str());
    return fail_errno(why, error);
  };
  if (exists) {
    struct stat made {};
    if (::fstat(fd.get(), &made) != 0) return discard(errno);
    if (made.st_uid != old.st_uid || made.st_gid != old.st_gid) {
      // The new file would change hands; only the old file itself keeps its owner then.
      if (injected(FileStep::kSetOwner) || ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        fd.close();
        ::unlink(temp.c_str());
        return write_in_place(target, old, data, why);
      }
    }
    // After the owner: changing it may clear the set-id bits.
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) {
      // Best effort: the content matters more than the mode bits.
    }
  }
  if (!write_all(fd.get(), data) || ::fsync(fd.get()) != 0) return discard(errno);
  if (!fd.close()) return discard(errno);
  if (injected(FileStep::kRename) || ::rename(temp.c_str(), target.c_str()) != 0) return discard(errno);
  return true;
}

}  // namespace inivault
