#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace inivault {

// Key under which scrambled settings files are read.
inline constexpr std::string_view kFileKey = "MOSSVEKTRPreferences";

// A Blowfish-shaped 64-bit block cipher. The round function and the way key bytes
// become key words differ from Blowfish; existing scrambled data depends on both.
class Cipher {
 public:
  // The key must not be empty.
  explicit Cipher(std::string_view key);

  void encrypt(std::uint32_t& left, std::uint32_t& right) const;
  void decrypt(std::uint32_t& left, std::uint32_t& right) const;

  // Chained mode from a zero start value over the complete 8-byte blocks only;
  // a trailing partial block is left as it is.
  void scramble(std::string& data) const;
  void unscramble(std::string& data) const;

 private:
  std::uint32_t round(std::uint32_t x) const;

  std::uint32_t p_[18];
  std::uint32_t s_[4][256];
};

// An empty key leaves the data unchanged.
void scramble(std::string& data, std::string_view key);
void unscramble(std::string& data, std::string_view key);

}  // namespace inivault
