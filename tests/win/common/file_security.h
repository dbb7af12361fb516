#pragma once
// Who a file belongs to, who may use it and which file a name leads to, for tests
// that check a write kept them.
#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

#include <string>
#include <vector>

namespace kn::test {

// Owner, group and access list as text, for comparing.
inline std::wstring security_text(const std::string& path) {
  constexpr SECURITY_INFORMATION parts =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD need = 0;
  GetFileSecurityA(path.c_str(), parts, nullptr, 0, &need);
  std::vector<char> descriptor(need);
  if (need == 0 || !GetFileSecurityA(path.c_str(), parts, descriptor.data(), need, &need))
    return L"unreadable";
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor.data(), SDDL_REVISION_1, parts, &text,
                                                            nullptr))
    return L"unconvertible";
  std::wstring out(text);
  LocalFree(text);
  return out;
}

inline std::wstring current_user_sid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
  DWORD need = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &need);
  std::vector<char> user(need);
  std::wstring out;
  LPWSTR text = nullptr;
  if (need != 0 && GetTokenInformation(token, TokenUser, user.data(), need, &need) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
    out = text;
    LocalFree(text);
  }
  CloseHandle(token);
  return out;
}

// Volume and index: two names of one file give the same.
inline std::string file_identity(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!known) return "unknown " + path;
  return std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
         std::to_string(info.nFileIndexLow);
}

// Gives the file an access list for the system and the caller only (under Wine that
// is the file's mode bits).
inline bool restrict_to_owner(const std::string& path) {
  const std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;" + current_user_sid() + L")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return false;
  const BOOL set = SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, descriptor);
  LocalFree(descriptor);
  return set != FALSE;
}

}  // namespace kn::test
