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

Poll::Poll(AppState& app, PollIo& io, PollView& view, std::function<void()> notify, bool show_all)
    : app_(app),
      io_(io),
      view_(view),
      show_all_(show_all),
      only_changes_(app.settings.only_changes && !show_all),
      change_mode_(app.settings.only_changes),
      horizontal_(app.settings.horizontal != 0),
      titles_(app.settings.write_title2file),
      songs_(titles_ || app.settings.keep_history) {
  view_.set_tray_busy(true);
  io_.delete_listener_file();
  no_stations_ = app_.settings.stations.empty();
  if (no_stations_) return;  // the first advance shows the hint
  // In the order they are applied, so one at a time asks station by station.
  std::vector<BatchRequest> requests;
  for (const auto& e : app_.station_list) {
    names_.push_back(e.name);
    requests.push_back({listeners_url(app_.settings.api_base_url, e.name), kListenerAnswerLimit});
    if (songs_) requests.push_back({current_song_url(app_.settings.api_base_url, e.name), kSongAnswerLimit});
  }
  requests_ = io_.start_requests(requests, std::move(notify));
}

bool Poll::advance() {
  if (!ended_ && no_stations_) {
    std::string text = kNoStationsText;
    view_.set_Print_Text(text);
    // The double-click in change mode lets even the hint go after its seconds.
    if (show_all_ && change_mode_) view_.start_change_display();
    finish();
  }
  while (!ended_ && next_ < names_.size()) {
    const size_t per_station = songs_ ? 2 : 1;
    const size_t first = next_ * per_station;
    if (!requests_->outcome(first)) break;
    if (songs_ && !requests_->outcome(first + 1)) break;
    apply(next_++);
  }
  if (!ended_ && next_ == names_.size()) {
    if (!only_changes_) view_.set_Print_Text(display_text_);
    if (show_all_ && change_mode_) view_.start_change_display();
    finish();
  }
  return ended_;
}

void Poll::apply(size_t i) {
  const size_t per_station = songs_ ? 2 : 1;
  const std::string& name = names_[i];
  const std::string answer = io_.listener_text(*requests_->outcome(i * per_station));
  const std::string count_text = format_0000(answer);
  double value = leading_number(count_text);
  // A count beyond 32 bits is no count: shown as it came, counted 0.
  if (!round_to_int32(value)) value = 0;
  // The list is rebuilt only after the poll of the old one has been dropped; should it
  // change all the same, the station still has its one result, in its place, and the
  // new list's entries are left alone.
  if (i >= app_.station_list.size() || app_.station_list[i].name != name) {
    results_.push_back({name, parse_number(answer).has_value(), round_clamp_int32(value)});
    add_song(i, per_station);
    return;
  }
  StationEntry& e = app_.station_list[i];
  e.previous_hoerer = e.current_hoerer;
  e.current_hoerer = round_clamp_int32(value);
  record_count(e, value, app_.history);
  results_.push_back({name, parse_number(answer).has_value(), e.current_hoerer});
  add_song(i, per_station);
  if (only_changes_) {
    if (e.previous_hoerer != e.current_hoerer) {
      append_entry(display_text_, name, count_text, horizontal_,
                   change_mark(e.previous_hoerer, e.current_hoerer));
      view_.set_Print_Text(display_text_);
      view_.start_change_display();
    }
  } else {
    append_entry(display_text_, name, count_text, horizontal_, "");
  }
  if (titles_) {
    e.last_song_id =
        io_.current_song(name, *requests_->outcome(i * per_station + 1), e.last_song_id, count_text);
  } else {
    e.last_song_id = 0;
  }
}

void Poll::add_song(size_t i, size_t per_station) {
  // Title files or not, the history keeps every poll's song.
  if (!app_.settings.keep_history || per_station < 2) return;
  if (const auto song = io_.song_heard(*requests_->outcome(i * per_station + 1))) {
    results_.back().artist = song->artist;
    results_.back().title = song->title;
  }
}

void Poll::drop() {
  if (!ended_) finish();
}

void Poll::finish() {
  ended_ = true;
  requests_.reset();
  view_.set_tray_busy(false);
}

}  // namespace kn
