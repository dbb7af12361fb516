// JsonNode reading and writing UTF-8 must give exactly what the UTF-16 way gives with the
// program's own conversions around it: the same values, the same errors and positions.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/text_util.h"
#include "json/json_node.h"
#include "json_test_util.h"

using kn::json::JsonError;
using kn::json::JsonNode;

namespace {

struct Result {
  int number = 0;  // 0: parsed
  std::u16string description;
  std::u16string json;  // the tree serialized, also after an error
};

Result ReadUtf8(const std::string& bytes) {
  JsonNode node;
  Result r;
  try {
    node.SetJSONUtf8(bytes);
  } catch (const JsonError& e) {
    r.number = e.Number();
    r.description = e.Description();
  }
  r.json = node.JSON();
  EXPECT_EQ(node.JSONUtf8(), kn::utf16_to_utf8(r.json));
  return r;
}

Result ReadConverted(const std::string& bytes) {
  JsonNode node;
  Result r;
  try {
    node.SetJSON(kn::utf8_to_utf16(bytes));
  } catch (const JsonError& e) {
    r.number = e.Number();
    r.description = e.Description();
  }
  r.json = node.JSON();
  return r;
}

void ExpectSameAsConverted(const std::string& bytes) {
  const Result a = ReadUtf8(bytes);
  const Result b = ReadConverted(bytes);
  EXPECT_EQ(a.number, b.number);
  EXPECT_EQ(a.description, b.description);
  EXPECT_EQ(a.json, b.json);
}

}  // namespace

// Malformed, cut-off, overlong, surrogate and out-of-range sequences and characters of two
// UTF-16 units, inside names and values, at every offset from a scanning block's edge,
// followed by a closing quote, an escape, a control character or the end of the text.
TEST(JsonUtf8, BytesReadAsTheProgramConvertsThem) {
  const char* const pieces[] = {"a",
                                "Z",
                                " ",
                                "\xC3\xA9",
                                "\xE2\x82\xAC",
                                "\xF0\x9F\x8E\xB5",
                                "\xC3",
                                "\xE2\x82",
                                "\xF0\x9F\x8E",
                                "\x80",
                                "\xBF",
                                "\xC0\xAF",
                                "\xE0\x80\xAF",
                                "\xED\xA0\x80",
                                "\xED\xBF\xBF",
                                "\xF4\x90\x80\x80",
                                "\xF8\x88\x80\x80\x80",
                                "\xFF",
                                "\xC0\xA2",
                                "\xC1\x9C",
                                "\xC0\x89",
                                "\xE0\x80\xA2",
                                "\xF0\x80\x81\x9C",
                                "\\u00e9",
                                "\\\"",
                                "\\n",
                                "\\/"};
  const char* const endings[] = {"\"", "\":1}", "\\q\"", "\t\"", "\\u12", "", "\\"};
  std::mt19937 gen(11);  // fixed start, so a failure repeats
  for (int round = 0; round < 4000; ++round) {
    std::string text = round % 2 ? "{\"" : "[\"";
    const int len = static_cast<int>(gen() % 24);
    for (int k = 0; k < len; ++k) text += pieces[gen() % std::size(pieces)];
    if (round % 2) {
      text += "\":\"";
      for (int k = 0; k < len; ++k) text += pieces[gen() % std::size(pieces)];
    }
    text += endings[gen() % std::size(endings)];
    if (gen() % 2) text += round % 2 ? "}" : ",1.5e3,tru]";
    SCOPED_TRACE("round " + std::to_string(round));
    ExpectSameAsConverted(text);
  }
  // Latin text, mostly well formed, with more document behind it: the way for ASCII and
  // two-byte sequences, their leads at every place in a block, and the stray byte that
  // sends a text back to the general way.
  const char* const latin[] = {"a", "Z", " ", "\xC3\xA9", "\xC3\x9F", "\xC2\x80", "\xDF\xBF", "\xC3\x84"};
  const char* const strays[] = {"\xC3", "\x80", "\xC1\x9C", "\xC0\xA2", "\xE2\x82\xAC", "\\n", "\xC3\xC3"};
  for (int round = 0; round < 4000; ++round) {
    std::string text = "[\"";
    const int len = static_cast<int>(gen() % 40);
    for (int k = 0; k < len; ++k) {
      text += gen() % 30 ? latin[gen() % std::size(latin)] : strays[gen() % std::size(strays)];
    }
    text += "\", \"and more of the document\"]";
    SCOPED_TRACE("latin round " + std::to_string(round));
    ExpectSameAsConverted(text);
  }
}

