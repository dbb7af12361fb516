// The poll's life under a random schedule: the real runner, poll and request batch in
// the simulated world, driven by events drawn from the tables, against a plain model
// of what every poll must have done; the invariants are checked after each event.
#include "poll_sim/simulation.h"

#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/poll.h"
#include "core/poll_runner.h"
#include "core/request_batch.h"
#include "poll_sim/events.h"
#include "poll_sim/world.h"
#include "splitmix.h"

namespace kn::poll_sim {
namespace {

struct PollRecord {
  int no = 0;
  int64_t seq = 0;  // when it began, in events
  bool titles = false;
  std::vector<std::string> names;
  std::vector<std::string> listener_urls;
  std::vector<std::string> song_urls;
  std::set<std::string> blocked_at_start;  // by an earlier call past its limit
  int64_t started_ms = 0;
  size_t listeners_applied = 0;
  size_t songs_applied = 0;
  bool drop_asked = false;
};

class Simulation;

class SimHost : public PollIo, public PollView {
 public:
  explicit SimHost(Simulation& sim) : sim_(sim) {}
  void set_tray_busy(bool busy) override;
  void delete_listener_file() override {}
  std::unique_ptr<PollRequests> start_requests(const std::vector<BatchRequest>& requests,
                                               std::function<void()> notify) override;
  std::string listener_text(const Answer& answer) override;
  void set_Print_Text(std::string& text) override;
  void start_change_display() override;
  int32_t current_song(const std::string& name, const Answer& answer, int32_t last_id,
                       const std::string& count_text) override;
  void poll_limit_timer(bool on) override;

 private:
  Simulation& sim_;
};

class Simulation {
 public:
  // Neighbouring numbers start far apart.
  explicit Simulation(uint64_t number) : number_(number), rng_(number * 0x9E3779B97F4A7C15ull + 1) {}

  // Runs the schedule; the faults found, empty when every invariant held.
  std::vector<std::string> run(int events);
  std::string schedule() const { return log_.str(); }

 private:
  friend class SimHost;

  // Inside a callback: entering one while another runs is a step inside a step.
  struct Depth {
    Simulation& s;
    explicit Depth(Simulation& sim) : s(sim) {
      if (s.depth_ > 0) s.fault("a step ran inside another");
      ++s.depth_;
    }
    ~Depth() { --s.depth_; }
  };

  void fault(const std::string& what) {
    if (faults_.size() < 5) faults_.push_back("event " + std::to_string(seq_) + ": " + what);
  }
  void note(const std::string& what) { log_ << seq_ << " " << what << "\n"; }
  void note(Event e, const std::string& detail) { note(std::string(name_of(e)) + " " + detail); }

  std::string station_name(int i) const { return std::string(1, static_cast<char>('a' + i)); }
  void new_settings(AppState& app);
  void rebuild();
  void event();
  bool open_parked();
  Event program_call(int close_percent, Event instead);
  void reenter(const char* where);
  void call_runner(Event call, bool nested);
  void check_between_events();
  void finish_schedule();
  bool empty_is_allowed(const PollRecord& rec, const std::string& url) const;
  // Checks an applied answer; returns it without the call's mark.
  std::string applied(PollRecord& rec, const std::string& url, const Answer& answer);

  uint64_t number_;
  SplitMix64 rng_;
  std::ostringstream log_;
  std::vector<std::string> faults_;
  int64_t seq_ = 0;
  int depth_ = 0;

  std::shared_ptr<World> world_ = std::make_shared<World>();
  std::shared_ptr<Workers> workers_;
  AppState app_;
  SimHost host_{*this};
  std::unique_ptr<PollRunner> runner_;
  unsigned parallel_ = 8;

