#include "platform/settings_store_win.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

std::string read_ini_value(const std::string& section, const std::string& key, const std::string& def,
                           const std::string& file) {
  // A value that fills the buffer may have been cut: grow and read again, so a long
  // station list comes back whole (a cut one would be written back cut on saving).
  const std::string a_section = utf8_to_ansi(section), a_key = utf8_to_ansi(key), a_def = utf8_to_ansi(def),
                    a_file = utf8_to_ansi(file);
  constexpr DWORD kLimit = 16 * 1024 * 1024;
  for (DWORD size = 1024;; size *= 4) {
    std::vector<char> buffer(size, '\0');
    DWORD n = GetPrivateProfileStringA(a_section.c_str(), a_key.c_str(), a_def.c_str(), buffer.data(), size,
                                       a_file.c_str());
    if (n + 1 < size || size >= kLimit) return ansi_to_utf8(std::string(buffer.data(), n));
  }
}

bool write_ini_value(const std::string& section, const std::string& key, const std::string& value,
                     const std::string& file) {
  return WritePrivateProfileStringA(utf8_to_ansi(section).c_str(), utf8_to_ansi(key).c_str(),
                                    utf8_to_ansi(value).c_str(), utf8_to_ansi(file).c_str()) != FALSE;
}

namespace {

SaveFaultHook& save_fault_hook() {
  static SaveFaultHook hook;
  return hook;
}

// True (with the last error set) when a test wants this step to fail.
bool injected(SaveStep step) {
  if (!save_fault_hook()) return false;
  const DWORD error = save_fault_hook()(step);
  if (error == 0) return false;
  SetLastError(error);
  return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr SECURITY_INFORMATION kOwnerGroup = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;
constexpr SECURITY_INFORMATION kSecurity = kOwnerGroup | DACL_SECURITY_INFORMATION;
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool starts_with(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

// Where the open file or folder really is, links resolved, as a plain path ("C:\...",
// "\\server\share\..."); empty when that cannot be told.
std::wstring final_path(HANDLE handle) {
  const DWORD need = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (need == 0) return {};
  std::wstring path(need, L'\0');
  const DWORD got =
      GetFinalPathNameByHandleW(handle, path.data(), need, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (got == 0 || got >= need) return {};
  path.resize(got);
  if (starts_with(path, L"\\\\?\\UNC\\")) return L"\\\\" + path.substr(8);
  if (starts_with(path, L"\\\\?\\")) return path.substr(4);
  return path;
}

std::vector<char> security_of(HANDLE file) {
  DWORD need = 0;
  GetKernelObjectSecurity(file, kSecurity, nullptr, 0, &need);
  if (need == 0) return {};
  std::vector<char> descriptor(need);
  if (!GetKernelObjectSecurity(file, kSecurity, descriptor.data(), need, &need)) return {};
  return descriptor;
}

// Gives the copy the file's owner, group and access list before any text is in it,
// so saving neither hands the file to the caller nor opens it to whomever the folder
// lets read new files. Setting what the copy already has is skipped: Wine maps access
// lists to mode bits and back, and setting an owner needs a right callers rarely have.
bool take_security(HANDLE copy, const std::wstring& copy_path, std::vector<char>& old) {
  if (injected(SaveStep::kSecurity)) return false;
  std::vector<char> made = security_of(copy);
  if (made.empty()) return false;
  PSID owner_old = nullptr, owner_made = nullptr, group_old = nullptr, group_made = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(old.data(), &owner_old, &defaulted) ||
      !GetSecurityDescriptorOwner(made.data(), &owner_made, &defaulted) ||
      !GetSecurityDescriptorGroup(old.data(), &group_old, &defaulted) ||
      !GetSecurityDescriptorGroup(made.data(), &group_made, &defaulted)) {
    return false;
  }
  const auto same = [](PSID a, PSID b) { return a == b || (a && b && EqualSid(a, b)); };
  if (!same(owner_old, owner_made) || !same(group_old, group_made)) {
    unique_file owner(CreateFileW(copy_path.c_str(), WRITE_OWNER, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!owner || !SetKernelObjectSecurity(owner.get(), kOwnerGroup, old.data())) return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control_old = 0, control_made = 0;
  DWORD revision = 0;
  BOOL present_old = FALSE, present_made = FALSE;
  PACL acl_old = nullptr, acl_made = nullptr;
  const bool same_acl =
      GetSecurityDescriptorControl(old.data(), &control_old, &revision) &&
      GetSecurityDescriptorControl(made.data(), &control_made, &revision) &&
      GetSecurityDescriptorDacl(old.data(), &present_old, &acl_old, &defaulted) &&
      GetSecurityDescriptorDacl(made.data(), &present_made, &acl_made, &defaulted) &&
      (control_old & SE_DACL_PROTECTED) == (control_made & SE_DACL_PROTECTED) &&
      present_old == present_made &&
      (acl_old == nullptr || acl_made == nullptr
           ? acl_old == acl_made
           : acl_old->AclSize == acl_made->AclSize && std::memcmp(acl_old, acl_made, acl_old->AclSize) == 0);
  return same_acl || SetKernelObjectSecurity(copy, DACL_SECURITY_INFORMATION, old.data());
}

bool write_all(HANDLE file, const std::vector<char>& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const std::size_t left = data.size() - done;
    DWORD written = 0;
    if (!WriteFile(file, data.data() + done, left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left),
                   &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool read_all(HANDLE file, std::vector<char>& data) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > 0x40000000) return false;
  data.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD got = 0;
    if (!ReadFile(file, data.data() + done, static_cast<DWORD>(data.size() - done), &got, nullptr) ||
        got == 0)
      return false;
    done += got;
  }
  return true;
}

bool rename_onto(HANDLE file, const std::wstring& target) {
  // A native path: "\??\C:\..." or "\??\UNC\server\...".
  const std::wstring native =
      starts_with(target, L"\\\\") ? L"\\??\\UNC\\" + target.substr(2) : L"\\??\\" + target;
  const std::size_t bytes = native.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, native.data(), bytes);
  return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size())) != 0;
}

void delete_open_file(HANDLE file) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = TRUE;
  SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
}

