// Reading and writing settings files through the library's C interface.
#include <gtest/gtest.h>

#include <string>

#include "inivault.h"
#include "test_support.h"

namespace {

using ivtest::read_bytes;
using ivtest::take_bytes;
using ivtest::write_bytes;

class InivaultDocument : public ::testing::Test {
 protected:
  void SetUp() override { ClearINIFile(); }

  // Reads `content` as a settings file into an empty document.
  bool load(const std::string& content) {
    ClearINIFile();
    write_bytes(file_, content);
    return ReadINIFile(file_.c_str()) == 1;
  }

  std::string get(const char* section, const char* name) { return take_bytes(GetValueString(section, name)); }

  std::string written() {
    EXPECT_EQ(WriteINIFile(), 1);
    return read_bytes(file_);
  }

  ivtest::TempDir dir_;
  ivtest::fs::path file_ = dir_ / "settings.ini";
};

TEST_F(InivaultDocument, OnlyCrLfEndsALine) {
  ASSERT_TRUE(load("[a]\nk=v\n"));
  EXPECT_EQ(GetNumberofINIKeys(), 1);
  EXPECT_EQ(GetNumberofINIValues(""), 1);
  EXPECT_EQ(get("", "[a]\nk"), "v");

  // Brackets at both ends of the single line: a header, so no section at all.
  ASSERT_TRUE(load("[a]\nk=v\r"));
  EXPECT_EQ(get("", "[a]\nk"), "v");
  ASSERT_TRUE(load("[a]\nb=c]"));
  EXPECT_EQ(GetNumberofINIKeys(), 0);

  ASSERT_TRUE(load("[s]\r\nk=one\rtwo\r\n"));
  EXPECT_EQ(get("s", "k"), "one\rtwo");
}

TEST_F(InivaultDocument, HeadersAreTestedOnTheRawLine) {
  ASSERT_TRUE(load("[[s]]\r\nk=v\r\n[ t ]\r\nx=y\r\n"));
  EXPECT_EQ(get("s", "k"), "v");
  EXPECT_EQ(get("t", "x"), "y");

  ASSERT_TRUE(load("[s] \r\nk=v\r\n"));
  EXPECT_EQ(GetNumberofINIValues("s"), -1);
  EXPECT_EQ(get("", "k"), "v");
  // A line without "=" keeps its old meaning: empty name, value from the second byte.
  EXPECT_EQ(get("", ""), "s]");
}

TEST_F(InivaultDocument, PairsSplitAtFirstEqualsAndAreStripped) {
  ASSERT_TRUE(load("[s]\r\na = b\r\nc=d=e\r\n\t f \t= g \t\r\n;comment=kept\r\n"));
  EXPECT_EQ(get("s", "a"), "b");
  EXPECT_EQ(get("s", "c"), "d=e");
  EXPECT_EQ(get("s", "f"), "g");
  EXPECT_EQ(get("s", ";comment"), "kept");
  EXPECT_EQ(GetNumberofINIValues("s"), 4);
}

TEST_F(InivaultDocument, NamesAreCaseSensitiveAndLaterValuesWin) {
  ASSERT_TRUE(load("[S]\r\nk=1\r\n[s]\r\nk=2\r\nK=3\r\nk=4\r\n[S]\r\nn=5\r\n"));
  EXPECT_EQ(GetNumberofINIKeys(), 2);
  EXPECT_EQ(get("S", "k"), "1");
  EXPECT_EQ(get("s", "k"), "4");
  EXPECT_EQ(get("s", "K"), "3");
  EXPECT_EQ(written(), "[S]\r\nk=1\r\nn=5\r\n\r\n[s]\r\nk=4\r\nK=3\r\n\r\n");
}

TEST_F(InivaultDocument, ReadingMergesUntilCleared) {
  const auto other = dir_ / "other.ini";
  write_bytes(other, "[b]\r\nk=new\r\n[c]\r\nz=1\r\n");
  ASSERT_TRUE(load("[a]\r\nx=1\r\n[b]\r\nk=old\r\nm=2\r\n"));
  ASSERT_EQ(ReadINIFile(other.c_str()), 1);
  EXPECT_EQ(GetNumberofINIKeys(), 3);
  EXPECT_EQ(get("a", "x"), "1");
  EXPECT_EQ(get("b", "k"), "new");
  EXPECT_EQ(get("b", "m"), "2");

  EXPECT_EQ(ClearINIFile(), 1);
  EXPECT_EQ(GetNumberofINIKeys(), 0);
  ASSERT_EQ(ReadINIFile(other.c_str()), 1);
  EXPECT_EQ(GetNumberofINIKeys(), 2);
  EXPECT_EQ(GetNumberofINIValues("a"), -1);
}

TEST_F(InivaultDocument, WritesBlocksAndSkipsEmptySections) {
  ASSERT_TRUE(load("top=1\r\n[gone]\r\n[s]\r\nk=v\r\n"));
  EXPECT_EQ(GetNumberofINIKeys(), 2);
  SetValueString("s", "lead", "  spaced");
  SetValueString("empty", "x", "1");
  Delete_Value("empty", "x");
  EXPECT_EQ(written(), "[]\r\ntop=1\r\n\r\n[s]\r\nk=v\r\nlead=  spaced\r\n\r\n");

  ClearINIFile();
  ASSERT_EQ(ReadINIFile(file_.c_str()), 1);
  EXPECT_EQ(get("", "top"), "1");
  EXPECT_EQ(get("s", "lead"), "spaced");
  EXPECT_EQ(GetNumberofINIValues("empty"), -1);
}

TEST_F(InivaultDocument, LongLinesAreReadWhole) {
  const std::string value(5000, 'x');
  ASSERT_TRUE(load("[s]\r\nk=" + value + "\r\nafter=1\r\n"));
  EXPECT_EQ(get("s", "k"), value);
  EXPECT_EQ(get("s", "after"), "1");
}

TEST_F(InivaultDocument, ControlByteMeansScrambled) {
  // The first block is unscrambled with the file key and no longer reads "[s]".
  ASSERT_TRUE(load("[s]\r\nk=v\r\n\x01"));
  EXPECT_EQ(GetNumberofINIValues("s"), -1);

  ASSERT_TRUE(load("[s]\r\nk=v\r\n\tt=1\r\n"));
  EXPECT_EQ(get("s", "k"), "v");
  EXPECT_EQ(get("s", "t"), "1");

  ASSERT_TRUE(load("[s]\r\nk=\xE4\xFF\x80\r\n"));
  EXPECT_EQ(take_bytes(GetValueString("s", "k")).size(), 3u);
}

TEST_F(InivaultDocument, ScrambledFileReadsBackToTheSameDocument) {
  ASSERT_TRUE(load(""));
  SetValueString("Konfig", "stations", "one,two,three");
  SetValueInteger("Konfig", "interval", 3);
  SetValueString("", "top", "level");
  SetValueString("Other", "text", "h\xE4llo w\xF6rld");
  const std::string plain = written();

  ASSERT_EQ(FC(file_.c_str(), "MOSSVEKTRPreferences"), 1);
  const std::string scrambled = read_bytes(file_);
  ASSERT_NE(scrambled, plain);

  ClearINIFile();
  ASSERT_EQ(ReadINIFile(file_.c_str()), 1);
  EXPECT_EQ(written(), plain);
}

}  // namespace
