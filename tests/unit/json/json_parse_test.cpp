#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <iterator>
#include <random>
#include <string>

#include "json/json_node.h"
#include "json_test_util.h"

using kn::json::Decimal;
using kn::json::JsonKind;
using kn::json::JsonNode;
using kn::json::JsonValue;
using namespace std::string_view_literals;

namespace {

JsonNode& Parse(JsonNode& node, std::u16string_view text) {
  node.SetJSON(text);
  return node;
}

void ExpectParseError(std::u16string_view text, int number, std::u16string_view description) {
  JsonNode node;
  SCOPED_TRACE(std::string(text.begin(), text.end()));
  EXPECT_JSON_ERROR(node.SetJSON(text), number, description);
}

TEST(JsonParse, EmptyContainersAndLeadingWhitespace) {
  JsonNode node;
  EXPECT_EQ(Parse(node, u"{}").Count(), 0);
  EXPECT_FALSE(node.IsArray());
  EXPECT_EQ(Parse(node, u" \t\r\n[]").Count(), 0);
  EXPECT_TRUE(node.IsArray());
  Parse(node, u"\n\t {\"a\" :\r\n 1 }");
  EXPECT_FALSE(node.IsArray());
  EXPECT_EQ(node.Item(u"a"), JsonValue(1.0));
}

TEST(JsonParse, DocumentMustStartWithABracket) {
  ExpectParseError(u"", 13, u"Expected either { or [ at character 1");
  ExpectParseError(u"5", 13, u"Expected either { or [ at character 1");
  ExpectParseError(u"  \"x\"", 13, u"Expected either { or [ at character 3");
  // Only the four JSON whitespace characters are skipped.
  ExpectParseError(u"\u00A0[]", 13, u"Expected either { or [ at character 1");
  ExpectParseError(u"\f[]", 13, u"Expected either { or [ at character 1");
}

TEST(JsonParse, ArrayCommasAreLenient) {
  JsonNode node;
  EXPECT_EQ(Parse(node, u"[1,,2,]").Count(), 2);
  EXPECT_EQ(node.Item(2), JsonValue(2.0));
  EXPECT_EQ(Parse(node, u"[,1]").Count(), 1);
  EXPECT_EQ(Parse(node, u"[1 2]").Count(), 2);
  ExpectParseError(u"[1,", 13, u"Bad value at character 4");
}

TEST(JsonParse, ObjectCommasAndStructureErrors) {
  ExpectParseError(u"{,\"a\":1}", 13, u"Found \",\" before first item at character 2");
  JsonNode node;
  EXPECT_EQ(Parse(node, u"{\"a\":1,}").Count(), 1);
  EXPECT_EQ(Parse(node, u"{\"a\":1 \"b\":2,,}").Count(), 2);
  ExpectParseError(u"{\"a\" 1}", 13, u"Expected : at character 6");
  ExpectParseError(u"{\"a\":1 x}", 13, u"Expected , or } at character 8");
  ExpectParseError(u"{\"a\":true", 13, u"Expected , or } at character 10");
  ExpectParseError(u"{a:1}", 13, u"Expected , or } at character 2");
}

TEST(JsonParse, DuplicateNamesKeepTheLaterValueAtTheLaterPosition) {
  JsonNode node;
  EXPECT_EQ(Parse(node, u"{\"a\":1,\"A\":2}").Count(), 2);
  Parse(node, u"{\"a\":1,\"b\":2,\"a\":3}");
  EXPECT_EQ(node.NewEnum(), (std::vector<std::u16string>{u"b", u"a"}));
  EXPECT_EQ(node.Item(u"a"), JsonValue(3.0));
}

TEST(JsonParse, LiteralsInAnyCase) {
  JsonNode node;
  Parse(node, u"[NULL,True,FALSE,null]");
  ASSERT_EQ(node.Count(), 4);
  EXPECT_EQ(node.Item(1).Kind(), JsonKind::kNull);
  EXPECT_EQ(node.Item(2), JsonValue(true));
  EXPECT_EQ(node.Item(3), JsonValue(false));
  ExpectParseError(u"{\"a\":tru}", 13, u"Bad value at character 6");
  ExpectParseError(u"[+1]", 13, u"Bad value at character 2");
  ExpectParseError(u"[.5]", 13, u"Bad value at character 2");
  ExpectParseError(u"[nul", 13, u"Bad value at character 2");
}

TEST(JsonParse, StringEscapes) {
  JsonNode node;
  Parse(node, u"[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\", \"\\N\\T\", \"\\u00e9\\U00E9\", \"\\ud83d\\ude00\"]");
  EXPECT_EQ(node.Item(1).AsText(), u"\"\\/\b\f\n\r\t");
  EXPECT_EQ(node.Item(2).AsText(), u"\n\t");
  EXPECT_EQ(node.Item(3).AsText(), u"\u00e9\u00e9");
  EXPECT_EQ(node.Item(4).AsText(), u"\U0001F600");
  Parse(node, u"[\"caf\u00e9 \U0001F600\"]");
  EXPECT_EQ(node.Item(1).AsText(), u"caf\u00e9 \U0001F600");
}

TEST(JsonParse, StringErrorsCarryTheirPositions) {
  ExpectParseError(u"[\"a\\qb\"]", 13, u"Bad string character escape at character 5");
  ExpectParseError(u"[\"\\u12G4\"]", 13, u"Bad string character escape at character 5");
  ExpectParseError(u"[\"\\u12", 13, u"Bad string character escape at character 5");
  ExpectParseError(u"[\"ab\\", 13, u"Bad string character escape at character 6");
  ExpectParseError(u"[\"a\tb\"]", 13, u"Invalid string character at 4");
  ExpectParseError(u"[\"a\u0000\"]"sv, 13, u"Invalid string character at 4");
  ExpectParseError(u"[\"abc", 13, u"Expected \" at character 6");
  // A string that closes on the last character of the text is still unterminated.
  ExpectParseError(u"{\"a\":\"b\"", 13, u"Expected \" at character 9");
}

TEST(JsonParse, NumberSyntaxErrors) {
  ExpectParseError(u"[-.5]", 13, u"Digit expected at character 3");
  ExpectParseError(u"[1.2.3]", 13, u"Second decimal point at character 5");
  ExpectParseError(u"[1e+5-3]", 13, u"Second exponent sign at character 6");
  ExpectParseError(u"[1", 13, u"Ran off end of string while parsing a number");
  ExpectParseError(u"[1e999]", 6, u"Number overflow or parse error at character 2");
  ExpectParseError(u"[0, -1e400]", 6, u"Number overflow or parse error at character 5");
  ExpectParseError(u"[-]", 6, u"Number overflow or parse error at character 2");
  ExpectParseError(u"[1e]", 6, u"Number overflow or parse error at character 2");
  ExpectParseError(u"[1e5+]", 6, u"Number overflow or parse error at character 2");
}

TEST(JsonParse, NumbersBecomeDoubles) {
  JsonNode node;
  Parse(node, u"[1.5e3, 007, -0.25, 1E2, 1e-400, 12345678901234567890]");
  EXPECT_EQ(node.Item(1), JsonValue(1500.0));
  EXPECT_EQ(node.Item(2), JsonValue(7.0));
  EXPECT_EQ(node.Item(3), JsonValue(-0.25));
  EXPECT_EQ(node.Item(4), JsonValue(100.0));
  EXPECT_EQ(node.Item(5), JsonValue(0.0));  // underflow is not overflow
  EXPECT_EQ(node.Item(6), JsonValue(12345678901234567890.0));
  EXPECT_EQ(node.Item(1).TypeCode(), 5);
}

TEST(JsonParse, DecimalModeReachesNestedNodes) {
  JsonNode node;
  node.SetDecimalMode(true);
  Parse(node, u"[0.1, [0.2], {\"x\": {\"y\": 1.50}}]");
  EXPECT_EQ(node.Item(1).AsDecimal(), *Decimal::Parse("0.1"));
  EXPECT_EQ(node.Item(1).TypeCode(), 14);
  auto inner = node.Item(2).AsNode();
  EXPECT_TRUE(inner->DecimalMode());
  EXPECT_EQ(inner->Item(1).AsDecimal().ToString(), "0.2");
  EXPECT_EQ(node.Item(3).AsNode()->Item(u"x").AsNode()->Item(u"y").AsDecimal().ToString(), "1.50");
  EXPECT_JSON_ERROR(node.SetJSON(u"[1e29]"), 6, u"Number overflow or parse error at character 2");
}

TEST(JsonParse, AnErrorKeepsTheMembersStoredBeforeIt) {
  JsonNode node;
  node.SetItem(u"old", 1);
  EXPECT_JSON_ERROR(node.SetJSON(u"{\"a\":1,\"b\":[2,tru]}"), 13, u"Bad value at character 15");
  EXPECT_EQ(node.NewEnum(), (std::vector<std::u16string>{u"a"}));
  // An array keeps its items too; what the open nodes had read is let go.
  const std::string broken =
      "[1, {\"kept\": \"a text too long to live inline\"}, {\"x\": [\"another long text\", tru";
  EXPECT_JSON_ERROR(node.SetJSON(std::u16string(broken.begin(), broken.end())), 13,
                    u"Bad value at character 77");
  EXPECT_EQ(node.Count(), 2);
  EXPECT_EQ(node.Item(2).AsNode()->Item(u"kept").AsText(), u"a text too long to live inline");
  EXPECT_JSON_ERROR(node.SetJSONUtf8(broken), 13, u"Bad value at character 77");
  EXPECT_EQ(node.Count(), 2);
  EXPECT_EQ(node.Item(2).AsNode()->Item(u"kept").AsText(), u"a text too long to live inline");
  // Whatever follows the top-level value is not looked at.
  node.SetJSON(u"[1] trailing");
  EXPECT_EQ(node.Count(), 1);
}

TEST(JsonParse, ParsingReplacesTheContentsEvenFromItsOwnText) {
  JsonNode node;
  node.SetItem(u"doc", u"[\"inner\"]");
  node.SetJSON(node.ItemRef(u"doc").AsText());
  EXPECT_TRUE(node.IsArray());
  EXPECT_EQ(node.Count(), 1);
  EXPECT_EQ(node.Item(1).AsText(), u"inner");
}

TEST(JsonParse, NestingDepthIsBounded) {
  const std::u16string deep_ok =
      std::u16string(JsonNode::kMaxDepth, u'[') + std::u16string(JsonNode::kMaxDepth, u']');
  JsonNode node;
  node.SetJSON(deep_ok);
  EXPECT_EQ(node.Count(), 1);
  EXPECT_EQ(node.JSON(), deep_ok);  // whatever parses also serializes
  ExpectParseError(std::u16string(200000, u'['), 28, u"Out of stack space");
  std::u16string objects;
  for (int i = 0; i < 100000; ++i) objects += u"{\"a\":";
  ExpectParseError(objects, 28, u"Out of stack space");
}

// Numbers take shortcuts for short forms; every form must still read exactly as
// from_chars reads the same text.
TEST(JsonParse, NumbersReadExactlyAsFromChars) {
  std::mt19937_64 gen(7);  // fixed start, so a failure repeats
  auto digits = [&](int n) {
    std::string d;
    for (int i = 0; i < n; ++i) d += static_cast<char>('0' + gen() % 10);
    return d;
  };
  for (int round = 0; round < 20000; ++round) {
    std::string text = gen() % 3 == 0 ? "-" : "";
    text += digits(1 + static_cast<int>(gen() % 18));
    if (gen() % 2) text += "." + digits(1 + static_cast<int>(gen() % 12));
    if (gen() % 3 == 0) {
      text += gen() % 2 ? "e" : "E";
      const auto sign = gen() % 3;
      if (sign == 1) text += "-";
      if (sign == 2) text += "+";
      text += digits(1 + static_cast<int>(gen() % 3));
    }
    std::string expected_text = text;
    for (char& c : expected_text) c = c == 'E' ? 'e' : c;
    double expected = 0;
    const auto res =
        std::from_chars(expected_text.data(), expected_text.data() + expected_text.size(), expected);
    if (res.ec != std::errc()) continue;  // overflow and underflow have their own tests
    // Read as units and as bytes, at the end of the text and with room after it.
    for (const char* after : {"]", ",          ]"}) {
      const std::string doc = "[" + text + after;
      JsonNode wide;
      wide.SetJSON(std::u16string(doc.begin(), doc.end()));
      JsonNode bytes;
      bytes.SetJSONUtf8(doc);
      for (const JsonNode* node : {&wide, &bytes}) {
        const double got = node->Item(1).AsDouble();
        ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << doc;
      }
    }
  }
}

// Strings are scanned in blocks where possible; content of every kind, at every offset
// from a block boundary, must come back unit for unit, and a raw control character must
// be reported where it stands.
TEST(JsonParse, StringsComeBackUnitForUnit) {
  std::mt19937 gen(5);  // fixed start, so a failure repeats
  const char16_t units[] = {u'a',   u'Z',   u' ',   0x7F,   0x80, 0xE9,  0x4E2D, 0x7FFF, 0x8000,
                            0xD83D, 0xDE00, 0xFFFD, 0xFFFF, u'"', u'\\', u'\n',  u'/'};
  for (int round = 0; round < 3000; ++round) {
    std::u16string value;
    std::u16string text = u"[\"";
    const int len = static_cast<int>(gen() % 40);
    for (int k = 0; k < len; ++k) {
      const char16_t c =
          gen() % 3 ? u'a' + static_cast<char16_t>(gen() % 26) : units[gen() % std::size(units)];
      value += c;
      if (c == u'"' || c == u'\\') {
        text += u'\\';
        text += c;
      } else if (c == u'\n') {
        text += u"\\n";
      } else {
        text += c;
      }
    }
    text += u"\",1]";
    JsonNode node;
    node.SetJSON(text);
    ASSERT_EQ(node.Item(1).AsText(), value) << "round " << round;
    // The same text with a raw line break somewhere inside the string.
    if (value.empty()) continue;
    const std::size_t at = 2 + gen() % (text.size() - 6);
    if (text[at - 1] == u'\\') continue;
    std::u16string broken = text;
    broken[at] = u'\n';
    bool in_string = true;  // only if no closing quote comes first
    for (std::size_t i = 2; i < at; ++i) {
      if (broken[i] == u'\\') {
        ++i;
      } else if (broken[i] == u'"') {
        in_string = false;
      }
    }
    if (!in_string) continue;
    const std::string position = std::to_string(at + 1);
    JsonNode bad;
    EXPECT_JSON_ERROR(bad.SetJSON(broken), 13,
                      u"Invalid string character at " + std::u16string(position.begin(), position.end()));
  }
}

}  // namespace
