#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/number_text.h"
#include "core/text_util.h"

namespace kn {
namespace {

TEST(Text, ReplaceAllScansFromTheLeftAndIsCaseSensitive) {
  EXPECT_EQ(replace_all("SCHOENE OEL oe", "OE", "\xC3\x96"), "SCH\xC3\x96NE \xC3\x96L oe");
  EXPECT_EQ(replace_all("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(replace_all("abc", "", "x"), "abc");
}

TEST(Text, CountOccurrencesCountsOverlapsAndIgnoresCaseOnRequest) {
  EXPECT_EQ(count_occurrences("A:b:c", ":", 1), 2);
  EXPECT_EQ(count_occurrences("A:b:c", "", 0), -1);
  EXPECT_EQ(count_occurrences("aaa", "aa", 0), 2);
  EXPECT_EQ(count_occurrences("AbAB", "ab", 0), 0);
  EXPECT_EQ(count_occurrences("AbAB", "ab", 1), 2);
  EXPECT_EQ(count_occurrences("", ":", 0), 0);
}

TEST(Text, CaseMappingCoversUmlautsButNotSharpS) {
  EXPECT_EQ(to_upper("sch\xC3\xB6n stra\xC3\x9F"
                     "e"),
            "SCH\xC3\x96N STRA\xC3\x9F"
            "E");
  EXPECT_EQ(to_lower("\xC3\x84RGER \xC3\x97"), "\xC3\xA4rger \xC3\x97");
}

TEST(Text, AnsiConversionRoundTrips) {
  std::string ansi = "H\xF6rer \x80 \xDF";
  std::string utf8 = cp1252_to_utf8(ansi);
  EXPECT_EQ(utf8, "H\xC3\xB6rer \xE2\x82\xAC \xC3\x9F");
  EXPECT_EQ(utf8_to_cp1252(utf8), ansi);
  EXPECT_EQ(utf8_to_cp1252("\xE2\x98\x83"), "?");
  EXPECT_EQ(utf16_to_utf8(utf8_to_utf16("a\xF0\x9F\x8E\xB5z")), "a\xF0\x9F\x8E\xB5z");
}

TEST(Text, Utf8ToUtf16MapsEachMalformedByteToOneReplacement) {
  EXPECT_EQ(utf8_to_utf16(""), u"");
  EXPECT_EQ(utf8_to_utf16("Nachtradio K\xC3\xB6ln \xE2\x82\xAC"), u"Nachtradio K\u00F6ln \u20AC");
  EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x8E\xB5"), u"\U0001F3B5");
  EXPECT_EQ(utf8_to_utf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(utf8_to_utf16("a\x80"
                          "b"),
            u"a\uFFFDb");
  EXPECT_EQ(utf8_to_utf16("\xE2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\xE2\x41\x42\x43"), u"\uFFFDABC");
  EXPECT_EQ(utf8_to_utf16(std::string("x\0y", 3)), std::u16string(u"x\0y", 3));
  // Beyond U+10FFFF there is no UTF-16 form: no stray surrogates either.
  EXPECT_EQ(utf8_to_utf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(utf8_to_utf16("\xF7\xBF\xBF\xBF!"), u"\uFFFD\uFFFD\uFFFD\uFFFD!");
  EXPECT_EQ(utf8_to_cp1252("\xF7\xBF\xBF\xBF!"), std::string(4, '?') + "!");
}

TEST(Text, Utf16ToUtf8ReplacesLoneSurrogates) {
  EXPECT_EQ(utf16_to_utf8(u""), "");
  EXPECT_EQ(utf16_to_utf8(u"K\u00F6ln \u20AC \U0001F3B5"), "K\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x8E\xB5");
  const char16_t lone[] = {u'a', 0xD83C, u'b', 0xDFB5, 0xD83C};
  EXPECT_EQ(utf16_to_utf8(std::u16string_view(lone, 5)),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD");
  const char16_t swapped[] = {0xDFB5, 0xD83C, 0x07FF, 0x0800};
  EXPECT_EQ(utf16_to_utf8(std::u16string_view(swapped, 4)), "\xEF\xBF\xBD\xEF\xBF\xBD\xDF\xBF\xE0\xA0\x80");
}

// Code point by code point, the way the conversions are defined; the library's
// versions take shortcuts for ASCII runs and must agree on every input.
std::u16string reference_utf8_to_utf16(std::string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    uint32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    bool ok = len != 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      ok = (d & 0xC0) == 0x80;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (!ok || cp > 0x10FFFF) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += len;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string reference_utf16_to_utf8(std::u16string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t cp = s[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

TEST(Text, ConversionsAgreeWithTheirDefinitionOnMixedInput) {
  std::mt19937 gen(20240621);  // fixed start, so a failure repeats
  // Mostly ASCII with runs of every length, so chunked fast paths meet every boundary.
  const unsigned char bytes[] = {'a',  'b',  ' ',  0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xC3, 0xDF, 0xE0, 0xE2,
                                 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xF7, 0xF8, 0xFF, 0x82, 0xA4, 0x9F};
  const char16_t units[] = {u'a',   u'z',   0x00,   0x7F,   0x80,   0x7FF,  0x800,  0xD7FF,
                            0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF, 0x00E4};
  for (int round = 0; round < 4000; ++round) {
    std::string s;
    std::u16string u;
    const int len = static_cast<int>(gen() % 80);
    const unsigned odd_one_in = 2 + gen() % 30;
    for (int k = 0; k < len; ++k) {
      const bool plain = gen() % odd_one_in != 0;
      s += static_cast<char>(plain ? 'a' + gen() % 26 : bytes[gen() % sizeof bytes]);
      u += plain ? static_cast<char16_t>(u'a' + gen() % 26) : units[gen() % (sizeof units / sizeof units[0])];
    }
    ASSERT_EQ(utf8_to_utf16(s), reference_utf8_to_utf16(s)) << "round " << round;
    ASSERT_EQ(utf16_to_utf8(u), reference_utf16_to_utf8(u)) << "round " << round;
    ASSERT_EQ(utf8_to_utf16(reference_utf16_to_utf8(u)), reference_utf8_to_utf16(reference_utf16_to_utf8(u)));
  }
}

TEST(Numbers, StrictConversionsRoundHalfToEvenAndCheckWidth) {
  EXPECT_EQ(strict_int16("0.5"), 0);
  EXPECT_EQ(strict_int16("1.5"), 2);
  EXPECT_EQ(strict_int16("2.5"), 2);
  EXPECT_EQ(strict_int16("-2.5"), -2);
  EXPECT_EQ(strict_int16(" 32767 "), 32767);
  EXPECT_FALSE(strict_int16("32768"));
  EXPECT_FALSE(strict_int16("12 Sekunden"));
  EXPECT_FALSE(strict_int16(""));
  EXPECT_FALSE(strict_int16("-"));
  EXPECT_EQ(strict_int32("1e3"), 1000);
  EXPECT_FALSE(strict_int32("2147483648"));
  EXPECT_EQ(strict_bool("-1"), true);
  EXPECT_EQ(strict_bool("TRUE"), true);
  EXPECT_FALSE(strict_bool("yes"));
}

TEST(Numbers, LeadingNumberNeverFails) {
  EXPECT_EQ(leading_number("12 Sekunden"), 12);
  EXPECT_EQ(leading_number("  -3.25abc"), -3.25);
  EXPECT_EQ(leading_number("1 2 3"), 123);
  EXPECT_EQ(leading_number("abc"), 0);
  EXPECT_EQ(leading_number(""), 0);
  EXPECT_EQ(leading_number("2e3x"), 2000);
  EXPECT_EQ(leading_number("1e999"), 0);
}

TEST(Numbers, Pattern0000) {
  EXPECT_EQ(format_0000("42"), "0042");
  EXPECT_EQ(format_0000("42\r\n"), "0042");
  EXPECT_EQ(format_0000("12345"), "12345");
  EXPECT_EQ(format_0000("41.5"), "0042");
  EXPECT_EQ(format_0000("-3"), "-0003");
  EXPECT_EQ(format_0000(""), "");
  EXPECT_EQ(format_0000("<html>Fehler</html>"), "<html>Fehler</html>");
  EXPECT_EQ(format_0000(int64_t{-3}), "-0003");
}

TEST(StationNameText, CapitalPairsBecomeUmlauts) {
  EXPECT_EQ(umlauts_from_pairs("SCHOENE LIEDER : 0005"), "SCH\xC3\x96NE LIEDER : 0005");
  EXPECT_EQ(umlauts_from_pairs("BAER: 1\r\nMUEHLE: 2"), "B\xC3\x84R: 1\r\nM\xC3\x9CHLE: 2");
  // A capital pair is a capital pair, whatever the name meant.
  EXPECT_EQ(umlauts_from_pairs("QUEEN : 0001"),
            "Q\xC3\x9C"
            "EN : 0001");
}

TEST(StationNameText, OnlyExactCapitalPairsChange) {
  EXPECT_EQ(umlauts_from_pairs("Hoerer: 5"), "Hoerer: 5");
  EXPECT_EQ(umlauts_from_pairs("Oe oE ae Ae aE ue Ue uE"), "Oe oE ae Ae aE ue Ue uE");
  EXPECT_EQ(umlauts_from_pairs(""), "");
}

TEST(StationNameText, ReplacementOrderIsOeThenAeThenUe) {
  // "OUE": OE is not present, UE is -> "OÜ"; "AOE" -> "AÖ" (AE never formed).
  EXPECT_EQ(umlauts_from_pairs("OUE"), "O\xC3\x9C");
  EXPECT_EQ(umlauts_from_pairs("AOE"), "A\xC3\x96");
  EXPECT_EQ(umlauts_from_pairs("AEOE"), "\xC3\x84\xC3\x96");
}

}  // namespace
}  // namespace kn
