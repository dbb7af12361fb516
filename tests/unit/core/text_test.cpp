#include <gtest/gtest.h>

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
  EXPECT_EQ(to_upper("sch\xC3\xB6n stra\xC3\x9F" "e"), "SCH\xC3\x96N STRA\xC3\x9F" "E");
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

}  // namespace
}  // namespace kn
