// File access for Windows, through the ANSI calls so paths stay in the ANSI code page.
#include <windows.h>

#include <string>

#include "file_io.h"

namespace inivault {

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  ~FileHandle() { close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle == INVALID_HANDLE_VALUE || CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

bool write_all(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = data.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
    data.remove_prefix(written);
  }
  return true;
}

std::string folder_of(const std::string& path) {
  const auto sep = path.find_last_of("\\/:");
  if (sep == std::string::npos) return ".";
  if (path[sep] == ':') return path.substr(0, sep + 1) + ".";
  return path.substr(0, sep + 1);
}

bool write_in_place(const std::string& path, std::string_view data) {
  FileHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  const bool written = write_all(file.get(), data);
  return file.close() && written;
}

FaultHook& fault_hook() {
  static FaultHook hook;
  return hook;
}

}  // namespace

void set_fault_hook(FaultHook hook) { fault_hook() = std::move(hook); }

std::optional<std::string> read_whole_file(const std::string& path) {
  FileHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > std::string().max_size()) {
    return std::nullopt;
  }
  std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t have = 0;
  while (have < data.size()) {
    const std::size_t left = data.size() - have;
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file.get(), &data[have], chunk, &got, nullptr) || got == 0) return std::nullopt;
    have += got;
  }
  return data;
}

bool replace_file(const std::string& path, std::string_view data) {
  if (path.empty()) return false;
  // ReplaceFileA wants full paths (Wine rejects relative ones).
  char full[MAX_PATH];
  const DWORD full_len = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  if (full_len == 0 || full_len >= MAX_PATH) return write_in_place(path, data);
  const std::string target(full, full_len);

  char temp[MAX_PATH];
  if (GetTempFileNameA(folder_of(target).c_str(), "ivt", 0, temp) == 0) {
    // The folder itself refuses new files; the target may still be writable.
    return write_in_place(target, data);
  }
  {
    FileHandle file(
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool written = file.valid() && write_all(file.get(), data) && FlushFileBuffers(file.get());
    if (!file.close() || !written) {
      DeleteFileA(temp);
      return false;
    }
  }

  const DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (MoveFileExA(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(temp);
    return false;
  }
  // Refuses a read-only target, as a direct write would.
  if (!ReplaceFileA(target.c_str(), temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    DeleteFileA(temp);
    return false;
  }
  // Windows keeps the target's attributes; Wine does not.
  if (GetFileAttributesA(target.c_str()) != attributes) SetFileAttributesA(target.c_str(), attributes);
  return true;
}

}  // namespace inivault
