// The inivault command-line tool, run as a user would.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

// "--timeout-guard ARGS" runs the tool under a 10 s timeout, for calls that must not block.
ToolResult run(std::string args) {
  std::string prefix;
  const std::string guard = "--timeout-guard ";
  if (args.rfind(guard, 0) == 0) {
    prefix = "timeout 10 ";
    args.erase(0, guard.size());
  }
  const std::string command = prefix + std::string(INIVAULT_TOOL) + " " + args + " 2>&1";
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

TEST_F(InivaultTool, FailuresSayWhy) {
  const std::string missing = (dir_ / "missing.ini").string();
  ToolResult r = run("dump " + quote(missing));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("No such file or directory"), std::string::npos) << r.out;

  r = run("get " + quote(dir_.path().string()) + " s k");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Is a directory"), std::string::npos) << r.out;

  // A pipe must neither block the tool nor be taken for a missing file.
  const std::string fifo = (dir_ / "pipe.ini").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  for (const std::string command : {"dump ", "set ", "scramble "}) {
    r = run("--timeout-guard " + command + quote(fifo) +
            (command == "dump "  ? ""
             : command == "set " ? " s k v"
                                 : " key"));
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_NE(r.out.find("not a regular file"), std::string::npos) << command << r.out;
  }
  EXPECT_TRUE(ivtest::fs::is_fifo(fifo));

  write_bytes(file_, "[s]\r\nk=v\r\n");
  ivtest::fs::permissions(file_, ivtest::fs::perms::owner_read);
  r = run("set " + quote(file_) + " s k w");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("cannot write " + file_ + ": Permission denied"), std::string::npos) << r.out;
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=v\r\n");
}

// Root writing through a link that another user planted in a shared folder would
// write any file that user chose: every writing command refuses, naming the link.
TEST_F(InivaultTool, WritingCommandsRefuseLinksPlantedInSharedFolders) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
  const auto shared = dir_ / "shared";
  ivtest::fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  write_bytes(file_, "[s]\r\nk=v\r\n");
  ASSERT_EQ(::chmod(file_.c_str(), 0600), 0);
  const std::string link = (shared / "app.ini").string();
  ivtest::fs::create_symlink(file_, link);
  ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);

  for (const std::string& args : {"set " + quote(link) + " s injected yes",
                                  "scramble " + quote(link) + " key", "unscramble " + quote(link) + " key"}) {
    const ToolResult r = run(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.out.find("the symbolic link " + link + " belongs to another user"), std::string::npos)
        << args << r.out;
  }
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=v\r\n");
  EXPECT_TRUE(ivtest::fs::is_symlink(link));
}

TEST_F(InivaultTool, OutputThatCannotBeWrittenIsAFailure) {
  write_bytes(file_, "[s]\r\nk=v\r\n");
  EXPECT_EQ(run("dump " + quote(file_) + " >/dev/full").status, 1);
  EXPECT_EQ(run("get " + quote(file_) + " s k >/dev/full").status, 1);
  EXPECT_EQ(run("--help >/dev/full").status, 1);
}

TEST_F(InivaultTool, SetRefusesAFileScrambledWithAnotherKey) {
  std::string text = "[Konfig]\r\nsecret=hunter2\r\nstations=one,two,three\r\n\r\n";
  inivault::scramble(text, "somebody else's key");
  write_bytes(file_, text);

  ToolResult r = run("set " + quote(file_) + " Konfig extra 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("other than the built-in one"), std::string::npos) << r.out;
  EXPECT_EQ(read_bytes(file_), text);
  r = run("get " + quote(file_) + " Konfig secret");
  EXPECT_NE(r.out.find("other than the built-in one"), std::string::npos) << r.out;

  EXPECT_EQ(run("set --force " + quote(file_) + " Konfig extra 1").status, 0);
  // Forced: the value is stored, beside what the built-in key made of the rest.
  r = run("get " + quote(file_) + " Konfig extra");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(r.out.size() - 3), "\n1\n") << r.out;
}

TEST_F(InivaultTool, LfOnlyLineEndsAreWarnedAboutOnce) {
  write_bytes(file_, "[Konfig]\ninterval=3\nname=x\n");
  for (const std::string command : {"dump ", "get "}) {
    const ToolResult r = run(command + quote(file_) + (command == "get " ? " Konfig interval" : ""));
    const auto first = r.out.find("warning: " + file_ + " has line ends without CR");
    EXPECT_NE(first, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("warning", first + 1), std::string::npos) << r.out;
  }
  // A CR LF file says nothing.
  write_bytes(file_, "[Konfig]\r\ninterval=3\r\n");
  EXPECT_EQ(run("get " + quote(file_) + " Konfig interval").out, "3\n");
}

TEST_F(InivaultTool, SetRefusesWhatWouldInjectLines) {
  write_bytes(file_, "[s]\r\nk=v\r\n");
  for (const std::string args : {"s k 'a\r\n[evil]\r\nx=1'", "s 'k\nx' v", "'s\r' k v", "s 'a=b' v"}) {
    const ToolResult r = run("set " + quote(file_) + " " + args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.out.find("set refused"), std::string::npos) << args << r.out;
  }
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=v\r\n");
}

TEST_F(InivaultTool, VersionIsTheLibrarys) {
  const ToolResult r = run("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string("inivault ") + KN_INIVAULT_VERSION + "\n");
}

TEST_F(InivaultTool, HelpListsTheCommands) {
  const ToolResult r = run("--help");
  EXPECT_EQ(r.status, 0);
  for (const char* command : {"dump", "get", "set", "scramble", "unscramble"}) {
    EXPECT_NE(r.out.find(command), std::string::npos) << command;
  }
}

}  // namespace
