// File access for Windows. Paths arrive in the ANSI code page or as UTF-16 and go to
// the wide calls as full "\\?\" paths, so they are not cut off at MAX_PATH characters.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fault.h"
#include "filesafe/filesafe.h"

namespace filesafe {

namespace {

using detail::injected;

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
  void reset(HANDLE handle) {
    close();
    handle_ = handle;
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
std::wstring full_path(const std::wstring& wide) {
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

// The path for callers that take no "\\?\" form: "C:\...", "\\server\share\...".
std::wstring plain_path(const std::wstring& full) {
  if (starts_with(full, L"\\\\?\\UNC\\")) return L"\\\\" + full.substr(8);
  if (starts_with(full, L"\\\\?\\") && full.size() > 6 && full[5] == L':') return full.substr(4);
  return full;
}

// Reads the open file from where it stands to its end.
bool read_rest(HANDLE file, std::string& data, std::error_code* why) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > std::string().max_size()) {
    return fail_last(why);
  }
  data.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t have = 0;
  while (have < data.size()) {
    const std::size_t left = data.size() - have;
    const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file, &data[have], chunk, &got, nullptr)) return fail_last(why);
    if (got == 0) return fail(why, make_error_code(FileError::kShortRead));
    have += got;
  }
  return true;
}

// The file a replacement is for, and what the replacement must keep of it.
struct Target {
  std::wstring path;  // links resolved
  bool exists = false;
  DWORD attributes = 0;
  std::vector<char> security;
  // Only the file itself keeps what it is: it has other names (a rename would leave
  // them on the old content), or its owner and access list cannot be read.
  bool in_place = false;
};

