#include "json/decimal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using kn::json::Decimal;

namespace {

std::string RoundTrip(const char* text) {
  auto d = Decimal::Parse(text);
  return d ? d->ToString() : "<none>";
}

TEST(Decimal, ParsesDecimalFractionsExactlyAndKeepsTheScale) {
  auto d = Decimal::Parse("0.1");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Lo(), 1u);
  EXPECT_EQ(d->Scale(), 1);
  EXPECT_EQ(RoundTrip("0.1"), "0.1");
  EXPECT_EQ(RoundTrip("1.50"), "1.50");
  EXPECT_EQ(RoundTrip("-0.0001"), "-0.0001");
  EXPECT_EQ(RoundTrip("007"), "7");
  EXPECT_EQ(RoundTrip("1."), "1");
  EXPECT_EQ(RoundTrip("-0"), "0");
}

TEST(Decimal, AppliesExponents) {
  EXPECT_EQ(RoundTrip("1.5e3"), "1500");
  EXPECT_EQ(RoundTrip("15E-3"), "0.015");
  EXPECT_EQ(RoundTrip("1e+28"), "10000000000000000000000000000");
}

TEST(Decimal, FullRangeAndOverflow) {
  EXPECT_EQ(RoundTrip("79228162514264337593543950335"), "79228162514264337593543950335");
  EXPECT_EQ(RoundTrip("-79228162514264337593543950335"), "-79228162514264337593543950335");
  EXPECT_FALSE(Decimal::Parse("79228162514264337593543950336"));
  EXPECT_FALSE(Decimal::Parse("1e29"));
  EXPECT_FALSE(Decimal::Parse("1e999999999999"));
  // Rounding the fraction would carry past the 96 bits.
  EXPECT_FALSE(Decimal::Parse("79228162514264337593543950335.5"));
  EXPECT_EQ(RoundTrip("7922816251426433759354395033.55"), "7922816251426433759354395034");
}

TEST(Decimal, RoundsHalfToEvenBeyondTwentyEightPlaces) {
  EXPECT_EQ(RoundTrip("0.00000000000000000000000000025"), "0.0000000000000000000000000002");
  EXPECT_EQ(RoundTrip("0.00000000000000000000000000035"), "0.0000000000000000000000000004");
  EXPECT_EQ(RoundTrip("0.000000000000000000000000000251"), "0.0000000000000000000000000003");
  EXPECT_EQ(RoundTrip("6e-29"), "0.0000000000000000000000000001");
  EXPECT_EQ(RoundTrip("4e-29"), "0.0000000000000000000000000000");
  EXPECT_EQ(RoundTrip("1e-400"), "0.0000000000000000000000000000");
  // Long mantissas keep 29 significant digits.
  EXPECT_EQ(RoundTrip("1.23456789012345678901234567890123"), "1.2345678901234567890123456789");
}

TEST(Decimal, RejectsMalformedText) {
  for (const char* bad : {"", "-", ".", "1e", "1e+", "1e5-3", "1.2.3", "abc", "+1", "1 ", "--1"}) {
    EXPECT_FALSE(Decimal::Parse(bad)) << bad;
  }
}

TEST(Decimal, ComparesByValue) {
  EXPECT_EQ(*Decimal::Parse("1.5"), *Decimal::Parse("1.50"));
  EXPECT_EQ(*Decimal::Parse("-0.00"), *Decimal::Parse("0"));
  EXPECT_FALSE(*Decimal::Parse("1.5") == *Decimal::Parse("-1.5"));
  EXPECT_FALSE(*Decimal::Parse("0.1") == *Decimal::Parse("0.01"));
}

TEST(Decimal, ConvertsFromIntegersAndToDouble) {
  EXPECT_EQ(Decimal::FromInt64(std::numeric_limits<std::int64_t>::min()).ToString(), "-9223372036854775808");
  EXPECT_EQ(Decimal::FromInt64(42).ToString(), "42");
  EXPECT_DOUBLE_EQ(Decimal::Parse("-2.25")->ToDouble(), -2.25);
  EXPECT_FALSE(Decimal::FromParts(1, 0, 0, 29, false));
  EXPECT_EQ(Decimal::FromParts(5, 0, 0, 2, true)->ToString(), "-0.05");
}

}  // namespace
