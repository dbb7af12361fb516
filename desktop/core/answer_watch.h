#pragma once
// Tells the user when a station stops answering and when it is back. One poll with
// no count may be a hiccup; two in a row mean the station is down.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/settings.h"

namespace kn {

// One station as a poll that ran to its end saw it.
struct StationResult {
  std::string name;
  bool answered = false;  // the answer was a number
  int32_t count = 0;
  std::string artist = {};  // the current song, when the history asked for it
  std::string title = {};
};

class AnswerWatch {
 public:
  // The tray balloon holds this many characters (UTF-16 units).
  static constexpr std::size_t kMaxText = 255;
  static constexpr std::size_t kMaxLines = 3;

  // A poll that counts has ended; began is its start as the user reads a time.
  // Returns the lines to tell, CR LF between them, or nothing.
  std::string poll_ended(const std::vector<StationResult>& results, const std::string& began);
  // Every station answers again as far as anyone knows: at start-up and whenever the
  // station list is rebuilt.
  void reset() { states_.clear(); }

 private:
  struct State {
    int misses = 0;
    bool down = false;
    std::string first_miss;  // when the misses began
  };
  std::vector<State> states_;  // by place in the list
};

// Tells what the watch finds while the user has asked for it; with the option off it
// watches nothing, so turning it on starts afresh.
class AnswerNotifier {
 public:
  using Tell = std::function<void(const std::string& text)>;
  AnswerNotifier(const Settings& settings, Tell tell) : settings_(settings), tell_(std::move(tell)) {}

  void poll_ended(const std::vector<StationResult>& results, const std::string& began);
  void list_rebuilt() { watch_.reset(); }

 private:
  const Settings& settings_;
  Tell tell_;
  AnswerWatch watch_;
};

// The lines as one text: at most kMaxLines, then "und N weitere", cut to kMaxText.
std::string notice_text(const std::vector<std::string>& lines);

}  // namespace kn
