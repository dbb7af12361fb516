// File access for Windows. Paths arrive in the ANSI code page and go to the wide
// calls as full "\\?\" paths, so they are not cut off at MAX_PATH characters.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

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

// The volume part of a "\\?\" path: "\\?\C:", "\\?\Volume{...}" or "\\?\UNC" (a
// file's name on a share begins with the server and share).
std::wstring volume_of(const std::wstring& full) {
  if (starts_with(full, L"\\\\?\\UNC\\")) return L"\\\\?\\UNC";
  return full.substr(0, full.find(L'\\', 4));
}

// Where the file opened as `opened` really is, links resolved: "\\?\C:\...",
// "\\?\UNC\..." or, on a volume without a drive letter, "\\?\Volume{...}\...".
// Empty when that cannot be told.
std::wstring final_path(HANDLE file, const std::wstring& opened) {
  for (const DWORD volume : {VOLUME_NAME_DOS, VOLUME_NAME_GUID}) {
    const DWORD need = GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED | volume);
    if (need == 0) continue;
    std::wstring path(need, L'\0');
    const DWORD got = GetFinalPathNameByHandleW(file, path.data(), need, FILE_NAME_NORMALIZED | volume);
    if (got == 0 || got >= need || !starts_with(path, L"\\\\?\\")) continue;
    path.resize(got);
    return path;
  }
  // Wine answers the call above only up to MAX_PATH characters. The file's name on
  // its volume still tells whether the path went through a link; if it did, where
  // it leads is not known for sure, and nothing is written.
  std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
  if (!GetFileInformationByHandleEx(file, FileNameInfo, buffer.data(), static_cast<DWORD>(buffer.size())))
    return {};
  const auto* info = reinterpret_cast<const FILE_NAME_INFO*>(buffer.data());
  const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
  std::wstring rest = opened.substr(volume_of(opened).size());
  if (rest.size() > 1 && rest.back() == L'\\') rest.pop_back();
  if (CompareStringOrdinal(rest.data(), static_cast<int>(rest.size()), name.data(),
                           static_cast<int>(name.size()), TRUE) == CSTR_EQUAL) {
    return opened;
  }
  SetLastError(ERROR_CANT_RESOLVE_FILENAME);
  return {};
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr SECURITY_INFORMATION kOwnerGroup = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;

// A self-relative security descriptor; empty when it cannot be read.
std::vector<char> security_of(HANDLE file, SECURITY_INFORMATION parts) {
  DWORD need = 0;
  GetKernelObjectSecurity(file, parts, nullptr, 0, &need);
  if (need == 0) return {};
  std::vector<char> descriptor(need);
  if (!GetKernelObjectSecurity(file, parts, descriptor.data(), need, &need)) return {};
  return descriptor;
}

bool same_sid(PSID a, PSID b) { return a == b || (a != nullptr && b != nullptr && EqualSid(a, b)); }

bool same_owner_and_group(std::vector<char>& a, std::vector<char>& b) {
  PSID owner_a = nullptr, owner_b = nullptr, group_a = nullptr, group_b = nullptr;
  BOOL defaulted = FALSE;
  return GetSecurityDescriptorOwner(a.data(), &owner_a, &defaulted) &&
         GetSecurityDescriptorOwner(b.data(), &owner_b, &defaulted) &&
         GetSecurityDescriptorGroup(a.data(), &group_a, &defaulted) &&
         GetSecurityDescriptorGroup(b.data(), &group_b, &defaulted) && same_sid(owner_a, owner_b) &&
         same_sid(group_a, group_b);
}

bool same_access_list(std::vector<char>& a, std::vector<char>& b) {
  SECURITY_DESCRIPTOR_CONTROL control_a = 0, control_b = 0;
  DWORD revision = 0;
  BOOL present_a = FALSE, present_b = FALSE, defaulted = FALSE;
  PACL acl_a = nullptr, acl_b = nullptr;
  if (!GetSecurityDescriptorControl(a.data(), &control_a, &revision) ||
      !GetSecurityDescriptorControl(b.data(), &control_b, &revision) ||
      !GetSecurityDescriptorDacl(a.data(), &present_a, &acl_a, &defaulted) ||
      !GetSecurityDescriptorDacl(b.data(), &present_b, &acl_b, &defaulted)) {
    return false;
  }
  constexpr SECURITY_DESCRIPTOR_CONTROL kInheritance = SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED;
  if ((control_a & kInheritance) != (control_b & kInheritance) || present_a != present_b) return false;
  if (acl_a == nullptr || acl_b == nullptr) return acl_a == acl_b;
  return acl_a->AclSize == acl_b->AclSize && std::memcmp(acl_a, acl_b, acl_a->AclSize) == 0;
}

