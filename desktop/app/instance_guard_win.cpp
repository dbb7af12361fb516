#include "app/instance_guard_win.h"

#include <vector>

#include "app/messages.h"
#include "win/ansi_win.h"

namespace kn {

uint64_t folder_hash(const std::string& folder) {
  std::wstring path = utf8_to_wide(folder);
  std::wstring full(32768, L'\0');
  const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (n > 0 && n < full.size()) path.assign(full.data(), n);
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  // The file system's own case rules: "C:\Programme" and "c:\programme" are one folder.
  if (!path.empty()) {
    std::vector<wchar_t> lower(path.size() * 2 + 1);
    const int got =
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, path.c_str(), static_cast<int>(path.size()),
                      lower.data(), static_cast<int>(lower.size()), nullptr, nullptr, 0);
    if (got > 0) path.assign(lower.data(), static_cast<size_t>(got));
  }
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const wchar_t c : path) {
    for (const unsigned byte : {static_cast<unsigned>(c & 0xFF), static_cast<unsigned>((c >> 8) & 0xFF)}) {
      hash ^= byte;
      hash *= 1099511628211ull;
    }
  }
  return hash;
}

std::wstring InstanceGuard::mutex_name(uint64_t hash) {
  wchar_t name[64];
  wsprintfW(name, L"Local\\Klangnetz_DesktopTool-%08lx%08lx", static_cast<unsigned long>(hash >> 32),
            static_cast<unsigned long>(hash & 0xFFFFFFFF));
  return name;
}

InstanceGuard::InstanceGuard(const std::string& folder) : hash_(folder_hash(folder)) {
  mutex_.reset(CreateMutexW(nullptr, FALSE, mutex_name(hash_).c_str()));
  // A first copy at a higher integrity level lets this one see its mutex but not open it.
  another_ = mutex_ ? GetLastError() == ERROR_ALREADY_EXISTS : GetLastError() == ERROR_ACCESS_DENIED;
}

UINT InstanceGuard::message() {
  static const UINT id = RegisterWindowMessageW(L"Klangnetz_DesktopTool_AlreadyRunning");
  return id;
}

namespace {

struct Search {
  WPARAM argument;
  std::wstring main_class;
  bool found = false;
};

BOOL CALLBACK ask_window(HWND window, LPARAM lp) {
  auto* search = reinterpret_cast<Search*>(lp);
  wchar_t cls[64] = L"";
  GetClassNameW(window, cls, 64);
  if (search->main_class != cls) return TRUE;
  DWORD_PTR answer = 0;
  // Any program may use the class name; only the copy of this folder gives the answer.
  if (SendMessageTimeoutW(window, InstanceGuard::message(), search->argument, 0,
                          SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &answer) &&
      static_cast<LRESULT>(answer) == InstanceGuard::kAnswer) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool InstanceGuard::tell_running_copy() const {
  Search search{argument(hash_), utf8_to_wide(kMainWindowClass)};
  // The first copy may still be starting: its window comes within moments.
  for (int attempt = 0; attempt < 20 && !search.found; ++attempt) {
    if (attempt > 0) Sleep(250);
    EnumWindows(ask_window, reinterpret_cast<LPARAM>(&search));
  }
  return search.found;
}

}  // namespace kn
