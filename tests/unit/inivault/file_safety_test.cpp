// Writing never destroys a file its owner did not let us write, never leaves a
// half-written one, and only regular files are read or written. The system's
// refusals (full disk, no inodes, read-only folder, failed rename) are played
// through the file layer's fault hook, so these run as any user; cases that need
// another user's file switch to "nobody" in a child process when run as root.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "document.h"
#include "file_cipher.h"
#include "file_io.h"
#include "inivault.h"
#include "test_support.h"

namespace {

namespace fs = ivtest::fs;
using inivault::FileStep;
using ivtest::read_bytes;
using ivtest::write_bytes;

constexpr uid_t kNobody = 65534;

// Runs `body` in a child process (as `uid` when given) and returns its exit code, or
// -1 when it died, e.g. from the alarm that stops a call that would hang.
int in_child(const std::function<int()>& body, uid_t uid = static_cast<uid_t>(-1)) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(10);
    if (uid != static_cast<uid_t>(-1)) {
      if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) ::_exit(99);
    }
    ::_exit(body());
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Makes the listed steps fail with the given error; a step listed with `after`
// fails only from its (after + 1)-th time on.
class Faults {
 public:
  struct Rule {
    FileStep step;
    int error;
    int after = 0;
  };
  explicit Faults(std::vector<Rule> rules) : rules_(std::move(rules)) {
    inivault::set_fault_hook([this](FileStep step) {
      for (Rule& rule : rules_) {
        if (rule.step != step) continue;
        if (rule.after > 0) {
          --rule.after;
          return 0;
        }
        return rule.error;
      }
      return 0;
    });
  }
  Faults(const Faults&) = delete;
  Faults& operator=(const Faults&) = delete;
  ~Faults() { inivault::set_fault_hook({}); }

 private:
  std::vector<Rule> rules_;
};

class InivaultFileSafety : public ::testing::Test {
 protected:
  void SetUp() override { ClearINIFile(); }

  std::size_t files_in_folder() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()));
  }

  // A document whose text is several write chunks long.
  static inivault::Document big_document() {
    inivault::Document doc;
    for (int i = 0; i < 8000; ++i) doc.set_value("s", "name" + std::to_string(i), std::string(20, 'v'), true);
    return doc;
  }

  ivtest::TempDir dir_;
  std::string file_ = (dir_ / "settings.ini").string();
  const std::string old_ = "[s]\r\nk=old value that the owner wants to keep\r\n\r\n";
};

TEST_F(InivaultFileSafety, FilesWithoutWritePermissionAreLeftAlone) {
  for (const fs::perms mode :
       {fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read, fs::perms::none}) {
    write_bytes(file_, old_);
    fs::permissions(file_, mode);
    ClearINIFile();
    ReadINIFile(file_.c_str());  // 0 for a mode-000 file unless we are root
    SetValueString("s", "k", "new");
    EXPECT_EQ(WriteINIFile(), 0);
    EXPECT_EQ(FC(file_.c_str(), "key"), 0);
    EXPECT_EQ(fs::status(file_).permissions(), mode);
    fs::permissions(file_, fs::perms::owner_read, fs::perm_options::add);
    EXPECT_EQ(read_bytes(file_), old_);
    EXPECT_EQ(files_in_folder(), 1u);
    fs::remove(file_);
  }
}

TEST_F(InivaultFileSafety, AnotherUsersFileIsNeitherTakenOverNorReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
  fs::permissions(dir_.path(), fs::perms::all);
  const auto others_write = [&] {
    ClearINIFile();
    ReadINIFile(file_.c_str());
    SetValueString("s", "k", "new");
    return static_cast<int>(WriteINIFile());
  };

  // Readable only: refused, although the folder would take a new file.
  write_bytes(file_, old_);
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  EXPECT_EQ(in_child(others_write, kNobody), 0);
  EXPECT_EQ(read_bytes(file_), old_);

  // Writable by everyone: written, but it stays root's file with its mode.
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read |
                             fs::perms::others_write);
  EXPECT_EQ(in_child(others_write, kNobody), 1);
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=new\r\n\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_mode & 0777, 0606u);
  EXPECT_EQ(files_in_folder(), 1u);
}

