#include "cipher.h"

#include <cstring>
#include <utility>

#include "pi_tables.h"

namespace inivault {

namespace {

std::uint32_t load_be(const std::string& data, std::size_t at) {
  return std::uint32_t{static_cast<unsigned char>(data[at])} << 24 |
         std::uint32_t{static_cast<unsigned char>(data[at + 1])} << 16 |
         std::uint32_t{static_cast<unsigned char>(data[at + 2])} << 8 |
         std::uint32_t{static_cast<unsigned char>(data[at + 3])};
}

void store_be(std::string& data, std::size_t at, std::uint32_t word) {
  data[at] = static_cast<char>(word >> 24);
  data[at + 1] = static_cast<char>(word >> 16);
  data[at + 2] = static_cast<char>(word >> 8);
  data[at + 3] = static_cast<char>(word);
}

}  // namespace

Cipher::Cipher(std::string_view key) {
  std::memcpy(p_, kInitialP, sizeof p_);
  std::memcpy(s_, kInitialS, sizeof s_);

  // Each key word skips its first byte and leaves its lowest byte zero. Passes
  // over P repeat until one has taken the key's last byte, so a key longer than
  // 72 bytes is used whole.
  const std::size_t n = key.size();
  std::size_t pos = 0;
  bool took_last = false;
  while (!took_last) {
    for (auto& p : p_) {
      std::uint32_t word = 0;
      for (int b = 0; b < 4; ++b) {
        if (b > 0) word |= std::uint32_t{static_cast<unsigned char>(key[pos])} << (8 * (4 - b));
        took_last = took_last || pos == n - 1;
        pos = (pos + 1) % n;
      }
      p ^= word;
    }
  }

  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (int i = 0; i < 18; i += 2) {
    encrypt(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      encrypt(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

std::uint32_t Cipher::round(std::uint32_t x) const {
  return (s_[3][x >> 24] + s_[2][(x >> 16) & 0xFF]) ^ (s_[1][(x >> 8) & 0xFF] + s_[0][x & 0xFF]);
}

// Sixteen rounds, two per step so the halves trade roles instead of being swapped;
// written out, so the compiler keeps both halves in registers throughout.
void Cipher::encrypt(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t a = left;
  std::uint32_t b = right;
  auto rounds = [&](int i) {
    a ^= p_[i];
    b ^= round(a) ^ p_[i + 1];
    a ^= round(b);
  };
  rounds(0);
  rounds(2);
  rounds(4);
  rounds(6);
  rounds(8);
  rounds(10);
  rounds(12);
  rounds(14);
  left = b ^ p_[17];
  right = a ^ p_[16];
}

void Cipher::decrypt(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t a = left;
  std::uint32_t b = right;
  auto rounds = [&](int i) {
    a ^= p_[i];
    b ^= round(a) ^ p_[i - 1];
    a ^= round(b);
  };
  rounds(17);
  rounds(15);
  rounds(13);
  rounds(11);
  rounds(9);
  rounds(7);
  rounds(5);
  rounds(3);
  left = b ^ p_[0];
  right = a ^ p_[1];
}

void Cipher::scramble(std::string& data) const {
  std::uint32_t chain_left = 0;
  std::uint32_t chain_right = 0;
  for (std::size_t at = 0; data.size() - at >= 8; at += 8) {
    std::uint32_t left = load_be(data, at) ^ chain_left;
    std::uint32_t right = load_be(data, at + 4) ^ chain_right;
    encrypt(left, right);
    store_be(data, at, left);
    store_be(data, at + 4, right);
    chain_left = left;
    chain_right = right;
  }
}

void Cipher::unscramble(std::string& data) const {
  std::uint32_t chain_left = 0;
  std::uint32_t chain_right = 0;
  for (std::size_t at = 0; data.size() - at >= 8; at += 8) {
    const std::uint32_t block_left = load_be(data, at);
    const std::uint32_t block_right = load_be(data, at + 4);
    std::uint32_t left = block_left;
    std::uint32_t right = block_right;
    decrypt(left, right);
    store_be(data, at, left ^ chain_left);
    store_be(data, at + 4, right ^ chain_right);
    chain_left = block_left;
    chain_right = block_right;
  }
}

void scramble(std::string& data, std::string_view key) {
  if (key.empty()) return;
  Cipher(key).scramble(data);
}

void unscramble(std::string& data, std::string_view key) {
  if (key.empty()) return;
  Cipher(key).unscramble(data);
}

}  // namespace inivault
