#include "core/answer_watch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text_util.h"

namespace kn {
namespace {

StationResult up(const std::string& name, int32_t count) { return {name, true, count}; }
StationResult miss(const std::string& name) { return {name, false, 0}; }

TEST(AnswerWatch, TwoMissesInARowTellOnceWithTheFirstPollsTime) {
  AnswerWatch w;
  EXPECT_EQ(w.poll_ended({up("nachtradio", 3)}, "14:00"), "");
  EXPECT_EQ(w.poll_ended({miss("nachtradio")}, "14:03"), "");  // one may be a hiccup
  EXPECT_EQ(w.poll_ended({miss("nachtradio")}, "14:06"), "Keine Antwort von NACHTRADIO seit 14:03.");
  EXPECT_EQ(w.poll_ended({miss("nachtradio")}, "14:09"), "");
  EXPECT_EQ(w.poll_ended({up("nachtradio", 42)}, "14:12"), "NACHTRADIO antwortet wieder: 42 H\xC3\xB6rer.");
  EXPECT_EQ(w.poll_ended({up("nachtradio", 40)}, "14:15"), "");
  // A single miss between answers tells nothing, and is forgotten by the answer.
  EXPECT_EQ(w.poll_ended({miss("nachtradio")}, "14:18"), "");
  EXPECT_EQ(w.poll_ended({up("nachtradio", 40)}, "14:21"), "");
  EXPECT_EQ(w.poll_ended({miss("nachtradio")}, "14:24"), "");
  EXPECT_EQ(w.poll_ended({miss("nachtradio")}, "14:27"), "Keine Antwort von NACHTRADIO seit 14:24.");
}

TEST(AnswerWatch, StartAndARebuiltListBeginAsAnswering) {
  AnswerWatch w;
  // Already down at start: told after the second poll, with the first one's time.
  EXPECT_EQ(w.poll_ended({miss("schoene welle")}, "08:00"), "");
  EXPECT_EQ(w.poll_ended({miss("schoene welle")}, "08:03"),
            "Keine Antwort von SCH\xC3\x96NE WELLE seit 08:00.");
  w.reset();
  // A new list: neither "back" for the old down station nor a carried-over miss.
  EXPECT_EQ(w.poll_ended({up("schoene welle", 5)}, "08:06"), "");
  EXPECT_EQ(w.poll_ended({miss("schoene welle")}, "08:09"), "");
  w.reset();
  EXPECT_EQ(w.poll_ended({miss("schoene welle")}, "08:12"), "");
}

TEST(AnswerWatch, OnePollsChangesGoIntoOneTextNoAnswerFirst) {
  AnswerWatch w;
  w.poll_ended({miss("a"), up("b", 1), miss("c")}, "10:00");
  w.poll_ended({miss("a"), miss("b"), miss("c")}, "10:03");
  EXPECT_EQ(w.poll_ended({up("a", 7), miss("b"), up("c", 0)}, "10:06"),
            "Keine Antwort von B seit 10:03.\r\nA antwortet wieder: 7 H\xC3\xB6rer.\r\n"
            "C antwortet wieder: 0 H\xC3\xB6rer.");
}

TEST(AnswerWatch, FourStationsAtOnceGiveThreeLinesAndTheRestCounted) {
  AnswerWatch w;
  const std::vector<StationResult> down = {miss("a"), miss("b"), miss("c"), miss("d")};
  w.poll_ended(down, "10:00");
  EXPECT_EQ(w.poll_ended(down, "10:03"),
            "Keine Antwort von A seit 10:00.\r\nKeine Antwort von B seit 10:00.\r\n"
            "Keine Antwort von C seit 10:00.\r\nund 1 weitere");
}

TEST(AnswerWatch, TextIsCutToWhatTheBalloonHoldsNeverInsideACharacter) {
  EXPECT_EQ(notice_text({}), "");
  const std::string fits(255, 'x');
  EXPECT_EQ(notice_text({fits}), fits);
  EXPECT_EQ(notice_text({fits + "y"}), fits);
  // Umlauts count as one each; a character outside the BMP as two, never split.
  const std::string umlauts = std::string(254, 'x') + "\xC3\xB6\xC3\xB6";
  EXPECT_EQ(notice_text({umlauts}), std::string(254, 'x') + "\xC3\xB6");
  const std::string emoji = std::string(254, 'x') + "\xF0\x9F\x93\xBB";
  EXPECT_EQ(notice_text({emoji}), std::string(254, 'x'));
  const std::string long_name(300, 'n');
  AnswerWatch w;
  w.poll_ended({miss(long_name)}, "10:00");
  const std::string told = w.poll_ended({miss(long_name)}, "10:03");
  EXPECT_EQ(utf8_to_utf16(told).size(), AnswerWatch::kMaxText);
  EXPECT_EQ(told.rfind("Keine Antwort von NNN", 0), 0u);
}

TEST(AnswerNotifier, TellsOnlyWhileTheOptionIsOnAndStartsAfreshWhenTurnedOn) {
  Settings settings;
  std::vector<std::string> told;
  AnswerNotifier notifier(settings, [&](const std::string& text) { told.push_back(text); });
  EXPECT_FALSE(settings.notify_no_answer);  // off unless the user turns it on
  notifier.poll_ended({miss("a")}, "09:00");
  notifier.poll_ended({miss("a")}, "09:03");
  EXPECT_TRUE(told.empty());
  settings.notify_no_answer = true;  // saved: the list is rebuilt too
  notifier.list_rebuilt();
  notifier.poll_ended({miss("a")}, "09:06");
  EXPECT_TRUE(told.empty());
  notifier.poll_ended({miss("a")}, "09:09");
  notifier.poll_ended({up("a", 1)}, "09:12");
  EXPECT_EQ(told, (std::vector<std::string>{"Keine Antwort von A seit 09:06.",
                                            "A antwortet wieder: 1 H\xC3\xB6rer."}));
}

}  // namespace
}  // namespace kn
