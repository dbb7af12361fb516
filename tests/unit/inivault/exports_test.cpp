// The exported functions' results and stand-ins.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "inivault.h"
#include "test_support.h"

namespace {

using ivtest::read_bytes;
using ivtest::take;
using ivtest::take_bytes;
using ivtest::write_bytes;

class InivaultExports : public ::testing::Test {
 protected:
  void SetUp() override { ClearINIFile(); }
  ivtest::TempDir dir_;
};

TEST_F(InivaultExports, IntegersAreReadLikeAtoi) {
  SetValueString("n", "mixed", " 42abc");
  SetValueString("n", "letters", "abc");
  SetValueString("n", "negative", "\t-15 apples");
  SetValueString("n", "plus", "+7");
  SetValueString("n", "huge", "99999999999999999999");
  EXPECT_EQ(GetValueInteger("n", "mixed"), 42);
  EXPECT_EQ(GetValueInteger("n", "letters"), 0);
  EXPECT_EQ(GetValueInteger("n", "negative"), -15);
  EXPECT_EQ(GetValueInteger("n", "plus"), 7);
  EXPECT_EQ(GetValueInteger("n", "huge"), INT32_MAX);
  EXPECT_EQ(GetValueInteger("n", "missing"), 0);
  EXPECT_EQ(GetValueInteger("missing", "mixed"), 0);
}

TEST_F(InivaultExports, IntegersAreStoredInPlainDecimal) {
  EXPECT_EQ(SetValueInteger("n", "neg", -7), 1);
  EXPECT_EQ(SetValueInteger("n", "min", INT32_MIN), 1);
  EXPECT_EQ(SetValueInteger("n", "zero", 0), 1);
  EXPECT_EQ(take_bytes(GetValueString("n", "neg")), "-7");
  EXPECT_EQ(take_bytes(GetValueString("n", "min")), "-2147483648");
  EXPECT_EQ(take_bytes(GetValueString("n", "zero")), "0");
}

TEST_F(InivaultExports, CountsAndDeletes) {
  EXPECT_EQ(GetNumberofINIValues("s"), -1);
  SetValueString("s", "a", "1");
  SetValueString("s", "b", "2");
  SetValueString("t", "c", "3");
  EXPECT_EQ(GetNumberofINIKeys(), 2);
  EXPECT_EQ(GetNumberofINIValues("s"), 2);

  EXPECT_EQ(Delete_Value("s", "a"), 1);
  EXPECT_EQ(Delete_Value("s", "a"), 1);
  EXPECT_EQ(Delete_Value("nowhere", "a"), 1);
  EXPECT_EQ(take_bytes(GetValueString("s", "b")), "2");
  EXPECT_EQ(Delete_Value("s", "b"), 1);
  EXPECT_EQ(GetNumberofINIValues("s"), 0);
  EXPECT_EQ(GetNumberofINIKeys(), 2);

  EXPECT_EQ(Delete_Sektion("s"), 1);
  EXPECT_EQ(Delete_Sektion("s"), 1);
  EXPECT_EQ(GetNumberofINIKeys(), 1);
  EXPECT_EQ(GetNumberofINIValues("s"), -1);
  EXPECT_EQ(take_bytes(GetValueString("t", "c")), "3");
}

TEST_F(InivaultExports, ChangesKeepPositionsAfterDeletes) {
  const auto path = dir_ / "order.ini";
  ReadINIFile(path.c_str());
  for (const char* section : {"a", "b", "c"}) {
    for (const char* name : {"x", "y", "z"}) SetValueString(section, name, "0");
  }
  Delete_Sektion("a");
  Delete_Value("b", "x");
  SetValueString("b", "y", "changed");
  SetValueString("b", "x", "again");
  SetValueString("a", "x", "back");
  ASSERT_EQ(WriteINIFile(), 1);
  EXPECT_EQ(read_bytes(path),
            "[b]\r\ny=changed\r\nz=0\r\nx=again\r\n\r\n"
            "[c]\r\nx=0\r\ny=0\r\nz=0\r\n\r\n"
            "[a]\r\nx=back\r\n\r\n");
}

TEST_F(InivaultExports, StringsAreConvertedFromWindows1252) {
  SetValueString("s", "k", "\xE4\x80\x9F\x81 z");
  EXPECT_EQ(take(GetValueString("s", "k")), u"\u00E4\u20AC\u0178\u0081 z");
  EXPECT_EQ(take(GetValueString("s", "missing")), u"");
}

TEST_F(InivaultExports, NullArgumentsCountAsEmptyTexts) {
  EXPECT_EQ(SetValueString(nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(GetNumberofINIValues(""), 1);
  EXPECT_EQ(take(GetValueString(nullptr, "")), u"");
  EXPECT_EQ(GetNumberofINIValues(nullptr), 1);
  EXPECT_EQ(Delete_Sektion(nullptr), 1);
  EXPECT_EQ(GetNumberofINIKeys(), 0);
  EXPECT_EQ(ReadINIFile(nullptr), 0);
  EXPECT_EQ(WriteINIFile(), 0);
  FreeString(nullptr);
}

TEST_F(InivaultExports, MissingFileIsCreatedByTheNextWrite) {
  const auto path = dir_ / "new.ini";
  EXPECT_EQ(ReadINIFile(path.c_str()), 0);
  EXPECT_FALSE(ivtest::fs::exists(path));
  SetValueString("s", "k", "v");
  EXPECT_EQ(WriteINIFile(), 1);
  EXPECT_EQ(read_bytes(path), "[s]\r\nk=v\r\n\r\n");

  // Clearing keeps the path.
  ClearINIFile();
  EXPECT_EQ(WriteINIFile(), 1);
  EXPECT_EQ(read_bytes(path), "");
}

TEST_F(InivaultExports, FailedWritesAreReportedAndKeepTheOldFile) {
  ReadINIFile("");
  SetValueString("s", "k", "v");
  EXPECT_EQ(WriteINIFile(), 0);

  const auto missing_folder = dir_ / "no" / "such.ini";
  EXPECT_EQ(ReadINIFile(missing_folder.c_str()), 0);
  EXPECT_EQ(WriteINIFile(), 0);

  // A folder in the file's place: the write fails and nothing is left behind.
  const auto folder = dir_ / "folder.ini";
  ivtest::fs::create_directory(folder);
  write_bytes(folder / "inside", "kept");
  EXPECT_EQ(ReadINIFile(folder.c_str()), 0);
  EXPECT_EQ(WriteINIFile(), 0);
  EXPECT_EQ(read_bytes(folder / "inside"), "kept");
  EXPECT_EQ(std::distance(ivtest::fs::directory_iterator(dir_.path()), ivtest::fs::directory_iterator()), 1);
}

}  // namespace

extern "C" int inivault_c_roundtrip(void);

namespace {

TEST(InivaultCHeader, DrivesTheLibraryFromC) { EXPECT_EQ(inivault_c_roundtrip(), 1); }

}  // namespace
