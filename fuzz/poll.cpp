// A poll with a host whose answers come from the input.
//
// Input: LF-separated records.
//   record 0: options: 'c' change-only mode, 'h' horizontal layout, a digit 1..4 the
//             number of polls in a row (default 1).
//   record 1: the stations setting (';'-separated), as read_settings hands it over.
//   then:     the answers, consumed in request order (each station's listener request,
//             then its current-song request): a listener request takes the next record
//             as its answer text, a current-song request the next record's leading
//             integer as the song id. A record that starts with '!' is no answer.
//             The answers arrive in reverse order: the poll must still apply them in
//             list order.
//   Missing records answer "" and 0.
//
// Checked in every poll: busy first and idle last, one listener request and one
// current-song request per station with the station's URL and last song id, the counts
// and extremes of each station, and the display text in its grammar (entries
// "NAME : count", then "NAME: count" behind "\r\n" or " -- "; in change-only mode only
// changed stations, each with its mark, shown and announced once per change), and one
// history sample per station, up to the newest kMaxSamplesPerStation of each.
#include "core/poll.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "core/number_text.h"
#include "core/settings.h"
#include "core/text_util.h"

namespace {

struct Call {
  enum Kind { kBusy, kIdle, kDelete, kListeners, kSong, kShow, kChangeDisplay } kind;
  std::string text;  // url, shown text or station name
  std::int32_t last_id = 0;
  std::string count_text;
};

// Answers that come one by one, last request first.
class ReverseRequests : public kn::PollRequests {
 public:
  explicit ReverseRequests(std::vector<kn::Answer> answers)
      : answers_(std::move(answers)), arrived_(answers_.size()) {}
  std::optional<kn::Answer> outcome(std::size_t i) override {
    if (i < arrived_) return std::nullopt;
    return answers_[i];
  }
  bool arrive_one() {
    if (arrived_ == 0) return false;
    --arrived_;
    return true;
  }

 private:
  std::vector<kn::Answer> answers_;
  std::size_t arrived_;
};

class Host : public kn::PollIo, public kn::PollView {
 public:
  explicit Host(std::vector<std::string> records) : records_(std::move(records)) {}

  std::vector<Call> calls;
  std::vector<std::string> urls;
  std::vector<std::string> listener_answers;
  std::vector<std::int32_t> song_answers;
  ReverseRequests* requests = nullptr;

  void set_tray_busy(bool busy) override { add(busy ? Call::kBusy : Call::kIdle); }
  void delete_listener_file() override { add(Call::kDelete); }
  std::unique_ptr<kn::PollRequests> start_requests(const std::vector<kn::BatchRequest>& list,
                                                   std::function<void()>) override {
    std::vector<kn::Answer> answers;
    for (const auto& r : list) {
      urls.push_back(r.url);
      answers.push_back(next());
    }
    auto made = std::make_unique<ReverseRequests>(std::move(answers));
    requests = made.get();
    return made;
  }
  std::string listener_text(const kn::Answer& answer) override {
    listener_answers.push_back(answer.value_or(std::string()));
    add(Call::kListeners, listener_answers.back());
    return listener_answers.back();
  }
  void set_Print_Text(std::string& text) override { add(Call::kShow, text); }
  void start_change_display() override { add(Call::kChangeDisplay); }
  void poll_limit_timer(bool) override {}
  std::int32_t current_song(const std::string& name, const kn::Answer& answer, std::int32_t last_id,
                            const std::string& count_text) override {
    add(Call::kSong, name, last_id, count_text);
    song_answers.push_back(song_id(answer.value_or(std::string())));
    return song_answers.back();
  }

  void new_poll() {
    calls.clear();
    urls.clear();
    listener_answers.clear();
    song_answers.clear();
    requests = nullptr;
  }

 private:
  void add(Call::Kind kind, std::string text = {}, std::int32_t last_id = 0, std::string count_text = {}) {
    calls.push_back(Call{kind, std::move(text), last_id, std::move(count_text)});
  }