// Writes the finished copy's bytes over the file itself, which keeps whatever the
// copy could not be given; the file is grown first, so a full disk leaves it whole.
bool write_in_place(const std::wstring& target, const std::vector<char>& data) {
  unique_file file(CreateFileW(target.c_str(), GENERIC_WRITE | GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER old{}, size{}, start{};
  size.QuadPart = static_cast<LONGLONG>(data.size());
  if (!GetFileSizeEx(file.get(), &old)) return false;
  if (size.QuadPart > old.QuadPart &&
      (!SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))) {
    SetFilePointerEx(file.get(), old, nullptr, FILE_BEGIN);
    SetEndOfFile(file.get());
    return false;
  }
  return SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN) && write_all(file.get(), data) &&
         SetEndOfFile(file.get()) && FlushFileBuffers(file.get());
}

}  // namespace

void set_save_fault_hook(SaveFaultHook hook) { save_fault_hook() = std::move(hook); }

bool write_ini_keys_whole(const std::vector<std::pair<std::string, std::string>>& keys,
                          const std::string& file, const IniKeyWriter& write) {
  const std::wstring given = utf8_to_wide(file);
  DWORD attributes = GetFileAttributesW(given.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  std::wstring target;
  std::vector<char> old_text, security;
  bool write_over = false;  // the finished copy's text goes over the file itself
  if (exists) {
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) return false;
    // Held open without sharing by another program, or not ours to write: it could
    // not be replaced either. Opened through a link, this is the file the link names.
    unique_file probe(CreateFileW(given.c_str(), GENERIC_WRITE | GENERIC_READ | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!probe || GetFileType(probe.get()) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(probe.get(), &info))
      return false;
    // The attributes of the file a link names, not the link's.
    attributes = info.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_READONLY) return false;
    target = final_path(probe.get());
    if (target.empty() || !read_all(probe.get(), old_text)) return false;
    security = security_of(probe.get());
    // A rename would leave the file's other names on the old text, and a file whose
    // owner and access list cannot be read could not keep them.
    write_over = info.nNumberOfLinks > 1 || security.empty();
  } else {
    // A new file goes where its folder really is, links resolved.
    std::wstring full(MAX_PATH, L'\0');
    wchar_t* name = nullptr;
    const DWORD got = GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    if (got == 0 || got >= full.size() || name == nullptr) return false;
    const std::wstring leaf(name);
    full.resize(static_cast<std::size_t>(name - full.data()));
    unique_file folder(
        CreateFileW(full.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return false;
    target = final_path(folder.get());
    if (target.empty()) return false;
    if (target.back() != L'\\') target += L'\\';
    target += leaf;
  }

  // A name of its own, made only if it is new: another instance saving at the same
  // moment has another copy, and neither can delete or fill the other's.
  static std::atomic<unsigned> counter{0};
  std::wstring copy;
  unique_file made;
  for (int attempt = 0; attempt < 100 && !made; ++attempt) {
    copy =
        target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".neu";
    if (injected(SaveStep::kCreateCopy)) return false;
    made.reset(CreateFileW(copy.c_str(), GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, FILE_SHARE_READ,
                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!made && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  if (!made) return false;
  if (exists && !write_over && !take_security(made.get(), copy, security)) write_over = true;
  if (!write_all(made.get(), old_text)) {
    delete_open_file(made.get());
    return false;
  }
  made.reset();

  const std::string copy_utf8 = wide_to_utf8(copy);
  bool ok = true;
  for (const auto& [key, value] : keys) {
    if (!write(key, value, copy_utf8)) {
      ok = false;
      break;
    }
  }
  // Profile writes may be cached: this one flushes the copy's.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, utf8_to_ansi(copy_utf8).c_str());

  unique_file finished(CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!finished) {
    DeleteFileW(copy.c_str());
    return false;
  }
  // On the disk before it takes the file's place: a rename alone is not, and a power
  // cut could then leave an empty settings file.
  ok = ok && !injected(SaveStep::kFlush) && FlushFileBuffers(finished.get());
  if (ok && write_over) {
    std::vector<char> text;
    ok = read_all(finished.get(), text) && write_in_place(target, text);
    delete_open_file(finished.get());
    return ok;
  }
  if (ok && exists) {
    FILE_BASIC_INFO info{};  // zero times: left as they are
    info.FileAttributes =
        (attributes & kKeptAttributes) ? attributes & kKeptAttributes : FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(finished.get(), FileBasicInfo, &info, sizeof info);
  }
  ok = ok && !injected(SaveStep::kReplace) && rename_onto(finished.get(), target);
  if (!ok) {
    delete_open_file(finished.get());
    return false;
  }
  finished.reset();
  // Wine drops them on the rename.
  if (exists && (attributes & kKeptAttributes) &&
      GetFileAttributesW(target.c_str()) != (attributes & kKeptAttributes))
    SetFileAttributesW(target.c_str(), attributes & kKeptAttributes);
  return true;
}

}  // namespace kn