// A link another user put in a sticky folder everyone may write is not written
// through, whatever the system's protected_symlinks setting: it could point a
// privileged writer at any file. Other links are followed and stay links.
TEST_F(InivaultFileSafety, LinksPlantedInSharedFoldersAreNotWrittenThrough) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a link to another user";
  const auto shared = dir_ / "shared";
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  write_bytes(file_, old_);
  fs::permissions(file_, fs::perms::owner_read | fs::perms::owner_write);
  const auto plant = [](const fs::path& target, const fs::path& link, uid_t owner) {
    fs::remove(link);
    fs::create_symlink(target, link);
    ASSERT_EQ(::lchown(link.c_str(), owner, owner), 0);
  };

  // The file itself, and a folder on the way to it.
  plant(file_, shared / "app.ini", kNobody);
  plant(dir_.path(), shared / "folder", kNobody);
  for (const auto& path : {shared / "app.ini", shared / "folder" / "settings.ini"}) {
    ClearINIFile();
    ReadINIFile(path.c_str());  // 0 where the kernel protects links itself
    SetValueString("s", "injected", "yes");
    EXPECT_EQ(WriteINIFile(), 0) << path;
    EXPECT_EQ(FC(path.c_str(), "key"), 0) << path;
    EXPECT_EQ(FD(path.c_str(), "key"), 0) << path;
    EXPECT_EQ(read_bytes(file_), old_) << path;
  }
  EXPECT_TRUE(fs::is_symlink(shared / "app.ini"));
  EXPECT_EQ(files_in_folder(), 2u);
  EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 2);

  // Followed: a link of the caller's own or of the folder's owner, and one in a
  // folder that is not both sticky and writable by everyone.
  struct Case {
    uid_t link_owner, folder_owner;
    mode_t folder_mode;
  };
  for (const Case c :
       {Case{0, 0, 01777}, Case{kNobody, kNobody, 01777}, Case{kNobody, 0, 0777}, Case{kNobody, 0, 01775}}) {
    char label[64];
    std::snprintf(label, sizeof label, "link of %u, folder of %u, mode %o",
                  static_cast<unsigned>(c.link_owner), static_cast<unsigned>(c.folder_owner),
                  static_cast<unsigned>(c.folder_mode));
    ASSERT_EQ(::chown(shared.c_str(), c.folder_owner, c.folder_owner), 0);
    ASSERT_EQ(::chmod(shared.c_str(), c.folder_mode), 0);
    plant(file_, shared / "app.ini", c.link_owner);
    const std::string link = (shared / "app.ini").string();
    ClearINIFile();
    ReadINIFile(link.c_str());
    SetValueString("s", "k", label);
    EXPECT_EQ(WriteINIFile(), 1) << label;
    EXPECT_EQ(read_bytes(file_), "[s]\r\nk=" + std::string(label) + "\r\n\r\n") << label;
    EXPECT_EQ(FC(link.c_str(), "key"), 1) << label;
    EXPECT_EQ(FD(link.c_str(), "key"), 1) << label;
    EXPECT_EQ(read_bytes(file_), "[s]\r\nk=" + std::string(label) + "\r\n\r\n") << label;
    EXPECT_TRUE(fs::is_symlink(link)) << label;
  }
}

TEST_F(InivaultFileSafety, HardLinkedFileKeepsItsLinks) {
  const auto other = dir_ / "other-name.ini";
  write_bytes(file_, old_);
  fs::create_hard_link(file_, other);
  ReadINIFile(file_.c_str());
  SetValueString("s", "k", "new");
  ASSERT_EQ(WriteINIFile(), 1);
  EXPECT_EQ(fs::hard_link_count(file_), 2u);
  EXPECT_EQ(read_bytes(other), "[s]\r\nk=new\r\n\r\n");

  ASSERT_EQ(FC(other.c_str(), "key"), 1);
  EXPECT_EQ(fs::hard_link_count(file_), 2u);
  EXPECT_EQ(read_bytes(file_), read_bytes(other));
  EXPECT_NE(read_bytes(file_), "[s]\r\nk=new\r\n\r\n");
  EXPECT_EQ(files_in_folder(), 2u);
}

// No temporary file beside the target, for any reason but a folder that refuses
// new files: nothing is written, so a full disk cannot truncate the old file.
TEST_F(InivaultFileSafety, NoRoomForATemporaryFileLeavesTheOldOneIntact) {
  for (const int error : {ENOSPC, EDQUOT, EEXIST, EMFILE, EROFS, EIO}) {
    write_bytes(file_, old_);
    inivault::Document doc = big_document();
    doc.set_path(file_);
    const Faults faults({{FileStep::kCreateTemp, error}, {FileStep::kWrite, ENOSPC, 1}});
    EXPECT_FALSE(doc.write_file()) << error;
    EXPECT_FALSE(inivault::transform_file(file_, "key", inivault::Direction::kScramble)) << error;
    EXPECT_EQ(read_bytes(file_), old_) << error;
    EXPECT_EQ(files_in_folder(), 1u) << error;
  }
}