bool find_target(const std::wstring& full, Target& target, std::error_code* why) {
  // Opening the file for writing lets the system say whether the caller may write
  // it (access list, read-only attribute, a program holding it against writers),
  // and follows links to the file itself, which is the one to replace.
  FileHandle probe(CreateFileW(full.c_str(), FILE_WRITE_DATA, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (probe.valid()) {
    target.exists = true;
    if (GetFileType(probe.get()) != FILE_TYPE_DISK)
      return fail(why, make_error_code(FileError::kNotRegularFile));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(probe.get(), &info)) return fail_last(why);
    target.attributes = info.dwFileAttributes;
    // Windows refuses such a file above; Wine lets root open it.
    if (target.attributes & FILE_ATTRIBUTE_READONLY) return fail_last(why, ERROR_ACCESS_DENIED);
    target.path = final_path(probe.get(), full);
    if (target.path.empty()) return fail_last(why);
    if (info.nNumberOfLinks > 1) {
      target.in_place = true;
      return true;
    }
    FileHandle reader(CreateFileW(target.path.c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (reader.valid()) target.security = security_of(reader.get(), kOwnerGroup | DACL_SECURITY_INFORMATION);
    target.in_place = target.security.empty();
    return true;
  }
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
  target.path = real + (real.back() == L'\\' ? L"" : L"\\") + full.substr(folder_path.size());
  return true;
}

// A new file beside the target, under a name no other writer uses, so two writers
// at once never fill or delete each other's. Nothing, with `error` set, when the
// folder refuses it.
bool create_temp(const Target& target, FileHandle& file, std::wstring& name, DWORD& error) {
  static std::atomic<unsigned> counter{0};
  HANDLE raw = INVALID_HANDLE_VALUE;
  error = ERROR_SUCCESS;
  for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
    name = folder_of(target.path) + L".filesafe-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + L".tmp";
    if (!injected(FileStep::kCreateTemp)) {
      raw = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, 0, nullptr,
                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (raw == INVALID_HANDLE_VALUE) {
      error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
  }
  file.reset(raw);
  return file.valid();
}

bool discard(FileHandle& file, std::error_code* why, DWORD error) {
  delete_open_file(file.get());
  file.close();
  return fail_last(why, error);
}

// The finished new file, on the disk, takes the target's place in one rename in the
// same folder: the target is either replaced whole or left as it was.
bool put_in_place(FileHandle& file, const Target& target, std::error_code* why) {
  if (injected(FileStep::kFlush) || !FlushFileBuffers(file.get())) return discard(file, why, GetLastError());
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD wanted =
      target.exists && (target.attributes & kKept) != 0 ? target.attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  if (target.exists) set_attributes(file.get(), wanted);
  if (injected(FileStep::kRename) || !rename_onto(file.get(), target.path))
    return discard(file, why, GetLastError());
  file.close();
  // Wine drops them on the rename.
  if (target.exists && GetFileAttributesW(target.path.c_str()) != wanted)
    SetFileAttributesW(target.path.c_str(), wanted);
  return true;
}

// The full path of a file to replace, or nothing when it names none.
std::optional<std::wstring> writable_path(const std::wstring& path, std::error_code* why) {
  if (path.empty()) return fail_last(why, ERROR_PATH_NOT_FOUND), std::nullopt;
  std::wstring full = full_path(path);
  if (full.empty()) return fail_last(why, ERROR_INVALID_NAME), std::nullopt;
  if (is_device(full)) return fail(why, make_error_code(FileError::kNotRegularFile)), std::nullopt;
  return full;
}

}  // namespace

std::optional<std::string> read_whole_file(const std::string& path, std::error_code* why) {
  const std::wstring full = full_path(widen(path));
  if (full.empty()) return fail_last(why, ERROR_INVALID_NAME), std::nullopt;
  if (is_device(full)) return fail(why, make_error_code(FileError::kNotRegularFile)), std::nullopt;
  FileHandle file(
      CreateFileW(full.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return fail_last(why), std::nullopt;
  if (GetFileType(file.get()) != FILE_TYPE_DISK) {
    return fail(why, make_error_code(FileError::kNotRegularFile)), std::nullopt;
  }
  std::string data;
  if (!read_rest(file.get(), data, why)) return std::nullopt;
  return data;
}

std::optional<std::string> foreign_link(const std::string&) { return std::nullopt; }

bool replace_file(const std::string& path, std::string_view data, std::error_code* why) {
  if (path.empty()) return fail_last(why, ERROR_PATH_NOT_FOUND);
  const auto full = writable_path(widen(path), why);
  if (!full) return false;
  Target target;
  if (!find_target(*full, target, why)) return false;
  if (target.in_place) return write_in_place(target.path, data, why);

  FileHandle file(INVALID_HANDLE_VALUE);
  std::wstring temp;
  DWORD error = ERROR_SUCCESS;
  if (!create_temp(target, file, temp, error)) {
    // Only a folder that refuses new files sends the write in place; on a full disk
    // or quota the in-place write would be the one to fail.
    if (target.exists && error == ERROR_ACCESS_DENIED) return write_in_place(target.path, data, why);
    return fail_last(why, error);
  }
  // Before any byte is written, so the text never sits under a wider access list.
  if (target.exists && !copy_security(file.get(), temp, target.security)) {
    delete_open_file(file.get());
    file.close();
    return write_in_place(target.path, data, why);
  }
  if (!write_all(file.get(), data)) return discard(file, why, GetLastError());
  return put_in_place(file, target, why);
}

bool edit_file_whole(const std::wstring& path, const CopyEditor& edit, std::error_code* why) {
  const auto full = writable_path(path, why);
  if (!full) return false;
  Target target;
  if (!find_target(*full, target, why)) return false;
  std::string text;
  if (target.exists) {
    FileHandle reader(CreateFileW(target.path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!reader.valid()) return fail_last(why);
    if (!read_rest(reader.get(), text, why)) return false;
  }

  FileHandle file(INVALID_HANDLE_VALUE);
  std::wstring temp;
  DWORD error = ERROR_SUCCESS;
  if (!create_temp(target, file, temp, error)) return fail_last(why, error);
  // The copy must hold the text to be edited; one that cannot be given the file's
  // owner and access list only lends its finished text to the file itself.
  bool in_place = target.in_place;
  if (target.exists && !in_place && !copy_security(file.get(), temp, target.security)) in_place = true;
  if (!write_all(file.get(), text)) return discard(file, why, GetLastError());
  // The editor opens the copy by name.
  file.close();
  const bool edited = edit(plain_path(temp));
  file.reset(CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = GetLastError();
    DeleteFileW(temp.c_str());
    return fail_last(why, error);
  }
  if (!edited) {
    delete_open_file(file.get());
    return fail(why, make_error_code(FileError::kEditFailed));
  }
  if (!in_place) return put_in_place(file, target, why);
  if (injected(FileStep::kFlush) || !FlushFileBuffers(file.get())) return discard(file, why, GetLastError());
  std::string finished;
  const bool written = read_rest(file.get(), finished, why) && write_in_place(target.path, finished, why);
  delete_open_file(file.get());
  return written;
}

}  // namespace filesafe
