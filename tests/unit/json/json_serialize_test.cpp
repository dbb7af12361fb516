#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "json/json_node.h"
#include "json_test_util.h"

using kn::json::Currency;
using kn::json::Date;
using kn::json::Decimal;
using kn::json::JsonNode;
using kn::json::JsonValue;
using kn::json::ToJson;

namespace {

// {"a":1,"b":[true,null],"o":{}}
void BuildExample(JsonNode& root) {
  root.SetItem(u"a", 1);
  auto b = root.AddNewArray(u"b");
  b->SetItem(nullptr, true);
  b->SetItem(nullptr, nullptr);
  root.AddNewObject(u"o");
}

TEST(JsonSerialize, EmptyContainers) {
  JsonNode node;
  EXPECT_EQ(node.JSON(), u"{}");
  node.Whitespace = true;
  EXPECT_EQ(node.JSON(), u"{}");
  node.SetIsArray(true);
  EXPECT_EQ(node.JSON(), u"[]");
}

TEST(JsonSerialize, CompactAndIndentedLayout) {
  JsonNode root;
  BuildExample(root);
  EXPECT_EQ(root.JSON(), u"{\"a\":1,\"b\":[true,null],\"o\":{}}");
  root.Whitespace = true;
  EXPECT_EQ(root.JSON(),
            u"{\r\n"
            u"    \"a\":1,\r\n"
            u"    \"b\":[\r\n"
            u"        true,\r\n"
            u"        null\r\n"
            u"    ],\r\n"
            u"    \"o\":{}\r\n"
            u"}");
}

TEST(JsonSerialize, OnlyTheRootsWhitespaceCounts) {
  JsonNode root;
  root.SetIsArray(true);
  auto inner = root.AddNewObject();
  inner->Whitespace = true;
  inner->SetItem(u"k", u"v");
  EXPECT_EQ(root.JSON(), u"[{\"k\":\"v\"}]");
  root.Whitespace = true;
  inner->Whitespace = false;
  EXPECT_EQ(root.JSON(), u"[\r\n    {\r\n        \"k\":\"v\"\r\n    }\r\n]");
}

TEST(JsonSerialize, StringEscaping) {
  EXPECT_EQ(ToJson(u"\t\"/"), u"\"\\t\\\"/\"");
  EXPECT_EQ(ToJson(u"\\\b\f\n\r"), u"\"\\\\\\b\\f\\n\\r\"");
  EXPECT_EQ(ToJson(u"\u2028\uFEFF\u0001\u00e9"), u"\"\\u2028\\uFEFF\\u0001\u00e9\"");
  EXPECT_EQ(ToJson(u"\u007F\u009F\u00A0"), u"\"\\u007F\\u009F\u00A0\"");
  EXPECT_EQ(ToJson(u"\u034F\u200B\u200F\u2010\u202E\u202F\u2060\uFFFD"),
            u"\"\\u034F\\u200B\\u200F\u2010\\u202E\u202F\\u2060\\uFFFD\"");
  EXPECT_EQ(ToJson(u"\uFE00\uFE01\uFE0F\uFE10"), u"\"\uFE00\\uFE01\\uFE0F\uFE10\"");
  EXPECT_EQ(ToJson(u"\U0001F600"), u"\"\\uD83D\\uDE00\"");
  EXPECT_EQ(ToJson(u""), u"\"\"");
}

TEST(JsonSerialize, NumbersInTheInvariantForm) {
  EXPECT_EQ(ToJson(1e20), u"1e+20");
  EXPECT_EQ(ToJson(0.5), u"0.5");
  EXPECT_EQ(ToJson(-1.5), u"-1.5");
  EXPECT_EQ(ToJson(0.1 + 0.2), u"0.3");  // 15 significant digits
  EXPECT_EQ(ToJson(123456789012345.0), u"123456789012345");
  EXPECT_EQ(ToJson(1234567890123456.0), u"1.23456789012346e+15");
  EXPECT_EQ(ToJson(1e-7), u"1e-07");
  EXPECT_EQ(ToJson(0.001), u"0.001");
  EXPECT_EQ(ToJson(true), u"true");
  EXPECT_EQ(ToJson(false), u"false");
  EXPECT_EQ(ToJson(std::int16_t{-32768}), u"-32768");
  EXPECT_EQ(ToJson(std::int32_t{42}), u"42");
  EXPECT_EQ(ToJson(std::uint8_t{255}), u"255");
  EXPECT_EQ(ToJson(0.1f), u"0.1");
  EXPECT_EQ(ToJson(Currency{-12345}), u"-1.2345");
  EXPECT_EQ(ToJson(Currency{15000}), u"1.5");
  EXPECT_EQ(ToJson(Currency{std::numeric_limits<std::int64_t>::min()}), u"-922337203685477.5808");
  EXPECT_EQ(ToJson(*Decimal::Parse("-0.10")), u"-0.10");
  EXPECT_EQ(ToJson(nullptr), u"null");
  EXPECT_EQ(ToJson(JsonValue()), u"null");
}

TEST(JsonSerialize, NamesAreEscapedAndTheEmptyNameIsKept) {
  JsonNode node;
  node.SetItem(u"", 1);
  node.SetItem(u"q\"", 2);
  EXPECT_EQ(node.JSON(), u"{\"\":1,\"q\\\"\":2}");
}

TEST(JsonSerialize, KindsWithoutAJsonFormRaiseError51) {
  JsonNode node;
  node.SetItem(u"d", Date{45000});
  EXPECT_JSON_ERROR(node.JSON(), 51, u"d, unknown/unsupported type = 7");
  JsonNode arr;
  arr.SetIsArray(true);
  arr.SetItem(nullptr, Date{1});
  EXPECT_JSON_ERROR(arr.JSON(), 51, u", unknown/unsupported type = 7");
  // Non-finite numbers would give text no parser reads back.
  JsonNode nums;
  nums.SetItem(u"x", std::numeric_limits<double>::quiet_NaN());
  EXPECT_JSON_ERROR(nums.JSON(), 51, u"x, value nan failed to serialize");
  nums.SetItem(u"x", -std::numeric_limits<double>::infinity());
  EXPECT_JSON_ERROR(nums.JSON(), 51, u"x, value -inf failed to serialize");
}

// Serialize, parse, serialize: the same names, order, kinds and text.
TEST(JsonSerialize, RoundTripKeepsStructure) {
  JsonNode root;
  BuildExample(root);
  root.SetItem(u"text", u"tab\tquote\" \u2028 \U0001F600 \u00e9 \\");
  root.SetItem(u"Text", u"other case");
  root.SetItem(u"", u"empty name");
  root.SetItem(u"pi", 3.14159265358979);
  root.SetItem(u"neg", -2.5e-300);
  auto deep = root.AddNewArray(u"deep")->AddNewObject()->AddNewArray(u"in");
  deep->SetItem(nullptr, u"x");
  deep->SetItem(nullptr, false);

  for (bool whitespace : {false, true}) {
    root.Whitespace = whitespace;
    const std::u16string first = root.JSON();
    EXPECT_EQ(root.JSON(), first);
    JsonNode back;
    back.Whitespace = whitespace;
    back.SetJSON(first);
    EXPECT_EQ(back.JSON(), first);
    ASSERT_EQ(back.NewEnum(), root.NewEnum());
    for (int i = 1; i <= root.Count(); ++i) {
      const JsonValue a = root.Item(i);
      const JsonValue b = back.Item(i);
      if (a.IsNumber()) {
        EXPECT_TRUE(b.IsNumber());
        EXPECT_DOUBLE_EQ(a.AsDouble(), b.AsDouble());
      } else {
        EXPECT_EQ(a.Kind(), b.Kind()) << i;
        if (a.IsText()) {
          EXPECT_EQ(a.AsText(), b.AsText());
        }
      }
    }
  }
}

TEST(JsonSerialize, DecimalsRoundTripExactly) {
  JsonNode node;
  node.SetDecimalMode(true);
  node.SetJSON(u"[0.1,-79228162514264337593543950335,1.50,{\"x\":0.0000000000000000000000000001}]");
  EXPECT_EQ(node.JSON(), u"[0.1,-79228162514264337593543950335,1.50,{\"x\":0.0000000000000000000000000001}]");
}

// Rounded to 15 digits the largest doubles become 1.79769313486232e+308, beyond the
// largest double, which the parser rejects as an overflow.
TEST(JsonSerialize, LargestDoublesParseBack) {
  const double max = std::numeric_limits<double>::max();
  EXPECT_EQ(ToJson(max), u"1.7976931348623157e+308");
  EXPECT_EQ(ToJson(-max), u"-1.7976931348623157e+308");
  EXPECT_EQ(ToJson(1.79769313486231e308), u"1.79769313486231e+308");  // 15 digits still fit
  JsonNode node;
  node.SetJSON(u"[1.7976931348623157e308,-1.797693134862315e308,1.79769313486231e308]");
  const std::u16string text = node.JSON();
  JsonNode back;
  back.SetJSON(text);
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(back.Item(1).AsDouble(), max);
  EXPECT_EQ(back.Item(2).AsDouble(), -1.797693134862315e308);
  EXPECT_EQ(back.JSON(), text);
}

// Doubles are written in the general form with 15 significant digits, partly through
// shortcuts: whatever the value, the text must be the one to_chars writes for that form.
TEST(JsonSerialize, DoublesWriteAsTheFifteenDigitGeneralForm) {
  std::mt19937_64 gen(11);  // fixed start, so a failure repeats
  std::vector<double> values = {0.1,        0.5,        1e-5,    1e-4,     9.99999999999999e-5,
                                123456.789, 1e14 + 0.5, 1e15,    1e16,     1e21,
                                1e22,       1e300,      1e-300,  2.5e-300, 5e-324,
                                1e-310,     0.3,        2.0 / 3, 1.0 / 3,  99999999999999.9};
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = gen();
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d) && std::fabs(d) < 1.7e308) values.push_back(d);
    // Short decimals, the common case, at every scale.
    const double m = static_cast<double>(gen() % 100000000);
    values.push_back(m / std::pow(10.0, static_cast<double>(gen() % 30)));
    values.push_back(-m * std::pow(10.0, static_cast<double>(gen() % 20)));
  }
  // Plain-notation magnitudes with more digits than fit, many of them halfway between
  // two 15-digit values, where rounding the scaled value could go the wrong way.
  for (int i = 0; i < 20000; ++i) {
    const auto m = static_cast<double>(gen() % 100000000000000000u);
    const int scale = static_cast<int>(gen() % 22);
    values.push_back(m / std::pow(10.0, scale));
    const double half = static_cast<double>(gen() % 100000000000000u) * 10 + 5;
    values.push_back(-half / std::pow(10.0, static_cast<int>(gen() % 20)));
  }
  for (int e = -30; e <= 30; ++e) {
    const double p = std::pow(10.0, e);
    values.push_back(std::nextafter(p, 0.0));
    values.push_back(std::nextafter(p, 1e308));
  }
  for (const double d : values) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
    const std::u16string expected(buf, res.ptr);
    ASSERT_EQ(ToJson(d), expected) << buf;
  }
}

}  // namespace