  kn::Answer next() {
    if (pos_ >= records_.size()) return std::string();
    const std::string& r = records_[pos_++];
    if (!r.empty() && r[0] == '!') return std::nullopt;
    return r;
  }

  static std::int32_t song_id(std::string_view t) {
    long long v = 0;
    std::size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative) ++i;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9' && v < 1000000000; ++i) v = v * 10 + (t[i] - '0');
    return static_cast<std::int32_t>(negative ? -v : v);
  }

  std::vector<std::string> records_;
  std::size_t pos_ = 0;
};

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The URL is base + "/station/" + one path segment naming the station + suffix.
void check_url(const std::string& url, const std::string& base, const std::string& name,
               std::string_view suffix) {
  const std::string head = base + "/station/";
  FUZZ_CHECK(url.size() >= head.size() + suffix.size());
  FUZZ_CHECK(url.compare(0, head.size(), head) == 0);
  FUZZ_CHECK(url.compare(url.size() - suffix.size(), suffix.size(), suffix) == 0);
  const std::string_view segment(url.data() + head.size(), url.size() - head.size() - suffix.size());
  std::string decoded;
  for (std::size_t i = 0; i < segment.size(); ++i) {
    const auto c = static_cast<unsigned char>(segment[i]);
    FUZZ_CHECK(c > 0x20 && c < 0x7F && c != '/' && c != '?' && c != '#');
    if (c == '%') {
      FUZZ_CHECK(i + 2 < segment.size());
      const int hi = hex_value(segment[i + 1]);
      const int lo = hex_value(segment[i + 2]);
      FUZZ_CHECK(hi >= 0 && lo >= 0);
      decoded += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else {
      decoded += static_cast<char>(c);
    }
  }
  FUZZ_CHECK(decoded == name);
}

// The "0000" form of a listener answer: a number becomes a signed integer of at least
// four digits, anything else stays as it came.
bool is_count_form(const std::string& s) {
  std::size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
  if (s.size() - i < 4) return false;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return true;
}

std::string mark_of(std::int32_t previous, std::int32_t current) {
  const long long diff = static_cast<long long>(current) - previous;
  const long long mag = diff < 0 ? -diff : diff;
  std::string digits = std::to_string(mag);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return (diff >= 0 ? " +" : "  -") + digits;
}

std::map<std::string, std::size_t> samples_per_station(const kn::History& history) {
  std::map<std::string, std::size_t> out;
  const auto& entries = history.entries();
  FUZZ_CHECK(!entries.empty() && history.sample_count() == entries.size() - 1);
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) ++out[entries[i].station];
  return out;
}

