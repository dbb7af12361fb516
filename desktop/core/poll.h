#pragma once
// One poll of all stations: counts, extremes, history and the display text. A poll
// never waits: its requests run elsewhere, and each call of advance() applies the
// answers that are ready, strictly in list order.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/answer_watch.h"
#include "core/app_state.h"
#include "core/request_batch.h"
#include "core/title_files.h"

namespace kn {

inline constexpr const char* kNoStationsText = "keine Stationen hinterlegt.";
inline constexpr const char* kListenerFile = "file_from_web.txt";
inline constexpr const char* kTitleFile = "title_from_web.txt";

// The poll's traffic with the system: the answer files and the requests.
class PollIo {
 public:
  virtual ~PollIo() = default;
  // Removes a listener answer file left behind by an earlier run.
  virtual void delete_listener_file() = 0;
  // Starts the poll's requests together, in the order given; returns at once. notify
  // runs on a worker after each answer.
  virtual std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& requests,
                                                       std::function<void()> notify) = 0;
  // A listener answer as the poll reads it: written to the listener file, read back,
  // the file deleted; empty for no answer.
  virtual std::string listener_text(const Answer& answer) = 0;
  // A current-song answer through the title file: a new song becomes a line of the
  // station's title file. Returns the id to remember.
  virtual int32_t current_song(const std::string& name, const Answer& answer, int32_t last_id,
                               const std::string& count_text) = 0;
  // The song of a current-song answer, for the history; read as the title file reads it.
  virtual std::optional<SongInfo> song_heard(const Answer& answer) {
    return answer ? parse_current_song(*answer) : std::nullopt;
  }
};

// What the user sees of a poll.
class PollView {
 public:
  virtual ~PollView() = default;
  virtual void set_tray_busy(bool busy) = 0;
  // Shows the text; the text comes back prepared for display.
  virtual void set_Print_Text(std::string& text) = 0;
  // change_seconds = 0 and the change timer on.
  virtual void start_change_display() = 0;
  // While on, the poll's owner is asked often to let the limits of its requests pass
  // even when a worker's word is late or lost.
  virtual void poll_limit_timer(bool on) = 0;
};

// The name percent-encoded where it could not stand in one path segment.
std::string path_segment(const std::string& name);

std::string listeners_url(const std::string& api_base_url, const std::string& station);
std::string current_song_url(const std::string& api_base_url, const std::string& station);

// " +0002" for a rise or no change, "  -0003" for a fall.
std::string change_mark(int32_t previous, int32_t current);

// Appends one station's entry: "NAME : count" first, then "NAME: count" after a line
// break, or after " -- " when the stations stand side by side.
void append_entry(std::string& display_text, const std::string& name, const std::string& count_text,
                  bool horizontal, const std::string& mark);

class Poll {
 public:
  // Begins a poll of app's stations: busy icon, requests started. Its station list,
  // mode and layout are fixed now. show_all (the double-click) shows every station
  // and, in change mode, starts the change timer once its last station is applied.
  // With no stations the first advance shows the hint and ends it.
  // notify runs on a worker after each answer.
  Poll(AppState& app, PollIo& io, PollView& view, std::function<void()> notify, bool show_all = false);
  Poll(const Poll&) = delete;
  Poll& operator=(const Poll&) = delete;

  // Applies the stations whose answers are decided, in list order; after the last
  // one the full text and the idle icon. True once the poll has ended.
  bool advance();
  // Ends a poll that has not ended, applying nothing more: its requests are cancelled
  // and the idle icon comes back.
  void drop();
  bool ended() const { return ended_; }
  bool show_all() const { return show_all_; }
  // The stations applied so far, in list order.
  const std::vector<StationResult>& results() const { return results_; }

 private:
  void apply(size_t station);
  void add_song(size_t station, size_t per_station);
  void finish();

  AppState& app_;
  PollIo& io_;
  PollView& view_;
  std::vector<std::string> names_;
  bool show_all_;
  bool only_changes_;  // the mode this poll shows
  bool change_mode_;   // the user's mode when it began
  bool horizontal_;
  bool titles_;
  bool songs_;  // asked for the title files, the history, or both
  bool no_stations_ = false;
  std::unique_ptr<PollRequests> requests_;
  size_t next_ = 0;
  std::string display_text_;
  std::vector<StationResult> results_;
  bool ended_ = false;
};

}  // namespace kn
