// The inivault command-line tool, run as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "cipher.h"
#include "document.h"
#include "test_support.h"

namespace {

using ivtest::read_bytes;
using ivtest::write_bytes;

struct ToolResult {
  int status;
  std::string out;
};

std::string quote(const std::string& arg) {
  std::string q = "'";
  for (const char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

ToolResult run(const std::string& args) {
  const std::string command = std::string(INIVAULT_TOOL) + " " + args + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ToolResult result{-1, {}};
  if (pipe == nullptr) return result;
  char chunk[4096];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) result.out.append(chunk, got);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

class InivaultTool : public ::testing::Test {
 protected:
  ivtest::TempDir dir_;
  std::string file_ = (dir_ / "settings.ini").string();
};

TEST_F(InivaultTool, GetSetAndDumpPlainFile) {
  write_bytes(file_, "[Konfig]\r\ninterval=3\r\n");
  ToolResult r = run("get " + quote(file_) + " Konfig interval");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "3\n");

  EXPECT_EQ(run("set " + quote(file_) + " Konfig stations " + quote("a, b")).status, 0);
  EXPECT_EQ(read_bytes(file_), "[Konfig]\r\ninterval=3\r\nstations=a, b\r\n\r\n");

  r = run("dump " + quote(file_));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "[Konfig]\ninterval=3\nstations=a, b\n\n");
}

TEST_F(InivaultTool, SetKeepsScrambledFilesScrambled) {
  std::string text = "[Konfig]\r\nsecret=hunter2\r\n\r\n";
  inivault::scramble(text, inivault::kFileKey);
  ASSERT_TRUE(inivault::looks_scrambled(text));
  write_bytes(file_, text);

  ASSERT_EQ(run("set " + quote(file_) + " Konfig extra 1").status, 0);
  const std::string stored = read_bytes(file_);
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  EXPECT_EQ(stored.find("extra"), std::string::npos);

  inivault::Document doc;
  ASSERT_TRUE(doc.read_file(file_));
  EXPECT_EQ(doc.get_value("Konfig", "secret"), "hunter2");
  EXPECT_EQ(doc.get_value("Konfig", "extra"), "1");
  EXPECT_EQ(run("get " + quote(file_) + " Konfig secret").out, "hunter2\n");
}

TEST_F(InivaultTool, ScrambleAndUnscrambleRoundTrip) {
  const std::string plain = "[s]\r\nk=value that spans blocks\r\n\r\n";
  write_bytes(file_, plain);
  ASSERT_EQ(run("scramble " + quote(file_) + " key").status, 0);
  EXPECT_NE(read_bytes(file_), plain);
  ASSERT_EQ(run("unscramble " + quote(file_) + " key").status, 0);
  EXPECT_EQ(read_bytes(file_), plain);
}

TEST_F(InivaultTool, FailuresExitNonZeroWithAMessage) {
  const std::string missing = (dir_ / "missing.ini").string();
  ToolResult r = run("dump " + quote(missing));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("cannot read"), std::string::npos);

  write_bytes(file_, "[s]\r\nk=v\r\n");
  r = run("get " + quote(file_) + " s other");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no value"), std::string::npos);

  EXPECT_EQ(run("scramble " + quote(file_) + " ''").status, 1);
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=v\r\n");
  EXPECT_EQ(run("frobnicate").status, 2);
  EXPECT_EQ(run("get " + quote(file_)).status, 2);
  EXPECT_EQ(run("").status, 2);

  // set on a missing file creates it.
  EXPECT_EQ(run("set " + quote(missing) + " s k v").status, 0);
  EXPECT_EQ(read_bytes(missing), "[s]\r\nk=v\r\n\r\n");
}

TEST_F(InivaultTool, HelpListsTheCommands) {
  const ToolResult r = run("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* command : {"dump", "get", "set", "scramble", "unscramble"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
}

}  // namespace
