#include "json/json_node.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "json_test_util.h"

using kn::json::JsonKind;
using kn::json::JsonNode;
using kn::json::JsonValue;

namespace {

std::u16string Num(int i) {
  std::string s = std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

TEST(JsonNodeModel, NamesAreCaseSensitive) {
  JsonNode node;
  node.SetItem(u"Title", u"upper");
  node.SetItem(u"title", u"lower");
  EXPECT_EQ(node.Count(), 2);
  EXPECT_EQ(node.Item(u"Title").AsText(), u"upper");
  EXPECT_EQ(node.Item(u"title").AsText(), u"lower");
  EXPECT_TRUE(node.Exists(u"title"));
  EXPECT_FALSE(node.Exists(u"TITLE"));
}

TEST(JsonNodeModel, RewritingANameMovesTheMemberToTheEnd) {
  JsonNode node;
  node.SetItem(u"a", 1);
  node.SetItem(u"b", 2);
  node.SetItem(u"c", 3);
  node.SetItem(u"a", 4);
  EXPECT_EQ(node.Count(), 3);
  EXPECT_EQ(node.Name(node.Count()), u"a");
  EXPECT_EQ(node.NewEnum(), (std::vector<std::u16string>{u"b", u"c", u"a"}));
  EXPECT_EQ(node.Item(3), JsonValue(4));
  EXPECT_EQ(node.Item(1), JsonValue(2));  // positions follow the new order
  node.SetItem(u"a", 5);                  // already last
  EXPECT_EQ(node.NewEnum(), (std::vector<std::u16string>{u"b", u"c", u"a"}));
  EXPECT_EQ(node.Item(u"a"), JsonValue(5));
}

TEST(JsonNodeModel, ArrayWritesAppendReplaceOrFail) {
  JsonNode arr;
  arr.SetIsArray(true);
  arr.SetItem(nullptr, 1);
  arr.SetItem(nullptr, 2);
  arr.SetItem(nullptr, 3);
  arr.SetItem(10, u"appended");
  EXPECT_EQ(arr.Count(), 4);
  EXPECT_EQ(arr.Item(4).AsText(), u"appended");
  arr.SetItem(3, u"replaced");
  EXPECT_EQ(arr.Count(), 4);
  EXPECT_EQ(arr.Item(3).AsText(), u"replaced");
  EXPECT_EQ(arr.Item(2), JsonValue(2));
  EXPECT_JSON_ERROR(arr.SetItem(0, 9), 9, u"Subscript out of range");
  EXPECT_JSON_ERROR(arr.SetItem(u"x", 9), 5, u"Array values can only be changed by index or added via Null");
  EXPECT_EQ(arr.Count(), 4);
}

TEST(JsonNodeModel, ReadRulesAndErrors) {
  JsonNode obj;
  obj.SetItem(u"first", u"one");
  obj.SetItem(u"second", u"two");
  EXPECT_EQ(obj.Item(1).AsText(), u"one");
  EXPECT_EQ(obj.Name(2), u"second");
  EXPECT_JSON_ERROR(obj.Item(nullptr), 94, u"Key must be String or an index)");
  EXPECT_JSON_ERROR(obj.Item(u"third"), 5, u"Invalid procedure call or argument");
  EXPECT_JSON_ERROR(obj.Item(0), 9, u"Subscript out of range");
  EXPECT_JSON_ERROR(obj.Item(3), 9, u"Subscript out of range");
  EXPECT_JSON_ERROR(obj.Name(3), 9, u"Subscript out of range");
  EXPECT_JSON_ERROR(obj.SetItem(1, 5), 5, u"Object values can only be changed or added by key not by index");
  EXPECT_JSON_ERROR(obj.SetItem(nullptr, 5), 5,
                    u"Object values can only be changed or added by key not by index");

  JsonNode arr;
  arr.SetIsArray(true);
  arr.SetItem(nullptr, true);
  EXPECT_JSON_ERROR(arr.Item(u"a"), 5, u"Array values can only be acessed by index");
  EXPECT_JSON_ERROR(arr.Name(1), 5, u"Array items do not have names");
  EXPECT_JSON_ERROR(arr.NewEnum(), 5, u"Arrays must be iterated using index values");
}

TEST(JsonNodeModel, RemoveIgnoresMissingMembersButRejectsBadPositions) {
  JsonNode obj;
  obj.SetItem(u"a", 1);
  obj.SetItem(u"b", 2);
  obj.SetItem(u"c", 3);
  obj.Remove(4);
  obj.Remove(u"zz");
  obj.Remove(u"A");
  EXPECT_EQ(obj.Count(), 3);
  EXPECT_JSON_ERROR(obj.Remove(0), 9, u"Subscript out of range");
  obj.Remove(2);
  EXPECT_EQ(obj.NewEnum(), (std::vector<std::u16string>{u"a", u"c"}));
  obj.Remove(u"a");
  EXPECT_EQ(obj.NewEnum(), (std::vector<std::u16string>{u"c"}));
  EXPECT_FALSE(obj.Exists(u"a"));

  JsonNode arr;
  arr.SetIsArray(true);
  for (int i = 1; i <= 3; ++i) arr.SetItem(nullptr, i);
  EXPECT_JSON_ERROR(arr.Remove(u"a"), 5, u"Must remove by index for arrays");
  arr.Remove(1);
  EXPECT_EQ(arr.Count(), 2);
  EXPECT_EQ(arr.Item(1), JsonValue(2));
}

TEST(JsonNodeModel, ExistsConsultsNamesOnlyAndNeverRaises) {
  JsonNode obj;
  obj.SetItem(u"title", 1);
  EXPECT_TRUE(obj.Exists(u"title"));
  EXPECT_FALSE(obj.Exists(u"Title"));
  EXPECT_TRUE(obj.Exists(1));
  EXPECT_FALSE(obj.Exists(2));
  EXPECT_FALSE(obj.Exists(0));
  EXPECT_FALSE(obj.Exists(nullptr));

  JsonNode arr;
  arr.SetIsArray(true);
  arr.SetItem(nullptr, 1);
  EXPECT_FALSE(arr.Exists(1));
  EXPECT_FALSE(arr.Exists(u"x"));
}

TEST(JsonNodeModel, IsArrayOnlyChangesWhileEmpty) {
  JsonNode node;
  node.SetItem(u"a", 1);
  EXPECT_JSON_ERROR(node.SetIsArray(true), 5, u"Cannot change IsArray setting after items have been added");
  EXPECT_FALSE(node.IsArray());
  EXPECT_EQ(node.Item(u"a"), JsonValue(1));

  JsonNode back;
  back.SetIsArray(true);
  EXPECT_TRUE(back.IsArray());
  back.SetIsArray(false);
  back.SetItem(u"named", 1);  // names work again after the round trip
  EXPECT_EQ(back.Name(1), u"named");
}

TEST(JsonNodeModel, NestedNodesAreSharedAndStartWithDefaults) {
  JsonNode root;
  root.Whitespace = true;
  root.SetDecimalMode(true);
  auto list = root.AddNewArray(u"list");
  auto obj = root.AddNewObject(u"obj");
  EXPECT_TRUE(list->IsArray());
  EXPECT_FALSE(obj->IsArray());
  EXPECT_FALSE(list->DecimalMode());
  EXPECT_FALSE(list->Whitespace);
  list->SetItem(nullptr, u"later");
  EXPECT_EQ(root.Item(u"list").AsNode(), list);
  EXPECT_EQ(root.Item(u"list").AsNode()->Count(), 1);

  auto inner = list->AddNewObject();  // null key appends to an array
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(list->Item(2).AsNode(), inner);
  EXPECT_JSON_ERROR(root.AddNewObject(), 5,
                    u"Object values can only be changed or added by key not by index");
}

TEST(JsonNodeModel, ClearKeepsModesAndMakesAnObject) {
  JsonNode node;
  node.SetIsArray(true);
  node.SetItem(nullptr, 1);
  node.SetDecimalMode(true);
  node.Whitespace = true;
  node.Clear();
  EXPECT_EQ(node.Count(), 0);
  EXPECT_FALSE(node.IsArray());
  EXPECT_TRUE(node.DecimalMode());
  EXPECT_TRUE(node.Whitespace);
  EXPECT_EQ(JsonNode::Version(), (std::vector<std::u16string>{u"1.6"}));
}

TEST(JsonNodeModel, ValuesKeepTheirKinds) {
  JsonNode node;
  node.SetItem(u"null", nullptr);
  node.SetItem(u"empty", JsonValue());
  node.SetItem(u"i16", std::int16_t{-3});
  node.SetItem(u"byte", std::uint8_t{200});
  node.SetItem(u"cur", kn::json::Currency{15000});
  node.SetItem(u"nonode", std::shared_ptr<JsonNode>());
  EXPECT_EQ(node.Item(u"null").TypeCode(), 1);
  EXPECT_EQ(node.Item(u"empty").TypeCode(), 0);
  EXPECT_EQ(node.Item(u"i16").TypeCode(), 2);
  EXPECT_EQ(node.Item(u"byte").TypeCode(), 17);
  EXPECT_DOUBLE_EQ(node.Item(u"cur").AsDouble(), 1.5);
  EXPECT_EQ(node.Item(u"nonode").Kind(), JsonKind::kNull);
  EXPECT_JSON_ERROR(node.Item(u"byte").AsText(), 13, u"Type mismatch");
}

// Large objects switch to a hashed index and sweep out rewritten members lazily.
TEST(JsonNodeModel, LargeObjectsKeepOrderThroughRewritesAndRemovals) {
  JsonNode node;
  constexpr int kN = 2000;
  for (int i = 0; i < kN; ++i) node.SetItem(Num(i), i);
  for (int i = 0; i < kN; i += 2) node.SetItem(Num(i), -i);  // evens move to the end
  for (int i = 1; i < kN; i += 4) node.Remove(Num(i));
  ASSERT_EQ(node.Count(), kN - kN / 4);
  std::vector<std::u16string> expected;
  for (int i = 3; i < kN; i += 4) expected.push_back(Num(i));
  for (int i = 0; i < kN; i += 2) expected.push_back(Num(i));
  EXPECT_EQ(node.NewEnum(), expected);
  EXPECT_EQ(node.Item(Num(1998)), JsonValue(-1998));
  EXPECT_EQ(node.Item(Num(7)), JsonValue(7));
  EXPECT_FALSE(node.Exists(Num(5)));
  EXPECT_EQ(node.Name(1), u"3");
  node.Remove(1);
  EXPECT_FALSE(node.Exists(u"3"));
  EXPECT_EQ(node.Item(u"11"), JsonValue(11));
  node.SetItem(u"3", 3);
  EXPECT_EQ(node.Name(node.Count()), u"3");
}

TEST(JsonNodeModel, DeepAndSelfReferencingTreesDoNotExhaustTheStack) {
  auto root = std::make_shared<JsonNode>();
  auto node = root->AddNewArray(u"a");
  for (int i = 0; i < 200000; ++i) node = node->AddNewArray();
  node.reset();
  EXPECT_JSON_ERROR(root->JSON(), 28, u"Out of stack space");
  root.reset();  // the teardown must not recurse per level

  auto self = std::make_shared<JsonNode>();
  self->SetItem(u"me", self);
  EXPECT_JSON_ERROR(self->JSON(), 28, u"Out of stack space");
  self->Remove(u"me");
  EXPECT_EQ(self->JSON(), u"{}");
}

// A parse carves its nodes and member lists from shared blocks. Nodes kept after their
// document must stay intact while they grow, are rewritten and are released on another
// thread (the sanitizer build shows misuse of the freed blocks).
TEST(JsonNodeModel, ParsedNodesOutliveTheirDocumentAndChangeOnAnyThread) {
  std::vector<std::shared_ptr<JsonNode>> kept;
  {
    JsonNode doc;
    std::u16string text = u"[";
    for (int i = 0; i < 3000; ++i) text += u"{\"a long member name\":" + Num(i) + u",\"x\":[1,2]},";
    text += u"{}]";
    doc.SetJSON(text);
    for (int i = 1; i <= 3000; i += 97) kept.push_back(doc.Item(i).AsNode());
  }
  std::thread other([&kept] {
    for (auto& node : kept) {
      for (int j = 0; j < 40; ++j) node->SetItem(u"member added later " + Num(j), JsonValue(j));
      node->Remove(u"x");
    }
  });
  other.join();
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const JsonNode& node = *kept[k];
    ASSERT_EQ(node.Count(), 41);
    EXPECT_EQ(node.Name(1), u"a long member name");
    EXPECT_EQ(node.Item(1).AsDouble(), static_cast<double>(k * 97));
    EXPECT_EQ(node.Name(41), u"member added later 39");
  }
  std::thread release([&kept] { kept.erase(kept.begin(), kept.begin() + 15); });
  release.join();
  for (const auto& node : kept) EXPECT_EQ(node->Item(u"member added later 7").AsDouble(), 7.0);
}

// Emptied blocks go back to a pool that later parses carve from again: a block must not
// get there while a node kept from its document still lives in it.
TEST(JsonNodeModel, NodesKeptFromEarlierParsesSurviveLaterOnes) {
  struct Kept {
    std::shared_ptr<JsonNode> node;
    int round;
    int item;
  };
  std::vector<Kept> kept;
  for (int round = 0; round < 40; ++round) {
    JsonNode doc;
    std::u16string text = u"[";
    for (int i = 0; i < 500; ++i) {
      text += u"{\"round\":" + Num(round) + u",\"text\":\"round " + Num(round) + u" item " + Num(i) + u"\"},";
    }
    text += u"{}]";
    doc.SetJSON(text);
    for (int item : {round * 7, 499}) kept.push_back({doc.Item(item + 1).AsNode(), round, item});
  }
  for (const Kept& k : kept) {
    ASSERT_EQ(k.node->Count(), 2);
    EXPECT_EQ(k.node->Item(u"round").AsDouble(), static_cast<double>(k.round));
    EXPECT_EQ(k.node->Item(u"text").AsText(), u"round " + Num(k.round) + u" item " + Num(k.item));
  }
}

}  // namespace
