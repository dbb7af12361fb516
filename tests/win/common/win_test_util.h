#pragma once
// Helpers for tests that run under Wine.
#include <windows.h>
#include <wininet.h>

#include <psapi.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
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

inline std::string sim_request_log() {
  const char* dir = std::getenv("KN_SIM_DIR");
  if (!dir) return {};
  std::ifstream in(wine_path(std::string(dir) + "/requests.log"), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A fresh empty folder under the temp directory.
inline std::string make_temp_folder(const std::string& tag) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "kn_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                    std::to_string(GetTickCount());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
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

inline bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace kn::test
