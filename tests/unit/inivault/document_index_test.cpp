// The document's name index against a plain model: every operation, in any order, must
// leave the same sections, pairs and order as a linear search over lists would.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "document.h"
#include "ini_model.h"

namespace {

using ivtest::snapshot;

TEST(InivaultDocumentIndex, AgreesWithALinearModel) {
  std::mt19937 gen(424242);  // fixed start, so a failure repeats
  // Few distinct names, so operations hit each other; enough of them that tables grow.
  auto name = [&](unsigned range) { return "n" + std::to_string(gen() % range); };
  for (int round = 0; round < 30; ++round) {
    inivault::Document doc;
    ivtest::LinearIni model;
    const unsigned range = 4 + round * 7;
    for (int op = 0; op < 3000; ++op) {
      // Also mid-way, so reading positions between deletes is covered.
      if (op % 500 == 499) {
        ASSERT_EQ(snapshot(doc), model.sections()) << "round " << round << " op " << op;
      }
      const std::string s = name(1 + range / 8);
      const std::string n = name(range);
      switch (gen() % 6) {
        case 0:
        case 1:
        case 2: {
          const std::string v = std::to_string(op);
          const bool create = gen() % 4 != 0;
          ASSERT_EQ(doc.set_value(s, n, v, create), model.set_value(s, n, v, create));
          break;
        }
        case 3:
          ASSERT_EQ(doc.delete_value(s, n), model.delete_value(s, n));
          break;
        case 4:
          if (gen() % 8 != 0) break;  // rarer, so sections fill up
          ASSERT_EQ(doc.delete_section(s), model.delete_section(s));
          break;
        case 5: {
          ASSERT_EQ(doc.value_count(s), model.value_count(s));
          const auto got = doc.find_value(s, n);
          const auto want = model.find_value(s, n);
          ASSERT_EQ(got.has_value(), want.has_value());
          if (want) {
            ASSERT_EQ(*got, *want);
          }
          break;
        }
      }
    }
    ASSERT_EQ(snapshot(doc), model.sections()) << "round " << round;
    for (const auto& [s, pairs] : model.sections()) {
      for (const auto& [n, v] : pairs) ASSERT_EQ(doc.get_value(s, n), v);
    }
    // Reading the written form back gives the same document (sections without pairs
    // are not written).
    inivault::Document back;
    back.merge_text(doc.to_text());
    ASSERT_EQ(snapshot(back), model.written());
  }
}

// Deleting every pair, or every section, one at a time costs about what adding them
// did; a delete that reorganised the whole section would make this quadratic.
TEST(InivaultDocumentIndex, DeletingEverythingOneByOneCostsNoMoreThanAddingIt) {
  using Clock = std::chrono::steady_clock;
  constexpr int kCount = 20000;
  std::vector<std::string> names;
  for (int i = 0; i < kCount; ++i) names.push_back("name" + std::to_string(i));
  for (const bool whole_sections : {false, true}) {
    // A busy machine can stall one attempt; a quadratic delete, hundreds of times
    // slower, fails every one of them.
    bool linear = false;
    for (int attempt = 0; attempt < 3 && !linear; ++attempt) {
      inivault::Document doc;
      const auto start = Clock::now();
      for (const std::string& n : names) doc.set_value(whole_sections ? n : "s", n, "value", true);
      const auto added = Clock::now();
      for (const std::string& n : names) {
        ASSERT_TRUE(whole_sections ? doc.delete_section(n) : doc.delete_value("s", n));
      }
      const auto deleted = Clock::now();
      EXPECT_EQ(doc.value_count("s"), whole_sections ? -1 : 0);
      EXPECT_EQ(doc.section_count(), whole_sections ? 0u : 1u);
      EXPECT_TRUE(doc.to_text().empty());
      linear = deleted - added <= 4 * (added - start) + std::chrono::milliseconds(20);
    }
    EXPECT_TRUE(linear) << (whole_sections ? "sections" : "pairs");
  }
}

// Merging text where a section comes back after another: its later pairs join it.
TEST(InivaultDocumentIndex, MergeReturnsToAnEarlierSection) {
  inivault::Document doc;
  doc.merge_text("[a]\r\nx=1\r\n[b]\r\n[c]\r\ny=2\r\n[a]\r\nx=3\r\nz=4\r\n");
  ASSERT_EQ(doc.section_count(), 2u);  // a header without pairs makes no section
  EXPECT_EQ(doc.section_name(0), "a");
  EXPECT_EQ(doc.section_name(1), "c");
  EXPECT_EQ(doc.get_value("a", "x"), "3");
  EXPECT_EQ(doc.get_value("a", "z"), "4");
  EXPECT_EQ(doc.value_count("b"), -1);
}

// A value set from a view into the document itself, short or long, into an existing pair
// or a new one (whose records may move while it is stored).
TEST(InivaultDocumentIndex, ValuesMayComeFromTheDocumentItself) {
  const std::string long_value(100, 'v');
  const std::string long_name = "a_name_longer_than_twenty_bytes";
  for (int round = 0; round < 40; ++round) {
    inivault::Document doc;
    doc.set_value("s", long_name, long_value, true);
    doc.set_value("s", "short", "x", true);
    for (int i = 0; i < round; ++i) doc.set_value("s", "n" + std::to_string(i), "y", true);
    doc.set_value("s", "copy", *doc.find_value("s", long_name), true);
    doc.set_value("s", long_name, *doc.find_value("s", long_name), true);
    doc.set_value("s", "short", *doc.find_value("s", long_name), true);
    EXPECT_EQ(doc.get_value("s", "copy"), long_value);
    EXPECT_EQ(doc.get_value("s", "short"), long_value);
    EXPECT_EQ(doc.get_value("s", long_name), long_value);
    doc.set_value("s", "short", "x", true);
    doc.set_value("s", long_name, *doc.find_value("s", "short"), true);
    EXPECT_EQ(doc.get_value("s", long_name), "x");
  }
}

}  // namespace
