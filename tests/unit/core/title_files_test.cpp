#include <gtest/gtest.h>

#include "core/title_files.h"

namespace kn {
namespace {

const std::string kSong =
    R"({"id": 12, "title": "Sch)" "\xC3\xB6" R"(n", "artist": {"name": "Band"}, "album": "Platte"})";

struct Recorder {
  std::vector<std::string> lines;
  LineWriter writer() {
    return [this](const std::string& l) {
      lines.push_back(l);
      return true;
    };
  }
};

NowText fixed_now() { return [] { return std::pair<std::string, std::string>("08.12.2026", "14:05:09"); }; }

TEST(TitleFiles, NewSongWritesSevenFieldsOnce) {
  Recorder r;
  int32_t id = handle_current_song(kSong, 0, "0042", r.writer(), fixed_now());
  EXPECT_EQ(id, 12);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], "\"08.12.2026\",\"14:05:09\",12,\"Sch\xC3\xB6n\",\"Band\",\"Platte\",42");
  // The same song on later polls writes nothing more.
  EXPECT_EQ(handle_current_song(kSong, id, "0043", r.writer(), fixed_now()), 12);
  EXPECT_EQ(r.lines.size(), 1u);
}

TEST(TitleFiles, ShortBrokenOrIncompleteAnswersWriteNothing) {
  Recorder r;
  EXPECT_EQ(handle_current_song("", 5, "1", r.writer(), fixed_now()), 0);
  EXPECT_EQ(handle_current_song("{\"id\":1}", 5, "1", r.writer(), fixed_now()), 0);  // under 10
  EXPECT_EQ(handle_current_song("{\"id\": 12, \"title\": \"x\"", 5, "1", r.writer(), fixed_now()), 0);
  EXPECT_EQ(handle_current_song("{\"id\": 12, \"title\": \"x\", \"album\": \"y\"}", 5, "1", r.writer(),
                                fixed_now()),
            0);
  EXPECT_EQ(handle_current_song("<html>Fehler 500</html>", 5, "1", r.writer(), fixed_now()), 0);
  EXPECT_TRUE(r.lines.empty());
}

TEST(TitleFiles, IdRulesAndNonTextFields) {
  Recorder r;
  const std::string zero = R"({"id": 0, "title": "a", "artist": {"name": "b"}, "album": "c"})";
  EXPECT_EQ(handle_current_song(zero, 5, "1", r.writer(), fixed_now()), 0);
  const std::string huge = R"({"id": 99999999999, "title": "a", "artist": {"name": "b"}, "album": "c"})";
  EXPECT_EQ(handle_current_song(huge, 5, "1", r.writer(), fixed_now()), 0);
  EXPECT_TRUE(r.lines.empty());
  const std::string odd = R"({"id": "7", "title": null, "artist": {"name": 3.5}, "album": [1,true]})";
  EXPECT_EQ(handle_current_song(odd, 0, "", r.writer(), fixed_now()), 7);
  ASSERT_EQ(r.lines.size(), 1u);
  EXPECT_EQ(r.lines[0], "\"08.12.2026\",\"14:05:09\",7,\"\",\"3.5\",\"[1,true]\",0");
}

TEST(TitleFiles, FailedWriteStillReturnsTheId) {
  int32_t id = handle_current_song(kSong, 0, "1", [](const std::string&) { return false; }, fixed_now());
  EXPECT_EQ(id, 12);
}

TEST(TitleFiles, FileNamesStayInTheFolder) {
  EXPECT_EQ(title_file_name("nachtradio"), "titel_nachtradio.txt");
  EXPECT_EQ(title_file_name("schoene lieder"), "titel_schoene lieder.txt");
  EXPECT_EQ(title_file_name("..\\..\\x:y*?"), "titel_.._.._x_y__.txt");
  EXPECT_EQ(title_file_name(".."), "titel___.txt");
}

}  // namespace
}  // namespace kn