// Gives the new file the old one's owner, group and access list (copied as they
// are, protection from inheritance included), so replacing the file neither hands it
// to the caller nor opens it to whomever the folder lets read new files. What the
// new file already has alike is left alone (under Wine, which maps access lists to
// mode bits and back, not exactly). False when the system refuses any of it: only
// the old file itself keeps them then.
bool copy_security(HANDLE temp, const std::wstring& temp_path, std::vector<char>& old) {
  if (injected(FileStep::kSetOwner)) return false;
  std::vector<char> made = security_of(temp, kOwnerGroup | DACL_SECURITY_INFORMATION);
  if (made.empty()) return false;
  if (!same_owner_and_group(old, made)) {
    // Needs WRITE_OWNER, which creating the file did not ask for, and the right to
    // name that owner (the caller's own groups, or the restore privilege).
    FileHandle owner(CreateFileW(temp_path.c_str(), WRITE_OWNER, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!owner.valid() || !SetKernelObjectSecurity(owner.get(), kOwnerGroup, old.data())) return false;
  }
  return same_access_list(old, made) || SetKernelObjectSecurity(temp, DACL_SECURITY_INFORMATION, old.data());
}

// Renames the open file over `target` through its handle: the right to move it was
// granted when it was created, whatever access list it has been given since.
bool rename_onto(HANDLE file, const std::wstring& target) {
  // The call takes a native path: "\??\C:\..." where the wide calls take "\\?\C:\...".
  const std::wstring native = L"\\??\\" + target.substr(4);
  const std::size_t bytes = native.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, native.data(), bytes);
  return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
}

// Deletes the open file through its handle, which may delete it whatever access
// list the file has been given.
void delete_open_file(HANDLE file) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
}

void set_attributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO info{};  // zero times: left as they are
  info.FileAttributes = attributes;
  SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info);
}

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
  const std::wstring full = full_path(path);
  if (full.empty()) return fail_last(why, ERROR_INVALID_NAME);
  if (is_device(full)) return fail(why, make_error_code(FileError::kNotRegularFile));

  std::wstring target;
  bool exists = false;
  DWORD attributes = 0;
  std::vector<char> security;
  {
    // Opening the file for writing lets the system say whether the caller may write
    // it (access list, read-only attribute, a program holding it against writers),
    // and follows links to the file itself, which is the one to replace.
    FileHandle probe(CreateFileW(full.c_str(), FILE_WRITE_DATA, kShareAll, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (probe.valid()) {
      exists = true;
      if (GetFileType(probe.get()) != FILE_TYPE_DISK)
        return fail(why, make_error_code(FileError::kNotRegularFile));
      BY_HANDLE_FILE_INFORMATION info{};
      if (!GetFileInformationByHandle(probe.get(), &info)) return fail_last(why);
      attributes = info.dwFileAttributes;
      // Windows refuses such a file above; Wine lets root open it.
      if (attributes & FILE_ATTRIBUTE_READONLY) return fail_last(why, ERROR_ACCESS_DENIED);
      target = final_path(probe.get(), full);
      if (target.empty()) return fail_last(why);
      // A rename would leave the other names on the old content.
      if (info.nNumberOfLinks > 1) {
        probe.close();
        return write_in_place(target, data, why);
      }
      FileHandle reader(CreateFileW(target.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
      if (reader.valid()) security = security_of(reader.get(), kOwnerGroup | DACL_SECURITY_INFORMATION);
      if (security.empty()) {
        // Unreadable, so it could not be kept by a new file.
        probe.close();
        reader.close();
        return write_in_place(target, data, why);
      }
    } else {
      const DWORD error = GetLastError();
      if (error != ERROR_FILE_NOT_FOUND) {
        const DWORD found = GetFileAttributesW(full.c_str());
        if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY))
          return fail(why, make_error_code(FileError::kNotRegularFile));
        return fail_last(why, error);
      }
      // A new file goes where its folder really is, links resolved, like the rename.
      const std::wstring folder_path = folder_of(full);
      FileHandle folder(CreateFileW(folder_path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (!folder.valid()) return fail_last(why);
      const std::wstring real = final_path(folder.get(), folder_path);
      if (real.empty()) return fail_last(why);
      target = real + (real.back() == L'\\' ? L"" : L"\\") + full.substr(folder_path.size());
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
      raw = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
  const auto discard = [&](DWORD failure) {
    delete_open_file(file.get());
    file.close();
    return fail_last(why, failure);
  };

  // Before any byte is written, so the text never sits under a wider access list.
  if (exists && !copy_security(file.get(), temp, security)) {
    delete_open_file(file.get());
    file.close();
    return write_in_place(target, data, why);
  }
  if (!write_all(file.get(), data) || !FlushFileBuffers(file.get())) return discard(GetLastError());
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD wanted = exists && (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  if (exists) set_attributes(file.get(), wanted);
  // One rename in the same folder: the target is either replaced whole or left as it was.
  if (injected(FileStep::kRename) || !rename_onto(file.get(), target)) return discard(GetLastError());
  file.close();
  if (exists && GetFileAttributesW(target.c_str()) != wanted) SetFileAttributesW(target.c_str(), wanted);
  return true;
}

}  // namespace inivault
