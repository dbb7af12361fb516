#include "core/poll.h"

#include "core/number_text.h"
#include "core/text_util.h"

namespace kn {

std::string path_segment(const std::string& name) {
  // A name must never address another resource of the platform.
  return percent_escape(name, [](unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '/' || c == '?' || c == '#' || c == '%';
  });
}

std::string listeners_url(const std::string& api_base_url, const std::string& station) {
  return api_base_url + "/station/" + path_segment(station) + "/listeners";
}

std::string current_song_url(const std::string& api_base_url, const std::string& station) {
  return api_base_url + "/station/" + path_segment(station) + "/current_song";
}

std::string change_mark(int32_t previous, int32_t current) {
  int64_t diff = static_cast<int64_t>(current) - previous;
  return (diff >= 0 ? " +" : "  ") + format_0000(diff);
}

void append_entry(std::string& display_text, const std::string& name, const std::string& count_text,
                  bool horizontal, const std::string& mark) {
  if (display_text.empty()) {
    display_text += to_upper(name) + " : " + count_text + mark;
  } else {
    display_text += (horizontal ? " -- " : "\r\n") + to_upper(name) + ": " + count_text + mark;
  }
}

void check_stations(AppState& app, PollHost& host) {
  host.set_tray_busy(true);
  host.delete_listener_file();
  if (app.stations.empty()) {
    std::string text = kNoStationsText;
    host.set_Print_Text(text);
    host.set_tray_busy(false);
    return;
  }
  std::vector<std::string> names;
  for (const auto& e : app.station_list) names.push_back(e.name);
  host.begin_requests(names);
  struct EndRequests {
    PollHost& host;
    ~EndRequests() { host.end_requests(); }
  } end_requests{host};
  std::string display_text;
  // Indexes, not references: messages handled inside the host's calls may run a
  // settings reload that rebuilds the list under us.
  for (size_t i = 0; i < app.station_list.size(); ++i) {
    if (host.stop_requested()) return;
    const std::string name = app.station_list[i].name;
    std::string answer = host.fetch_listeners(listeners_url(app.api_base_url, name));
    // A wait the end of the program broke off is no answer to count.
    if (host.stop_requested()) return;
    std::string count_text = format_0000(answer);
    if (i >= app.station_list.size()) break;
    StationEntry& e = app.station_list[i];
    e.previous_hoerer = e.current_hoerer;
    double value = leading_number(count_text);
    // A count beyond 32 bits is no count: shown as it came, counted 0.
    if (!round_to_int32(value)) value = 0;
    e.current_hoerer = round_clamp_int32(value);
    int32_t song_before = e.last_song_id;
    record_count(e, value, app.history);
    if (app.only_changes) {
      if (e.previous_hoerer != e.current_hoerer) {
        append_entry(display_text, name, count_text, app.horizontal != 0,
                     change_mark(e.previous_hoerer, e.current_hoerer));
        host.set_Print_Text(display_text);
        host.start_change_display();
      }
    } else {
      append_entry(display_text, name, count_text, app.horizontal != 0, "");
    }
    int32_t song = host.fetch_current_song(name, song_before, count_text);
    if (i < app.station_list.size()) app.station_list[i].last_song_id = song;
  }
  if (!app.only_changes) host.set_Print_Text(display_text);
  host.set_tray_busy(false);
}

}  // namespace kn
