#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "inivault.h"

namespace ivtest {

namespace fs = std::filesystem;

// Takes ownership of a library string result.
inline std::u16string take(inivault_string text) {
  std::u16string out = text != nullptr ? std::u16string(text) : std::u16string();
  FreeString(text);
  return out;
}

// The result as bytes; only valid for results made of code points below 0x100.
inline std::string take_bytes(inivault_string text) {
  std::string out;
  for (const char16_t c : take(text)) out += static_cast<char>(c);
  return out;
}

inline void write_bytes(const fs::path& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

inline std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("inivault-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

}  // namespace ivtest
