// The cipher through the library's C interface, held to vectors it wrote once; the
// tables it starts from are first proven with published Blowfish vectors.
#include "cipher.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "inivault.h"
#include "pi_tables.h"
#include "test_support.h"

namespace {

using ivtest::read_bytes;
using ivtest::take_bytes;
using ivtest::write_bytes;

constexpr const char* kFileKey = "MOSSVEKTRPreferences";

// Blowfish as published, to prove the tables the library starts from.
class PublishedBlowfish {
 public:
  explicit PublishedBlowfish(std::string_view key) {
    for (int i = 0; i < 18; ++i) p_[i] = inivault::kInitialP[i];
    for (int b = 0; b < 4; ++b) {
      for (int i = 0; i < 256; ++i) s_[b][i] = inivault::kInitialS[b][i];
    }
    std::size_t used = 0;
    for (auto& p : p_) {
      std::uint32_t word = 0;
      for (int k = 0; k < 4; ++k, ++used)
        word = (word << 8) | static_cast<std::uint8_t>(key[used % key.size()]);
      p ^= word;
    }

    std::uint32_t l = 0, r = 0;
    std::uint32_t* all[] = {p_, s_[0], s_[1], s_[2], s_[3]};
    const int sizes[] = {18, 256, 256, 256, 256};
    for (int t = 0; t < 5; ++t) {
      for (int i = 0; i < sizes[t]; i += 2) {
        encrypt(l, r);
        all[t][i] = l;
        all[t][i + 1] = r;
      }
    }
  }

  void encrypt(std::uint32_t& l, std::uint32_t& r) const {
    for (int i = 0; i < 16; ++i) {
      l ^= p_[i];
      r ^= f(l);
      std::swap(l, r);
    }
    std::swap(l, r);
    r ^= p_[16];
    l ^= p_[17];
  }

 private:
  std::uint32_t f(std::uint32_t x) const {
    const std::uint8_t a = x >> 24, b = (x >> 16) & 0xFF, c = (x >> 8) & 0xFF, d = x & 0xFF;
    return ((s_[0][a] + s_[1][b]) ^ s_[2][c]) + s_[3][d];
  }

