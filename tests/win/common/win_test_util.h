#pragma once
// Small helpers for tests that run under Wine: paths, the simulator, window texts,
// resource counts. Waiting lives in wait.h, the real program in program.h.
// clang-format off
#include <windows.h>
#include <psapi.h>
#include <wininet.h>
// clang-format on

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace kn::test {

// A Linux path as Wine's Z: drive sees it.
inline std::string wine_path(std::string unix_path) {
  for (char& c : unix_path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + unix_path;
}

// "http://127.0.0.1:PORT" for the port the ctest fixture's simulator wrote into this
// file of its state folder, or empty.
inline std::string sim_url_from(const char* port_file) {
  const char* dir = std::getenv("KN_SIM_DIR");
  if (!dir) return {};
  std::ifstream in(wine_path(std::string(dir) + "/" + port_file));
  int port = 0;
  if (!(in >> port)) return {};
  return "http://127.0.0.1:" + std::to_string(port);
}

// Base address of the simulator started by the ctest fixture, or empty.
inline std::string sim_base_url() { return sim_url_from("sim.port"); }

// The simulator's second port, which /_sim/outage/start takes down (connection refused).
inline std::string sim_outage_base_url() { return sim_url_from("outage.port"); }

// A port that takes connections and never answers a TLS hello (as https://).
inline std::string sim_silent_tls_url() {
  const std::string http = sim_url_from("silent-tls.port");
  return http.empty() ? http : "https" + http.substr(4);
}

// GET on the simulator's main port; the body, or empty on any failure. Needs wininet.
inline std::string sim_get(const std::string& path) {
  std::string body;
  HINTERNET session = InternetOpenA("kn-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) return body;
  HINTERNET req = InternetOpenUrlA(session, (sim_base_url() + path).c_str(), nullptr, 0,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (req) {
    char buf[1024];
    DWORD got = 0;
    while (InternetReadFile(req, buf, sizeof buf, &got) && got > 0) body.append(buf, got);
    InternetCloseHandle(req);
  }
  InternetCloseHandle(session);
  return body;
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline int count_of(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

inline std::string sim_request_log() {
  const char* dir = std::getenv("KN_SIM_DIR");
  if (!dir) return {};
  return read_file(wine_path(std::string(dir) + "/requests.log"));
}

// Listener requests for this station that the simulator has logged so far.
inline int requests_for(const std::string& station) {
  return count_of(sim_request_log(), "GET /station/" + station + "/listeners\n");
}

// Asks the simulator's control port, e.g. "/_sim/outage/start".
// Whether the simulator logged line `first` (without its line break) and, if ever,
// `later` only after it, both after the log's first `since` bytes: the order of
// events, whatever the machine's speed.
inline bool logged_before(const std::string& first, const std::string& later, size_t since = 0) {
  std::string log(1, '\n');
  const std::string all = sim_request_log();
  if (since > 0 && since <= all.size()) since = all.rfind('\n', since - 1) + 1;
  log += all.substr(since <= all.size() ? since : all.size());
  const auto at = [&log](const std::string& line) {
    std::string whole(1, '\n');
    whole += line;
    whole += '\n';
    return log.find(whole);
  };
  const size_t a = at(first), b = at(later);
  return a != std::string::npos && (b == std::string::npos || a < b);
}

inline bool sim_control(const std::string& path) { return !sim_get(path).empty(); }

// A fresh empty folder under the temp directory.
inline std::string make_temp_folder(const std::string& tag) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "kn_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(GetTickCount());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// Window text through WM_GETTEXT, which also reaches controls of other processes
// (GetWindowText does not).
inline std::wstring window_text(HWND h) {
  const LRESULT length = SendMessageW(h, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT got = SendMessageW(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(got));
  return text;
}

inline std::wstring class_name(HWND h) {
  wchar_t name[128] = {};
  GetClassNameW(h, name, 128);
  return name;
}

// Lines of a text as the overlay joins them (CR LF); an empty text has none.
inline int line_count(const std::wstring& text) {
  if (text.empty()) return 0;
  int n = 1;
  for (size_t p = text.find(L"\r\n"); p != std::wstring::npos; p = text.find(L"\r\n", p + 2)) ++n;
  return n;
}

// A text for a failure message: UTF-8, quoted, line breaks spelled out.
inline std::string shown(const std::wstring& text) {
  std::string out = "\"";
  for (wchar_t c : text) {
    if (c == L'\r') {
      out += "\\r";
    } else if (c == L'\n') {
      out += "\\n";
    } else {
      char utf8[8];
      const int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, utf8, sizeof utf8, nullptr, nullptr);
      out.append(utf8, n > 0 ? static_cast<size_t>(n) : 0);
    }
  }
  return out + "\"";
}

inline int height_of(HWND w) {
  RECT r{};
  GetWindowRect(w, &r);
  return r.bottom - r.top;
}

// DPI awareness (0 unaware, 1 system, 2 per monitor) of a window, or of this thread
// for a null one; -1 where the system has no awareness per window (before Windows 10).
inline int dpi_awareness(HWND window = nullptr) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using ContextOfWindow = HANDLE(WINAPI*)(HWND);
  using ContextOfThread = HANDLE(WINAPI*)();
  using AwarenessOf = int(WINAPI*)(HANDLE);
  const auto of_window = reinterpret_cast<ContextOfWindow>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetWindowDpiAwarenessContext")));
  const auto of_thread = reinterpret_cast<ContextOfThread>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetThreadDpiAwarenessContext")));
  const auto awareness = reinterpret_cast<AwarenessOf>(
      reinterpret_cast<void*>(GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext")));
  if (!of_window || !of_thread || !awareness) return -1;
  return awareness(window ? of_window(window) : of_thread());
}

// Live GDI objects of this process. GetGuiResources is a stub under Wine; there
// every valid handle value below 0x10000 answers GetObjectType.
inline int gdi_object_count() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll && GetProcAddress(ntdll, "wine_get_version")) {
    int n = 0;
    for (uintptr_t i = 1; i <= 0xFFFF; ++i)
      if (GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0) ++n;
    return n;
  }
  return static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

// Committed private bytes of this process (Wine fills PagefileUsage, not
// PrivateUsage; on Windows the two are the same). Needs psapi.
inline size_t private_bytes() {
  PROCESS_MEMORY_COUNTERS pmc{};
  pmc.cb = sizeof pmc;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc)) return 0;
  return pmc.PagefileUsage;
}

inline BOOL CALLBACK collect_child(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

// Every child window, at any depth.
inline std::vector<HWND> children(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, collect_child, reinterpret_cast<LPARAM>(&all));
  return all;
}

// The names in a folder, without "." and "..".
inline std::set<std::string> names_in(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") names.insert(name);
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

struct WindowsOfClass {
  const char* cls;
  std::vector<HWND> windows;
};

inline BOOL CALLBACK collect_of_class(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<WindowsOfClass*>(lp);
  char name[64] = "";
  GetClassNameA(w, name, sizeof name);
  if (std::string(name) == f->cls) f->windows.push_back(w);
  return TRUE;
}

// Top-level windows of a class, of any process, visible or not.
inline std::vector<HWND> top_windows(const char* cls) {
  WindowsOfClass found{cls, {}};
  EnumWindows(collect_of_class, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

// The tray balloons on screen now (shown by the shell's process, so their text
// cannot be read from here).
inline std::set<HWND> visible_balloons() {
  std::set<HWND> shown;
  for (HWND w : top_windows("tooltips_class32")) {
    if (IsWindowVisible(w) && (GetWindowLongA(w, GWL_STYLE) & 0x40 /* TTS_BALLOON */)) shown.insert(w);
  }
  return shown;
}

inline bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The history file of this month for a station whose name needs no making safe.
inline std::string history_file(const std::string& program_folder, const std::string& station) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  char month[16];
  std::snprintf(month, sizeof month, "_%04u-%02u.csv", unsigned{now.wYear}, unsigned{now.wMonth});
  return program_folder + "\\hoerer_verlauf\\" + station + month;
}

}  // namespace kn::test