  bool busy_ = false;
  bool limit_timer_ = false;
  bool closed_ = false;
  int polls_ = 0;
  std::deque<PollRecord> records_;
  PollRecord* current_ = nullptr;             // the poll being set up or running
  PollRecord* last_ended_ = nullptr;          // the poll that ran to its end last
  int64_t order_ = 0;                         // double-clicks and poll starts, in the order they came
  bool drop_pending_ = false;                 // a drop was asked in the running event
  std::map<std::string, int> song_now_;       // station -> the server's song
  std::map<std::string, int32_t> last_song_;  // station -> the id its entry must hold
  std::map<std::string, std::set<int>> written_;
  int64_t owed_since_ = -1;  // a double-click's poll is owed since this event
  int reentries_left_ = 0;
};

void SimHost::set_tray_busy(bool busy) {
  Simulation& s = sim_;
  const Simulation::Depth depth(s);
  if (s.closed_) s.fault("the busy icon changed after the end");
  if (busy) {
    if (s.busy_) s.fault("a poll began while another was busy");
    s.busy_ = true;
    s.records_.push_back({});
    PollRecord& rec = s.records_.back();
    rec.no = ++s.polls_;
    rec.seq = ++s.order_;
    rec.started_ms = s.world_->clock_ms.load();
    rec.drop_asked = s.drop_pending_;
    s.current_ = &rec;
  } else {
    if (!s.busy_) s.fault("idle without busy");
    s.busy_ = false;
    PollRecord* rec = s.current_;
    const Poll* poll = s.runner_->poll();
    if (rec && poll) {
      // Ran to its end: every station exactly once, in list order.
      if (rec->listeners_applied != rec->names.size())
        s.fault("poll " + std::to_string(rec->no) + " ended after " + std::to_string(rec->listeners_applied) +
                " of " + std::to_string(rec->names.size()) + " stations");
      if (rec->titles && rec->songs_applied != rec->names.size()) s.fault("a poll ended without every song");
      if (poll->show_all() && s.owed_since_ >= 0 && rec->seq > s.owed_since_) s.owed_since_ = -1;
      s.last_ended_ = rec;
    } else if (rec && !rec->drop_asked) {
      s.fault("poll " + std::to_string(rec->no) + " went without being dropped");
    }
    s.current_ = nullptr;
  }
  s.reenter(busy ? "busy" : "idle");
}

std::unique_ptr<PollRequests> SimHost::start_requests(const std::vector<BatchRequest>& requests,
                                                      std::function<void()> notify) {
  Simulation& s = sim_;
  const Simulation::Depth depth(s);
  if (!s.current_) {
    s.fault("requests without a busy poll");
    s.records_.push_back({});
    s.current_ = &s.records_.back();
  }
  PollRecord& rec = *s.current_;
  rec.titles = s.app_.settings.write_title2file;
  for (const auto& e : s.app_.station_list) rec.names.push_back(e.name);
  for (const auto& r : requests) {
    const bool song = r.url.size() > 13 && r.url.compare(r.url.size() - 13, 13, "/current_song") == 0;
    (song ? rec.song_urls : rec.listener_urls).push_back(r.url);
  }
  {
    std::lock_guard<std::mutex> lock(s.world_->m);
    for (const auto& c : s.world_->calls) {
      if (!c->open && c->started_ms + kLimitMs <= rec.started_ms) rec.blocked_at_start.insert(c->url);
    }
  }
  return std::make_unique<RequestBatch>(requests, s.parallel_, std::chrono::milliseconds(kLimitMs),
                                        s.world_->fetch_for(rec.no), s.workers_, std::move(notify),
                                        s.world_->clock());
}

bool Simulation::empty_is_allowed(const PollRecord& rec, const std::string& url) const {
  const int64_t now = world_->clock_ms.load();
  std::lock_guard<std::mutex> lock(world_->m);
  for (const auto& c : world_->calls) {
    if (c->poll != rec.no || c->url != url) continue;
    if (c->open) return !c->answered_in_time;
    return now >= c->started_ms + kLimitMs;
  }
  // Never asked: its address was held by a call past its limit, or it waited past one.
  return rec.blocked_at_start.count(url) > 0 || now >= rec.started_ms + kLimitMs;
}

std::string Simulation::applied(PollRecord& rec, const std::string& url, const Answer& answer) {
  if (!answer || answer->empty()) {
    if (!empty_is_allowed(rec, url)) fault("poll " + std::to_string(rec.no) + " got no answer for " + url);
    return {};
  }
  const size_t mark = answer->rfind('#');
  std::shared_ptr<Call> call;
  {
    std::lock_guard<std::mutex> lock(world_->m);
    if (mark != std::string::npos) {
      auto it = world_->by_id.find(std::atoi(answer->c_str() + mark + 1));
      if (it != world_->by_id.end()) call = it->second;
    }
  }
  if (!call || call->poll != rec.no || call->url != url) {
    fault("poll " + std::to_string(rec.no) + " applied another request's answer for " + url);
  }
  return answer->substr(0, mark);
}

std::string SimHost::listener_text(const Answer& answer) {
  Simulation& s = sim_;
  const Simulation::Depth depth(s);
  if (!s.current_) return {};
  PollRecord& rec = *s.current_;
  const size_t i = rec.listeners_applied++;
  if (i >= rec.listener_urls.size()) {
    s.fault("more stations applied than asked");
    return {};
  }
  return s.applied(rec, rec.listener_urls[i], answer);
}

int32_t SimHost::current_song(const std::string& name, const Answer& answer, int32_t last_id,
                              const std::string&) {
  Simulation& s = sim_;
  const Simulation::Depth depth(s);
  if (!s.current_) return 0;
  PollRecord& rec = *s.current_;
  const size_t i = rec.songs_applied++;
  if (i >= rec.song_urls.size()) {
    s.fault("more songs applied than asked");
    return 0;
  }
  if (last_id != s.last_song_[name]) s.fault("the song id of " + name + " was lost");
  const std::string text = s.applied(rec, rec.song_urls[i], answer);
  if (text.empty()) {
    // No answer forgets the song: the next one is written again, as the title file wants.
    s.written_[name].clear();
    s.last_song_[name] = 0;
    return 0;
  }
  const int id = std::atoi(text.c_str() + 5);  // "song N"
  if (id != last_id) {
    if (!s.written_[name].insert(id).second)
      s.fault("song " + std::to_string(id) + " of " + name + " written twice");
  }
  s.last_song_[name] = id;
  return id;
}

void SimHost::set_Print_Text(std::string&) {
  Simulation& s = sim_;
  const Simulation::Depth depth(s);
  s.reenter("text");
}

void SimHost::start_change_display() {
  Simulation& s = sim_;
  const Simulation::Depth depth(s);
  s.reenter("change display");
}

void SimHost::poll_limit_timer(bool on) {
  Simulation& s = sim_;
  if (on && s.limit_timer_) s.fault("the poll-limit timer of a poll was never ended");
  s.limit_timer_ = on;
}

void Simulation::new_settings(AppState& app) {
  std::string list;
  const int count = rng_.below(5);  // none to four stations
  for (int i = 0; i < count; ++i) list += (i ? ";" : "") + station_name(rng_.below(2) * 4 + i);
  app.settings.stations = list;
  app.settings.write_title2file = rng_.chance(50);
  app.settings.only_changes = rng_.chance(40);
  app.settings.horizontal = rng_.chance(30) ? 1 : 0;
  parallel_ = static_cast<unsigned>(1 + rng_.below(8));
}

void Simulation::rebuild() {
  new_settings(app_);
  build_station_list(app_.settings.stations, app_.station_list);
  last_song_.clear();
  written_.clear();
  note("  settings now \"" + app_.settings.stations + "\"" +
       (app_.settings.write_title2file ? " titles" : "") + (app_.settings.only_changes ? " changes" : ""));
}

// What the program can ask of the runner; nested: from inside a callback.
void Simulation::call_runner(Event call, bool nested) {
  note((nested ? "  (nested) " : "") + std::string(name_of(call)));
  // A drop asked inside a step runs later, maybe on a poll that begins meanwhile.
  auto drop_asked = [&] {
    for (auto& r : records_) r.drop_asked = true;
    drop_pending_ = true;
  };
  switch (call) {
    case Event::Tick:
      runner_->request();
      break;
    case Event::DoubleClick:
      if (!closed_ && owed_since_ < 0) owed_since_ = ++order_;
      runner_->request(true);
      break;
    case Event::AnswerMessage:
      runner_->advance();
      break;
    case Event::Preview:
      drop_asked();
      app_.settings.horizontal = 1 - app_.settings.horizontal;
      runner_->restart();
      break;
    case Event::Save:
      drop_asked();
      runner_->reload([this] { rebuild(); });
      break;
    case Event::Close:
      drop_asked();
      runner_->close();
      break;
    case Event::Menu:
      runner_->outside_step([this] {
        if (depth_ > 0 || runner_->in_step()) fault("the menu opened inside a step");
        // The menu's own loop runs an answer and a tick.
        runner_->advance();
        runner_->request();
      });
      break;
    default:
      fault(std::string("the program cannot ask for ") + name_of(call));
      break;
  }
}

// Close only now and then, so most schedules go on after it.
Event Simulation::program_call(int close_percent, Event instead) {
  const Event call = draw(rng_, kCalls);
  return call == Event::Close && !rng_.chance(close_percent) ? instead : call;
}

void Simulation::reenter(const char* where) {
  if (reentries_left_ <= 0 || !rng_.chance(25)) return;
  --reentries_left_;
  note(std::string("  inside ") + where + ":");
  call_runner(program_call(20, Event::Tick), true);
}

// A parked fetch ends: a cancelled call seen by its worker, a failed request, or an answer.
bool Simulation::open_parked() {
  World& w = *world_;
  std::lock_guard<std::mutex> lock(w.m);
  const auto parked = w.parked_calls();
  if (parked.empty()) return false;
  const auto call = parked[static_cast<size_t>(rng_.below(static_cast<int>(parked.size())))];
  const bool answer = !(call->control && call->control->cancelled() && rng_.chance(50)) && !rng_.chance(10);
  const bool song = call->url.find("/current_song") != std::string::npos;
  const std::string station = call->url.substr(call->url.find("/station/") + 9, 1);
  Answer outcome;
  if (answer)
    outcome = song ? "song " + std::to_string(song_now_[station] + 1) : std::to_string(rng_.below(60));
  w.open(call, outcome);
  note(Event::Open,
       std::to_string(call->poll) + " " + call->url + (answer ? " -> " + *call->outcome : " -> none"));
  return true;
}

void Simulation::event() {
  World& w = *world_;
  switch (draw(rng_, kEvents)) {
    case Event::Open:
      if (!open_parked()) call_runner(Event::Tick, false);
      return;
    case Event::Clock: {
      const int64_t step = 1 + rng_.below(rng_.chance(50) ? 16000 : 3000);
      w.clock_ms += step;
      note(Event::Clock, "+" + std::to_string(step) + " = " + std::to_string(w.clock_ms.load()) +
                             (limit_timer_ ? ", limit tick" : ""));
      if (limit_timer_) runner_->advance();
      return;
    }
    case Event::Message: {
      bool posted = false;
      {
        std::lock_guard<std::mutex> lock(w.m);
        if (w.notifies > 0) {
          --w.notifies;
          posted = true;
        }
      }
      return call_runner(posted ? Event::AnswerMessage : Event::Tick, false);
    }
    case Event::NewSong: {
      const std::string station = station_name(rng_.below(8));
      ++song_now_[station];
      note(Event::NewSong, "on " + station);
      return;
    }
    default:
      return call_runner(program_call(15, Event::DoubleClick), false);
  }
}

void Simulation::check_between_events() {
  drop_pending_ = false;  // every call of the event has run by now
  if (closed_) return;
  if (!runner_->running()) {
    if (busy_) fault("busy with no poll running");
    if (limit_timer_) fault("the poll-limit timer runs with no poll");
    if (owed_since_ >= 0 && !runner_->show_all_waiting()) fault("a double-click's poll was lost");
  } else if (owed_since_ >= 0) {
    const Poll* poll = runner_->poll();
    const bool running_it = poll && poll->show_all() && current_ && current_->seq > owed_since_;
    if (!running_it && !runner_->show_all_waiting()) fault("a double-click's poll was lost");
  }
  // Only a call past its own limit holds its address.
  std::lock_guard<std::mutex> lock(world_->m);
  std::set<std::string> urls;
  for (const auto& c : world_->calls) urls.insert(c->url);
  for (const auto& url : urls) {
    if (!workers_->blocked(url)) continue;
    bool held = false;
    for (const auto& c : world_->calls) {
      if (c->url == url && !c->open && world_->clock_ms.load() >= c->started_ms + kLimitMs) held = true;
    }
    if (!held) fault(url + " is held by no call past its limit");
  }
}

void Simulation::finish_schedule() {
  World& w = *world_;
  // Let everything come to an end: answers, limits, the polls waiting.
  for (int round = 0; round < 400 && !closed_ && runner_->running(); ++round) {
    {
      std::lock_guard<std::mutex> lock(w.m);
      for (const auto& c : w.parked_calls()) w.open(c, std::to_string(7));
    }
    if (!w.quiesce()) fault("workers did not settle");
    w.clock_ms += kLimitMs;
    note("end: answers, clock " + std::to_string(w.clock_ms.load()));
    {
      std::lock_guard<std::mutex> lock(w.m);
      w.notifies = 0;
    }
    runner_->advance();
    check_between_events();
  }
  if (!closed_ && runner_->running()) fault("the polls never came to an end");
  if (!closed_ && owed_since_ >= 0) fault("a double-click's poll never ran");
  closed_ = true;  // nothing is checked from here on
  runner_->close();
  if (!w.all_gone()) fault("worker threads did not end");
}

std::vector<std::string> Simulation::run(int events) {
  workers_ = std::make_shared<Workers>(static_cast<unsigned>(2 + rng_.below(15)), world_->starter());
  new_settings(app_);
  build_station_list(app_.settings.stations, app_.station_list);
  app_.settings.api_base_url = "http://sim";
  note("schedule " + std::to_string(number_) + ", stations \"" + app_.settings.stations + "\"");
  runner_ = std::make_unique<PollRunner>(
      app_, host_, host_,
      PollRunnerHooks{.answer_ready = world_->notifier(),
                      .ended =
                          [this](const std::vector<StationResult>& results, const std::string&) {
                            const Depth depth(*this);
                            // The notices hear one result per station, in list order.
                            std::vector<std::string> names;
                            for (const auto& r : results) names.push_back(r.name);
                            if (!last_ended_ || names != last_ended_->names)
                              fault("the notices heard other stations than the poll had");
                          },
                      .now_text = [] { return std::string("12:00"); },
                      .end_program =
                          [this] {
                            if (depth_ > 0) fault("the program ended inside a step");
                            closed_ = true;
                            note("  the program ends");
                          }});
  reentries_left_ = 3 + rng_.below(6);
  runner_->request();
  for (seq_ = 1; seq_ <= events && faults_.empty(); ++seq_) {
    if (!world_->quiesce()) {
      fault("workers did not settle");
      break;
    }
    if (closed_) break;
    event();
    if (!world_->quiesce()) fault("workers did not settle");
    check_between_events();
  }
  finish_schedule();
  return faults_;
}

}  // namespace

ScheduleRun run_schedule(uint64_t number, int events) {
  Simulation sim(number);
  std::vector<std::string> faults = sim.run(events);
  return {std::move(faults), sim.schedule()};
}

}  // namespace kn::poll_sim
