// Inivault's cipher: unscramble undoes scramble for every key and text, on strings, on
// single blocks and on files.
//
// Input: the first byte is the key length (0..255, as far as bytes remain), then the key,
// then the text. The key may be empty: the string functions then leave the text alone and
// the file function refuses.
#include "cipher.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "check.h"
#include "file_cipher.h"
#include "file_io.h"

namespace {

std::uint32_t load(std::string_view s, std::size_t at) {
  std::uint32_t w = 0;
  for (std::size_t i = 0; i < 4; ++i) w = w << 8 | static_cast<unsigned char>(s[at + i]);
  return w;
}

void check_blocks(const inivault::Cipher& cipher, const std::string& text) {
  for (std::size_t at = 0; at + 8 <= text.size() && at < 64; at += 8) {
    const std::uint32_t l0 = load(text, at), r0 = load(text, at + 4);
    std::uint32_t l = l0, r = r0;
    cipher.encrypt(l, r);
    cipher.decrypt(l, r);
    FUZZ_CHECK(l == l0 && r == r0);
    cipher.decrypt(l, r);
    cipher.encrypt(l, r);
    FUZZ_CHECK(l == l0 && r == r0);
  }
}

void check_strings(std::string_view key, const std::string& text) {
  std::string data = text;
  inivault::scramble(data, key);
  FUZZ_CHECK(data.size() == text.size());
  if (key.empty()) {
    FUZZ_CHECK(data == text);
    inivault::unscramble(data, key);
    FUZZ_CHECK(data == text);
    return;
  }
  // Only whole 8-byte blocks are scrambled.
  const std::size_t whole = text.size() / 8 * 8;
  FUZZ_CHECK(data.compare(whole, std::string::npos, text, whole, std::string::npos) == 0);

  const inivault::Cipher cipher(key);
  std::string again = text;
  cipher.scramble(again);
  FUZZ_CHECK(again == data);  // one key, one result

  // Chained from a fixed start: a prefix of whole blocks scrambles to a prefix.
  if (whole >= 8) {
    std::string prefix = text.substr(0, whole - 8);
    cipher.scramble(prefix);
    FUZZ_CHECK(data.compare(0, prefix.size(), prefix) == 0);
  }

  std::string back = data;
  inivault::unscramble(back, key);
  FUZZ_CHECK(back == text);
  cipher.unscramble(again);
  FUZZ_CHECK(again == text);

  // The other way round too: scramble undoes unscramble.
  std::string reverse = text;
  cipher.unscramble(reverse);
  cipher.scramble(reverse);
  FUZZ_CHECK(reverse == text);

  check_blocks(cipher, text);
}

void check_file(std::string_view key, const std::string& text) {
  const std::string path = kn::fuzz::scratch_path("cipher");
  FUZZ_CHECK(inivault::replace_file(path, text));
  using inivault::Direction;
  if (key.empty()) {
    FUZZ_CHECK(!inivault::transform_file(path, key, Direction::kScramble));
    FUZZ_CHECK(inivault::read_whole_file(path) == text);
  } else {
    FUZZ_CHECK(inivault::transform_file(path, key, Direction::kScramble));
    std::string expected = text;
    inivault::scramble(expected, key);
    FUZZ_CHECK(inivault::read_whole_file(path) == expected);
    FUZZ_CHECK(inivault::transform_file(path, key, Direction::kUnscramble));
    FUZZ_CHECK(inivault::read_whole_file(path) == text);
  }
  std::remove(path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t key_len = std::min<std::size_t>(data[0], size - 1);
  const std::string key(reinterpret_cast<const char*>(data + 1), key_len);
  const std::string text(reinterpret_cast<const char*>(data + 1 + key_len), size - 1 - key_len);
  check_strings(key, text);
  // Files cost a few system calls; every eighth input is enough to keep the path covered.
  if ((size & 7) == 0) check_file(key, text);
  return 0;
}