  std::uint32_t p_[18];
  std::uint32_t s_[4][256];
};

std::string published_block(const std::string& key, std::uint32_t l, std::uint32_t r) {
  PublishedBlowfish(key).encrypt(l, r);
  char out[20];
  std::snprintf(out, sizeof out, "%08X%08X", static_cast<unsigned>(l), static_cast<unsigned>(r));
  return out;
}

std::string hex(const std::string& bytes) {
  std::string out;
  char two[3];
  for (const unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02X", c);
    out += two;
  }
  return out;
}

// Scrambles through SCr; returns the whole buffer, not the zero-cut result.
std::string scr(std::string text, const std::string& key) {
  FreeString(SCr(text.data(), key.c_str()));
  return text;
}

std::string sde(std::string text, const std::string& key) {
  FreeString(SDe(text.data(), key.c_str()));
  return text;
}

std::string sample_text(std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += static_cast<char>('!' + (i * 37 + i / 7) % 90);
  return text;
}

TEST(InivaultTables, ReproducePublishedBlowfishVectors) {
  EXPECT_EQ(published_block(std::string(8, '\0'), 0, 0), "4EF997456198DD78");
  EXPECT_EQ(published_block(std::string(8, '\xFF'), 0xFFFFFFFF, 0xFFFFFFFF), "51866FD5B85ECB8A");
  EXPECT_EQ(published_block("abcdefghijklmnopqrstuvwxyz", 0x424C4F57, 0x46495348), "324ED0FEF413A203");
}

// Vectors the library wrote once, for keys that take one, two and three passes over
// the key words; the last three bytes, a partial block, stay as they were.
TEST(InivaultCipher, GivesTheKnownVectorsForKeysOfEveryPassCount) {
  const std::string text = sample_text(27);
  ASSERT_EQ(text, "!Fk6[&Kq<a,QvAg2W\"Gl7](Mr=b");
  const std::pair<std::string, const char*> vectors[] = {
      {"k", "43DB1CE7DBD6CCC6EB811C0EFB0156034D29426ECBA57620723D62"},
      {"abcd", "776B50D645111574BEA8C911CBC443C6BA9EA6F0BD397F60723D62"},
      {kFileKey, "5AA7CD54A26DB0E9FEA276982E36A415BBED15A2469003F9723D62"},
      {sample_text(72), "841288AC3F86BAD9CB249D4B975C45BCF69A09D78DA8BD30723D62"},
      {sample_text(73), "A2A97D73CA5AAF696144F61F990C4DA45B0B3B81134D21CE723D62"},
      {sample_text(150), "B8DCE9668F6B13201DB2B54B0C88A32476C1A28586BE16B6723D62"},
  };
  for (const auto& [key, want] : vectors) {
    SCOPED_TRACE("key length " + std::to_string(key.size()));
    EXPECT_EQ(hex(scr(text, key)), want);
  }
}

TEST(InivaultCipher, ShortTextsComeBackUnchanged) {
  for (std::size_t n = 0; n <= 7; ++n) {
    std::string text = sample_text(n);
    const std::string original = text;
    EXPECT_EQ(take_bytes(SCr(text.data(), "key")), original);
    EXPECT_EQ(text, original);
    EXPECT_EQ(take_bytes(SDe(text.data(), "key")), original);
    EXPECT_EQ(text, original);
  }
}

TEST(InivaultCipher, OnlyCompleteBlocksChange) {
  const std::string text = "Hello, World";
  const std::string scrambled = scr(text, "secret");
  EXPECT_NE(scrambled.substr(0, 8), text.substr(0, 8));
  EXPECT_EQ(scrambled.substr(8), text.substr(8));
  EXPECT_EQ(scrambled.size(), text.size());
}

TEST(InivaultCipher, UnscrambleRestoresTextThatHasNoZeroByte) {
  const std::string text = sample_text(40);
  for (int i = 0; i < 100; ++i) {
    const std::string key = "secret" + std::to_string(i);
    const std::string scrambled = scr(text, key);
    if (scrambled.find('\0') != std::string::npos) continue;
    EXPECT_EQ(sde(scrambled, key), text);
    EXPECT_NE(sde(scrambled, key + "x"), text);
    return;
  }
  FAIL() << "every key gave a zero byte";
}

TEST(InivaultCipher, ResultIsCutAtFirstZeroByteOfScrambledText) {
  // Search for a text whose scrambled form holds a zero byte.
  for (int i = 0; i < 10000; ++i) {
    std::string text = "text" + std::to_string(100000 + i) + "padding";
    const std::string scrambled = scr(text, "secret");
    const auto zero = scrambled.find('\0');
    if (zero == std::string::npos) continue;
    const std::string result = take_bytes(SCr(text.data(), "secret"));
    EXPECT_EQ(result, scrambled.substr(0, zero));
    EXPECT_EQ(text, scrambled);
    return;
  }
  FAIL() << "no scrambled text with a zero byte found";
}

TEST(InivaultCipher, FirstByteOfEachKeyGroupHasNoEffect) {
  const std::string text = sample_text(24);
  EXPECT_EQ(scr(text, "Akey"), scr(text, "Zkey"));
  EXPECT_NE(scr(text, "Akey"), scr(text, "AkeY"));

  // The 73rd byte opens the second pass as the skipped byte of its first group.
  const std::string key = sample_text(73);
  std::string last_changed = key;
  last_changed[72] = '#';
  std::string earlier_changed = key;
  earlier_changed[71] = '#';
  EXPECT_EQ(scr(text, key), scr(text, last_changed));
  EXPECT_NE(scr(text, key), scr(text, earlier_changed));
  EXPECT_NE(scr(text, key), scr(text, key.substr(0, 72)));
}

TEST(InivaultCipher, EmptyOrNullKeyLeavesTextUnchanged) {
  std::string text = sample_text(16);
  const std::string original = text;
  EXPECT_EQ(take_bytes(SCr(text.data(), "")), original);
  EXPECT_EQ(take_bytes(SDe(text.data(), nullptr)), original);
  EXPECT_EQ(text, original);
  EXPECT_EQ(take_bytes(SCr(nullptr, "key")), "");
}

class InivaultFileCipher : public ::testing::Test {
 protected:
  ivtest::TempDir dir_;
};

TEST_F(InivaultFileCipher, RoundTripRestoresEveryByte) {
  std::string binary;
  for (int i = 0; i < 1003; ++i) binary += static_cast<char>((i * 131) % 256);
  for (const std::string& data : {std::string(), sample_text(5), sample_text(8), binary}) {
    const auto path = dir_ / "data.bin";
    write_bytes(path, data);
    ASSERT_EQ(FC(path.c_str(), kFileKey), 1);
    const std::string once = read_bytes(path);
    // A file's bytes take the cipher whose vectors are known, zero bytes and all.
    std::string want = data;
    inivault::scramble(want, kFileKey);
    EXPECT_EQ(once, want);
    if (data == sample_text(8)) {
      EXPECT_EQ(hex(once), "5AA7CD54A26DB0E9");
    }
    ASSERT_EQ(FD(path.c_str(), kFileKey), 1);
    EXPECT_EQ(read_bytes(path), data);

    if (data.size() >= 8) {
      ASSERT_EQ(FC(path.c_str(), kFileKey), 1);
      ASSERT_EQ(FC(path.c_str(), kFileKey), 1);
      EXPECT_NE(read_bytes(path), data);
      EXPECT_NE(read_bytes(path), once);
    } else {
      EXPECT_EQ(once, data);
    }
  }
}

TEST_F(InivaultFileCipher, FailuresLeaveFilesAlone) {
  const auto missing = dir_ / "missing.ini";
  EXPECT_EQ(FC(missing.c_str(), "key"), 0);
  EXPECT_EQ(FD(missing.c_str(), "key"), 0);
  EXPECT_FALSE(ivtest::fs::exists(missing));

  const auto path = dir_ / "plain.ini";
  write_bytes(path, sample_text(30));
  EXPECT_EQ(FC(path.c_str(), ""), 0);
  EXPECT_EQ(FD(path.c_str(), nullptr), 0);
  EXPECT_EQ(read_bytes(path), sample_text(30));

  EXPECT_EQ(FC(dir_.path().c_str(), "key"), 0);
}

TEST_F(InivaultFileCipher, RewriteKeepsModeAndLinksAndLeavesNoTemporaryFile) {
  namespace fs = ivtest::fs;
  const auto path = dir_ / "real.ini";
  const auto link = dir_ / "link.ini";
  write_bytes(path, sample_text(30));
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(path, link);

  ASSERT_EQ(FC(link.c_str(), "key"), 1);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(read_bytes(path), scr(sample_text(30), "key"));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2);
}

TEST_F(InivaultFileCipher, ReadOnlyFolderIsWrittenInPlace) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  namespace fs = ivtest::fs;
  const auto path = dir_ / "data.ini";
  write_bytes(path, sample_text(16));
  fs::permissions(dir_.path(), fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_EQ(FC(path.c_str(), "key"), 1);
  fs::permissions(dir_.path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(read_bytes(path), scr(sample_text(16), "key"));
}

}  // namespace
