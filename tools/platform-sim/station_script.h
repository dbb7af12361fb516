#pragma once
// What the simulated platform answers for a station. Behaviour is chosen by the
// station's name, so a test only has to put the right names into the settings:
//   fixed-N          N listeners
//   seq-A-B-C        A, B, C on successive requests, then C again; a step may also be
//                    one without a count: statusCODE (that status with an HTML page),
//                    drop or cut, as the behaviours of those names (song requests fail
//                    the same way on those steps; the other steps get an ordinary song)
//   crlf-N           "N\r\n"
//   text-WORD        the body WORD (not a number)
//   status-CODE      that status with an HTML error page
//   slow-S-N         waits S seconds, then N
//   hold-N           waits for the next GET /_sim/release, then N
//   busy-N           every second request of each kind is 429 with "Retry-After: 1"
//                    (asked again, the next one answers), the others N listeners
//   drop             closes the connection without an answer
//   big-K            a 200 answer of K KiB of HTML
//   umlaut           "Hörer" texts in UTF-8 in both answers
//   songs-A-B-C      current song ids A, B, C on successive requests (listeners 10)
//   badjson          current song answer that is not JSON (listeners 10)
//   trunc            current song answer cut off in the middle (listeners 10)
//   nomembers        current song answer: JSON without the song's members (listeners 10)
//   cut              announces a longer body than it sends, then closes (both answers)
//   redirect-CODE~ADDRESS  CODE (3xx) to ADDRESS followed by /listeners or /current_song;
//                    ADDRESS is a station's, e.g. https://127.0.0.1:8443/station/fixed-5
//   loop-CODE        CODE to the address of this very request: a loop of one
//   loop-CODE~O1~O2  CODE to O1 (an origin, e.g. http://127.0.0.1:8080) with the name
//                    loop-CODE~O2~O1, so a request travels O1, O2, O1, ... for ever
//   FAULT~N          the behaviour FAULT for the first request of each kind, then N
//                    listeners and an ordinary song: a fault that clears
//   anything else    a random walk around a count derived from the name; the song
//                    changes every few requests
#include <map>
#include <mutex>
#include <string>

namespace sim {

struct Answer {
  int status = 200;
  std::string content_type = "text/plain";
  std::string body;
  int delay_seconds = 0;
  bool drop = false;
  std::string location = {};     // a redirect's target; a path alone means this server
  bool hold = false;             // wait for the next release (see the simulator's /_sim/release)
  bool cut = false;              // send only half of the body, after a header that promises all of it
  std::string retry_after = {};  // the Retry-After header, when not empty
};

class StationScript {
 public:
  explicit StationScript(unsigned walk_variant = 1) : walk_variant_(walk_variant) {}
  // path is the decoded request path, e.g. "/station/nachtradio/listeners".
  Answer answer(const std::string& path);
  void reset();

 private:
  Answer listeners(const std::string& name, int n);
  Answer current_song(const std::string& name, int n);
  int next_count(const std::string& key);

  std::mutex mutex_;
  std::map<std::string, int> requests_;
  std::map<std::string, int> walk_;
  unsigned walk_variant_;
};

std::string url_decode(const std::string& s);

}  // namespace sim