TEST_F(InivaultFileSafety, FailedWriteFlushOrRenameLeavesNoTrace) {
  for (const FileStep step : {FileStep::kWrite, FileStep::kFlush, FileStep::kRename}) {
    write_bytes(file_, old_);
    inivault::Document doc = big_document();
    doc.set_path(file_);
    const int error = step == FileStep::kWrite ? ENOSPC : step == FileStep::kFlush ? EIO : EXDEV;
    const Faults faults({{step, error, step == FileStep::kWrite ? 2 : 0}});
    EXPECT_FALSE(doc.write_file()) << static_cast<int>(step);
    EXPECT_EQ(read_bytes(file_), old_) << static_cast<int>(step);
    EXPECT_EQ(files_in_folder(), 1u) << static_cast<int>(step);
  }
}

// Until its folder reaches the disk, a crash can bring the old file back: a sync of
// the folder that fails makes the write a failure, though the new text is in place.
TEST_F(InivaultFileSafety, RenameCountsOnlyOnceItsFolderIsSynced) {
  write_bytes(file_, old_);
  inivault::Document doc;
  doc.set_path(file_);
  doc.set_value("s", "k", "new", true);
  {
    const Faults faults({{FileStep::kSyncFolder, EIO}});
    EXPECT_FALSE(doc.write_file());
    EXPECT_FALSE(inivault::transform_file(file_, "key", inivault::Direction::kScramble));
  }
  EXPECT_TRUE(doc.write_file());
  EXPECT_EQ(read_bytes(file_), doc.to_text());
  EXPECT_EQ(files_in_folder(), 1u);
}

// A folder that takes no new file: the file is overwritten in place, but only once
// its new size is reserved, so a full disk refuses the write instead of cutting it.
TEST_F(InivaultFileSafety, InPlaceWriteOnlyWhenTheNewContentFits) {
  write_bytes(file_, old_);
  inivault::Document doc = big_document();
  doc.set_path(file_);
  {
    const Faults faults({{FileStep::kCreateTemp, EACCES}, {FileStep::kReserve, ENOSPC}});
    EXPECT_FALSE(doc.write_file());
    EXPECT_EQ(read_bytes(file_), old_);
    EXPECT_EQ(fs::file_size(file_), old_.size());
  }
  {
    const Faults no_temp({{FileStep::kCreateTemp, EACCES}});
    ASSERT_TRUE(doc.write_file());
    EXPECT_EQ(read_bytes(file_), doc.to_text());
    // Shorter content cuts the rest off.
    inivault::Document small;
    small.set_path(file_);
    small.set_value("s", "k", "v", true);
    ASSERT_TRUE(small.write_file());
    EXPECT_EQ(read_bytes(file_), "[s]\r\nk=v\r\n\r\n");
  }
  EXPECT_EQ(files_in_folder(), 1u);

  // A file we may not write is not the in-place path's to take either.
  const Faults no_temp({{FileStep::kCreateTemp, EACCES}});
  fs::permissions(file_, fs::perms::owner_read);
  EXPECT_FALSE(doc.write_file());
  EXPECT_EQ(read_bytes(file_), "[s]\r\nk=v\r\n\r\n");
}

TEST_F(InivaultFileSafety, OnlyRegularFilesAreReadOrWritten) {
  const std::string fifo = (dir_ / "pipe.ini").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
  // In a child, so a call that blocks on the pipe is stopped by its alarm.
  EXPECT_EQ(in_child([&] { return static_cast<int>(ReadINIFile(fifo.c_str())); }), 0);
  EXPECT_EQ(in_child([&] { return static_cast<int>(FC(fifo.c_str(), "key")); }), 0);
  EXPECT_EQ(in_child([&] { return static_cast<int>(FD(fifo.c_str(), "key")); }), 0);
  EXPECT_EQ(in_child([&] {
              ReadINIFile(fifo.c_str());
              SetValueString("s", "k", "v");
              return static_cast<int>(WriteINIFile());
            }),
            0);
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(files_in_folder(), 1u);
}

}  // namespace
