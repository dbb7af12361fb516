#pragma once
// Helpers for tests that run under Wine.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace kn::test {

// A Linux path as Wine's Z: drive sees it.
inline std::string wine_path(std::string unix_path) {
  for (char& c : unix_path) {
    if (c == '/') c = '\\';
  }
  return "Z:" + unix_path;
}

// Base address of the simulator started by the ctest fixture, or empty.
inline std::string sim_base_url() {
  const char* dir = std::getenv("KN_SIM_DIR");
  if (!dir) return {};
  std::ifstream in(wine_path(std::string(dir) + "/sim.port"));
  int port = 0;
  if (!(in >> port)) return {};
  return "http://127.0.0.1:" + std::to_string(port);
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

inline bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace kn::test
