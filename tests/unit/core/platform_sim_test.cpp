#include <gtest/gtest.h>

#include "station_script.h"

namespace sim {
namespace {

TEST(StationScript, NamesChooseTheBehaviour) {
  StationScript s;
  EXPECT_EQ(s.answer("/station/fixed-42/listeners").body, "42");
  EXPECT_EQ(s.answer("/station/crlf-7/listeners").body, "7\r\n");
  EXPECT_EQ(s.answer("/station/text-hallo welt/listeners").body, "hallo welt");
  Answer e = s.answer("/station/status-404/listeners");
  EXPECT_EQ(e.status, 404);
  EXPECT_NE(e.body.find("<html>"), std::string::npos);
  EXPECT_TRUE(s.answer("/station/drop/listeners").drop);
  EXPECT_EQ(s.answer("/station/slow-20-3/listeners").delay_seconds, 20);
  EXPECT_GT(s.answer("/station/big-2/listeners").body.size(), 2048u);
  EXPECT_EQ(s.answer("/nothing").status, 404);
}

TEST(StationScript, SequencesAdvancePerStationAndEndpointAndReset) {
  StationScript s;
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "1");
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "2");
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "2");
  EXPECT_NE(s.answer("/station/songs-4-5/current_song").body.find("\"id\": 4"), std::string::npos);
  EXPECT_NE(s.answer("/station/songs-4-5/current_song").body.find("\"id\": 5"), std::string::npos);
  s.reset();
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "1");
}

TEST(StationScript, RandomWalkStaysNonNegativeAndSongsCarryTheMembers) {
  StationScript s;
  for (int i = 0; i < 200; ++i) {
    EXPECT_GE(std::stoi(s.answer("/station/nachtradio/listeners").body), 0);
  }
  std::string song = s.answer("/station/nachtradio/current_song").body;
  for (const char* member : {"\"id\"", "\"title\"", "\"artist\"", "\"name\"", "\"album\""}) {
    EXPECT_NE(song.find(member), std::string::npos) << member;
  }
  EXPECT_EQ(url_decode("/station/schoene%20lieder/listeners"), "/station/schoene lieder/listeners");
}

}  // namespace
}  // namespace sim
