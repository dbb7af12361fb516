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

bool write_in_place(const std::string& path, std::string_view data) {
  if (injected(FileStep::kOpenTarget)) return false;
  FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (fd.get() < 0) return false;
  const bool written = write_all(fd.get(), data);
  return fd.close() && written;
}

}  // namespace

void set_fault_hook(FaultHook hook) { fault_hook() = std::move(hook); }

std::optional<std::string> read_whole_file(const std::string& path) {
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::string data;
  // Room for the whole file up front: the usual case then copies each chunk once.
  data.reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (got == 0) break;
    data.append(chunk, static_cast<std::size_t>(got));
  }
  if (data.size() < static_cast<std::size_t>(st.st_size)) return std::nullopt;
  return data;
}

bool replace_file(const std::string& path, std::string_view data) {
  if (path.empty()) return false;
  const std::string target = resolve_target(path);

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
    // The folder itself refuses new files; the target may still be writable.
    return write_in_place(target, data);
  }

  FileDescriptor fd(raw_fd);
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    if (::fchmod(fd.get(), old.st_mode & 07777) != 0) {
      // Best effort: the content matters more than the mode bits.
    }
  }
  const bool written = write_all(fd.get(), data);
  const bool closed = fd.close();
  if (!written || !closed || injected(FileStep::kRename) || ::rename(temp.c_str(), target.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace inivault