// An overlong form of an ASCII character is that character once converted, structure included.
TEST(JsonUtf8, OverlongAsciiIsTheCharacterItStandsFor) {
  JsonNode node;
  node.SetJSONUtf8(
      "\xC1\x9B"
      "1,\xC0\xA2"
      "a\xC1\x9C"
      "n\xC0\xA2]");
  ASSERT_TRUE(node.IsArray());
  ASSERT_EQ(node.Count(), 2);
  EXPECT_EQ(node.Item(2).AsText(), u"a\n");
  EXPECT_JSON_ERROR(node.SetJSONUtf8("[\"a\xC0\x9F\"]"), 13, u"Invalid string character at 4");
}

TEST(JsonUtf8, ErrorPositionsCountUtf16Units) {
  JsonNode node;
  // The note takes two units, the letters one each, whatever their byte count.
  EXPECT_JSON_ERROR(node.SetJSONUtf8("[\"\xF0\x9F\x8E\xB5\",x]"), 13, u"Bad value at character 7");
  EXPECT_JSON_ERROR(node.SetJSONUtf8("{\"K\xC3\xB6ln\xE2\x82\xAC\":1 2}"), 13,
                    u"Expected , or } at character 12");
  // A malformed byte is one unit, as U+FFFD.
  EXPECT_JSON_ERROR(node.SetJSONUtf8("[\"\xE2\x82\",\xFF]"), 13, u"Bad value at character 7");
  EXPECT_JSON_ERROR(node.SetJSONUtf8("[\"\xC3\xA9\xC3\xA9"), 13, u"Expected \" at character 5");
  EXPECT_JSON_ERROR(node.SetJSONUtf8("[\"\xF0\x9F\x8E\xB5\",1.5.3]"), 13,
                    u"Second decimal point at character 10");
  EXPECT_JSON_ERROR(node.SetJSONUtf8("[\"\xF0\x9F\x8E\xB5\",1e999]"), 6,
                    u"Number overflow or parse error at character 7");
}

// Names of up to seven units are held in the name itself, longer ones apart; a name must
// be the same member however its characters were written.
TEST(JsonUtf8, NamesMatchHoweverTheyWereWritten) {
  for (const char* doc :
       {"{\"M\xC3\xBCnchen\":1,\"M\\u00fcnchen\":2}", "{\"M\\u00FCnchen\":1,\"M\xC3\xBCnchen\":2}",
        "{\"M\xC3\xBCnchens\":1,\"M\\u00fcnchens\":2}", "{\"abcdefg\":1,\"abcdefg\":2}",
        "{\"abcdefgh\":1,\"abcdefgh\":2}"}) {
    SCOPED_TRACE(doc);
    JsonNode node;
    node.SetJSONUtf8(doc);
    EXPECT_EQ(node.Count(), 1);
    EXPECT_EQ(node.Item(1).AsDouble(), 2);
    const std::u16string name = node.Name(1);
    EXPECT_TRUE(node.Exists(name));
    EXPECT_EQ(node.Item(name).AsDouble(), 2);
    ExpectSameAsConverted(doc);
  }
}

// The UTF-8 writer's output grows in chunks; text of every kind, long and short, must
// come out as the UTF-16 output converted.
TEST(JsonUtf8, WrittenTextIsTheUtf16TextConverted) {
  const char16_t units[] = {u'a',   u' ',   u'"',   u'\\',  u'/',   0x01,   0x08,   0x1F,   0x7F,
                            0x9F,   0xA0,   0xE9,   0x34F,  0x7FF,  0x800,  0x200B, 0x2028, 0x20AC,
                            0xD83C, 0xDFB5, 0xDC00, 0xFE00, 0xFE01, 0xFEFF, 0xFFFD, 0xFFFF, 0x4E2D};
  std::mt19937 gen(3);
  JsonNode root;
  auto list = root.AddNewArray(u"list");
  for (int i = 0; i < 600; ++i) {
    std::u16string value;
    const int len = static_cast<int>(gen() % (i % 50 == 0 ? 3000 : 30));
    for (int k = 0; k < len; ++k)
      value += gen() % 2 ? u'a' + static_cast<char16_t>(gen() % 26) : units[gen() % std::size(units)];
    list->SetItem(nullptr, value);
    root.SetItem(value.substr(0, 9), i * 0.5);
  }
  for (bool whitespace : {false, true}) {
    root.Whitespace = whitespace;
    EXPECT_EQ(root.JSONUtf8(), kn::utf16_to_utf8(root.JSON()));
  }
}
