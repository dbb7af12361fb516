// File access for Windows. Paths arrive in the ANSI code page and go to the wide
// calls as full "\\?\" paths, so they are not cut off at MAX_PATH characters.
#include <windows.h>

#include <atomic>
#include <string>

#include "file_io.h"

namespace inivault {

namespace {

FaultHook& fault_hook() {
  static FaultHook hook;
  return hook;
}

// Sets the last error and returns true when the test seam wants this step to fail.
bool injected(FileStep step) {
  if (!fault_hook()) return false;
  const int error = fault_hook()(step);
  if (error == 0) return false;
  SetLastError(static_cast<DWORD>(error));
  return true;
}

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

bool fail(std::error_code* why, std::error_code code) {
  if (why != nullptr) *why = code;
  return false;
}

bool fail_last(std::error_code* why, DWORD error = GetLastError()) {
  return fail(why, std::error_code(static_cast<int>(error), std::system_category()));
}

bool write_all(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    if (injected(FileStep::kWrite)) return false;
    const DWORD chunk = static_cast<DWORD>(data.size() > kWriteChunk ? kWriteChunk : data.size());
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
    data.remove_prefix(written);
  }
  return true;
}

std::wstring widen(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

bool starts_with(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// The full path in its long form, or empty. Device names (NUL, CON, COM1) come back
// in the device namespace, "\\.\NUL", which is_device tells apart.
std::wstring full_path(const std::string& path) {
  const std::wstring wide = widen(path);
  if (wide.empty()) return {};
  const DWORD need = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return {};
  std::wstring full(need, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), need, full.data(), nullptr);
  if (got == 0 || got >= need) return {};
  full.resize(got);
  if (starts_with(full, L"\\\\?\\") || starts_with(full, L"\\\\.\\")) return full;
  if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool is_device(const std::wstring& full) { return starts_with(full, L"\\\\.\\"); }

std::wstring folder_of(const std::wstring& full) { return full.substr(0, full.find_last_of(L'\\') + 1); }

bool set_size(HANDLE file, long long size) {
  LARGE_INTEGER at{};
  at.QuadPart = size;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

// Overwrites the existing file, first extending it to the new size: on a full disk
// the old bytes stay as they were.
bool write_in_place(const std::wstring& path, std::string_view data, std::error_code* why) {
  if (injected(FileStep::kOpenTarget)) return fail_last(why);
  FileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return fail_last(why);
  if (GetFileType(file.get()) != FILE_TYPE_DISK)
    return fail(why, make_error_code(FileError::kNotRegularFile));
  LARGE_INTEGER old{};
  if (!GetFileSizeEx(file.get(), &old)) return fail_last(why);
  const auto size = static_cast<long long>(data.size());
  if (size > old.QuadPart) {
    if (injected(FileStep::kReserve) || !set_size(file.get(), size)) {
      const DWORD error = GetLastError();
      set_size(file.get(), old.QuadPart);
      return fail_last(why, error);
    }
  }
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) return fail_last(why);
  if (!write_all(file.get(), data)) return fail_last(why);
  if (size < old.QuadPart && !set_size(file.get(), size)) return fail_last(why);
  if (!FlushFileBuffers(file.get()) || !file.close()) return fail_last(why);
  return true;
}

}  // namespace

void set_fault_hook(FaultHook hook) { fault_hook() = std::move(hook); }

std::optional<std::string> read_whole_file(const std::string& path, std::error_code* why) {
  const std::wstring full = full_path(path);
  if (full.empty()) return fail_last(why, ERROR_INVALID_NAME), std::nullopt;
  if (is_device(full)) return fail(why, make_error_code(FileError::kNotRegularFile)), std::nullopt;
  FileHandle file(
      CreateFileW(full.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return fail_last(why), std::nullopt;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    return fail(why, make_error_code(FileError::kNotRegularFile)), std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > std::string().max_size()) {
    return fail_last(why), std::nullopt;
  }
  std::string data(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t have = 0;
  while (have < data.size()) {
    const std::size_t left = data.size() - have;
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file.get(), &data[have], chunk, &got, nullptr)) return fail_last(why), std::nullopt;
    if (got == 0) return fail(why, make_error_code(FileError::kShortRead)), std::nullopt;
    have += got;
  }
  return data;
}

std::optional<std::string> foreign_link(const std::string&) { return std::nullopt; }

bool replace_file(const std::string& path, std::string_view data, std::error_code* why) {
  if (path.empty()) return fail_last(why, ERROR_PATH_NOT_FOUND);
  const std::wstring target = full_path(path);
  if (target.empty()) return fail_last(why, ERROR_INVALID_NAME);
  if (is_device(target)) return fail(why, make_error_code(FileError::kNotRegularFile));

  const DWORD attributes = GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return fail_last(why);
  if (exists) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return fail(why, make_error_code(FileError::kNotRegularFile));
    // A rename would replace a read-only file as readily as any other.
    if (attributes & FILE_ATTRIBUTE_READONLY) return fail_last(why, ERROR_ACCESS_DENIED);
    FileHandle probe(CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!probe.valid()) return fail_last(why);
    if (GetFileType(probe.get()) != FILE_TYPE_DISK)
      return fail(why, make_error_code(FileError::kNotRegularFile));
    BY_HANDLE_FILE_INFORMATION info{};
    // A rename would leave the other names on the old content.
    if (GetFileInformationByHandle(probe.get(), &info) && info.nNumberOfLinks > 1) {
      probe.close();
      return write_in_place(target, data, why);
    }
  }

  static std::atomic<unsigned> counter{0};
  std::wstring temp;
  HANDLE raw = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
    temp = folder_of(target) + L".inivault-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L".tmp";
    if (!injected(FileStep::kCreateTemp)) {
      raw = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (raw == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
  }
  FileHandle file(raw);
  if (!file.valid()) {
    // Only a folder that refuses new files sends the write in place; on a full disk
    // or quota the in-place write would be the one to fail.
    if (exists && error == ERROR_ACCESS_DENIED) return write_in_place(target, data, why);
    return fail_last(why, error);
  }

  const bool written = write_all(file.get(), data) && FlushFileBuffers(file.get());
  error = GetLastError();
  if (!file.close() || !written) {
    DeleteFileW(temp.c_str());
    return fail_last(why, written ? GetLastError() : error);
  }
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD wanted = exists && (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  if (exists) SetFileAttributesW(temp.c_str(), wanted);
  // A rename on the same volume: the target is either replaced whole or left as it
  // was, and the temporary file is never the only copy that gets deleted.
  if (injected(FileStep::kRename) ||
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
    DeleteFileW(temp.c_str());
    return fail_last(why, error);
  }
  if (exists && GetFileAttributesW(target.c_str()) != wanted) SetFileAttributesW(target.c_str(), wanted);
  return true;
}

}  // namespace inivault