void check_poll(kn::AppState& app, Host& host) {
  const std::vector<kn::StationEntry> before = app.station_list;
  const std::map<std::string, std::size_t> samples_before = samples_per_station(app.history);
  host.new_poll();
  kn::Poll poll(app, host, host, {});
  // Nothing is applied before the first station's answers are there.
  while (!poll.advance()) {
    FUZZ_CHECK(host.listener_answers.empty());
    FUZZ_CHECK(host.requests && host.requests->arrive_one());
  }

  const auto& calls = host.calls;
  FUZZ_CHECK(calls.size() >= 3);
  FUZZ_CHECK(calls.front().kind == Call::kBusy && calls[1].kind == Call::kDelete &&
             calls.back().kind == Call::kIdle);

  if (app.settings.stations.empty()) {
    FUZZ_CHECK(calls.size() == 4 && calls[2].kind == Call::kShow && calls[2].text == kn::kNoStationsText);
    return;
  }

  const bool horizontal = app.settings.horizontal != 0;
  const std::string separator = horizontal ? " -- " : "\r\n";
  std::string expected_text;
  std::vector<std::string> expected_shows;
  std::size_t c = 2;
  FUZZ_CHECK(app.station_list.size() == before.size());
  FUZZ_CHECK(host.listener_answers.size() == before.size() && host.song_answers.size() == before.size());
  FUZZ_CHECK(host.urls.size() == 2 * before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    const std::string& name = before[i].name;
    const kn::StationEntry& e = app.station_list[i];
    check_url(host.urls[2 * i], app.settings.api_base_url, name, "/listeners");
    check_url(host.urls[2 * i + 1], app.settings.api_base_url, name, "/current_song");
    FUZZ_CHECK(c < calls.size() && calls[c].kind == Call::kListeners);
    ++c;

    const std::string& answer = host.listener_answers[i];
    const std::string count_text = kn::format_0000(answer);
    if (kn::parse_number(answer)) {
      FUZZ_CHECK(is_count_form(count_text));
    } else {
      FUZZ_CHECK(count_text == answer);
    }
    // The count: the number at the start of the count text, 0 beyond 32 bits.
    const double value = kn::leading_number(count_text);
    const auto rounded = kn::round_to_int32(value);
    const std::int32_t count = rounded ? *rounded : 0;
    FUZZ_CHECK(e.name == name);
    FUZZ_CHECK(e.previous_hoerer == before[i].current_hoerer);
    FUZZ_CHECK(e.current_hoerer == count);
    FUZZ_CHECK(e.min_hoerer <= before[i].min_hoerer && e.max_hoerer >= before[i].max_hoerer);
    FUZZ_CHECK(e.min_hoerer <= e.current_hoerer && e.current_hoerer <= e.max_hoerer);

    const std::string entry_name = kn::to_upper(name);
    auto append = [&](const std::string& mark) {
      expected_text += expected_text.empty() ? entry_name + " : " : separator + entry_name + ": ";
      expected_text += count_text + mark;
    };
    if (app.settings.only_changes) {
      if (e.previous_hoerer != e.current_hoerer) {
        append(mark_of(e.previous_hoerer, e.current_hoerer));
        FUZZ_CHECK(c + 1 < calls.size() && calls[c].kind == Call::kShow && calls[c].text == expected_text);
        FUZZ_CHECK(calls[c + 1].kind == Call::kChangeDisplay);
        c += 2;
      }
    } else {
      append("");
    }

    FUZZ_CHECK(c < calls.size() && calls[c].kind == Call::kSong);
    FUZZ_CHECK(calls[c].text == name && calls[c].last_id == before[i].last_song_id);
    FUZZ_CHECK(calls[c].count_text == count_text);
    FUZZ_CHECK(e.last_song_id == host.song_answers[i]);
    ++c;
  }
  if (!app.settings.only_changes) {
    FUZZ_CHECK(c < calls.size() && calls[c].kind == Call::kShow && calls[c].text == expected_text);
    ++c;
  }
  FUZZ_CHECK(c + 1 == calls.size());
  // One sample per station polled; a station keeps only its newest samples.
  std::map<std::string, std::size_t> expected_samples = samples_before;
  for (const auto& e : before) {
    auto& n = expected_samples[e.name];
    n = std::min(n + 1, kn::kMaxSamplesPerStation);
  }
  FUZZ_CHECK(samples_per_station(app.history) == expected_samples);
  const kn::HistoryEntry& slot = app.history.entries().back();  // the empty slot stays last
  FUZZ_CHECK(slot.station.empty() && slot.count == 0 && slot.date.empty() && slot.time.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> records;
  for (std::size_t start = 0; start <= in.size();) {
    const std::size_t end = in.find('\n', start);
    records.emplace_back(
        in.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const std::string options = records[0];
  kn::AppState app;
  app.settings.api_base_url = "http://127.0.0.1:8080";
  app.settings.write_title2file = true;
  app.settings.only_changes = options.find('c') != std::string::npos;
  app.settings.horizontal = options.find('h') != std::string::npos ? 1 : 0;
  int polls = 1;
  for (char ch : options) {
    if (ch >= '1' && ch <= '4') polls = ch - '0';
  }
  app.settings.stations = records.size() > 1 ? records[1] : std::string();
  kn::build_station_list(app.settings.stations, app.station_list);

  Host host(records.size() > 2 ? std::vector<std::string>(records.begin() + 2, records.end())
                                    : std::vector<std::string>());
  for (int i = 0; i < polls; ++i) check_poll(app, host);
  return 0;
}
