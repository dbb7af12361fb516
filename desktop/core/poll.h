#pragma once
// One poll of all stations: counts, extremes, history and the display text.
#include <cstdint>
#include <string>
#include <vector>

#include "core/app_state.h"

namespace kn {

inline constexpr const char* kNoStationsText = "keine Stationen hinterlegt.";
inline constexpr const char* kListenerFile = "file_from_web.txt";
inline constexpr const char* kTitleFile = "title_from_web.txt";

// What the poll needs from the rest of the program.
class PollHost {
 public:
  virtual ~PollHost() = default;
  virtual void set_tray_busy(bool busy) = 0;
  // Removes a listener answer file left behind by an earlier run.
  virtual void delete_listener_file() = 0;
  // The stations about to be asked, in list order: their requests may start
  // together now. end_requests gives up what is left when the poll ends.
  virtual void begin_requests(const std::vector<std::string>& /*stations*/) {}
  virtual void end_requests() {}
  // One listener request: the answer goes to the listener file, is read back and
  // the file is deleted; empty when no answer came.
  virtual std::string fetch_listeners(const std::string& url) = 0;
  // Shows the text; the text comes back prepared for display.
  virtual void set_Print_Text(std::string& text) = 0;
  // change_seconds = 0 and the change timer on.
  virtual void start_change_display() = 0;
  virtual int32_t fetch_current_song(const std::string& name, int32_t last_id,
                                     const std::string& count_text) = 0;
  // The program is ending: the poll asks no further station.
  virtual bool stop_requested() { return false; }
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

void check_stations(AppState& app, PollHost& host);

}  // namespace kn
