#include "station_script.h"

#include <cstdlib>
#include <sstream>
#include <vector>

namespace sim {

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::stringstream in(s);
  std::string p;
  while (std::getline(in, p, sep)) parts.push_back(p);
  return parts;
}

int to_int(const std::string& s, int def) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  return (end && *end == 0 && !s.empty()) ? static_cast<int>(v) : def;
}

unsigned hash(const std::string& s) {
  unsigned h = 2166136261u;
  for (unsigned char c : s) h = (h ^ c) * 16777619u;
  return h;
}

std::string html_page(int status) {
  return "<html><head><title>" + std::to_string(status) + "</title></head><body><h1>Fehler " +
         std::to_string(status) + "</h1></body></html>";
}

std::string song_json(int id, const std::string& title, const std::string& artist, const std::string& album) {
  return "{\"id\": " + std::to_string(id) + ", \"title\": \"" + title +
         "\", \"artist\": {\"id\": " + std::to_string(id * 7 % 1000) + ", \"name\": \"" + artist +
         "\"}, \"album\": \"" + album + "\", \"duration\": 215, \"playing\": true}";
}

// A step of a sequence in which the client gets no count: statusCODE, drop or cut.
bool no_count_step(const std::string& step, Answer& a) {
  if (step == "drop") {
    a.drop = true;
  } else if (step == "cut") {
    a.body = "1234567890";
    a.cut = true;
  } else if (step.rfind("status", 0) == 0 && to_int(step.substr(6), 0) >= 100 &&
             to_int(step.substr(6), 0) <= 599) {
    a.status = to_int(step.substr(6), 500);
    a.content_type = "text/html";
    a.body = html_page(a.status);
  } else {
    return false;
  }
  return true;
}

// Escapes a station name for one path segment as the desktop program does, so the
// simulator's decoding gives the name back whole.
std::string escape_segment(const std::string& name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (c <= 0x20 || c >= 0x7F || c == '/' || c == '?' || c == '#' || c == '%') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// "ORIGIN/station/NAME" followed by the endpoint, NAME escaped, so a name that holds an
// address (a redirect to a redirect) stays one segment; other addresses as they are.
std::string endpoint_url(const std::string& address, const std::string& what) {
  const std::string station = "/station/";
  const size_t scheme = address.find("://");
  const size_t path = scheme == std::string::npos ? std::string::npos : address.find('/', scheme + 3);
  if (path == std::string::npos || address.compare(path, station.size(), station) != 0) {
    return address + "/" + what;
  }
  const size_t name = path + station.size();
  return address.substr(0, name) + escape_segment(address.substr(name)) + "/" + what;
}

// redirect-CODE~ADDRESS, loop-CODE and loop-CODE~ORIGIN~...; false for any other name.
bool redirect(const std::string& name, const std::string& what, Answer& a) {
  const size_t dash = name.find('-');
  if (dash == std::string::npos) return false;
  const std::string kind = name.substr(0, dash);
  if (kind != "redirect" && kind != "loop") return false;
  const size_t tilde = name.find('~');
  const std::string code_text =
      name.substr(dash + 1, tilde == std::string::npos ? std::string::npos : tilde - dash - 1);
  const int code = to_int(code_text, 0);
  if (code < 300 || code > 399) return false;
  const std::string target = tilde == std::string::npos ? std::string() : name.substr(tilde + 1);
  if (kind == "redirect") {
    if (target.empty()) return false;
    a.location = endpoint_url(target, what);
  } else if (target.empty()) {
    // The server makes it absolute with its own scheme and address.
    a.location = "/station/" + escape_segment(name) + "/" + what;
  } else {
    // The first origin goes to the end, so the request travels the origins in turn.
    std::vector<std::string> origins = split(target, '~');
    for (auto& o : origins) {
      while (!o.empty() && o.back() == '/') o.pop_back();
    }
    std::string next = name.substr(0, tilde);
    for (size_t i = 1; i < origins.size(); ++i) next += "~" + origins[i];
    next += "~" + origins.front();
    a.location = origins.front() + "/station/" + escape_segment(next) + "/" + what;
  }
  a.status = code;
  a.content_type = "text/html";
  a.body = "<html><head><title>" + std::to_string(code) +
           "</title></head><body><h1>Weitergeleitet</h1></body></html>";
  return true;
}

}  // namespace

std::string url_decode(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

void StationScript::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
  walk_.clear();
}

int StationScript::next_count(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_[key]++;
}

Answer StationScript::answer(const std::string& path) {
  const std::string prefix = "/station/";
  if (path.rfind(prefix, 0) != 0) return {404, "text/html", html_page(404)};
  std::string rest = path.substr(prefix.size());
  size_t slash = rest.rfind('/');
  if (slash == std::string::npos) return {404, "text/html", html_page(404)};
  std::string name = rest.substr(0, slash);
  std::string what = rest.substr(slash + 1);
  int n = next_count(name + "/" + what);
  if (what == "listeners" || what == "current_song") {
    Answer a;
    if (redirect(name, what, a)) return a;
  }
  size_t tilde = name.find('~');
  if (tilde != std::string::npos) {
    if (n > 0) {
      // The fault has cleared: the count after the "~", a song of the station.
      if (what == "listeners") return listeners("fixed-" + name.substr(tilde + 1), n);
      if (what == "current_song") return current_song("cleared " + name.substr(0, tilde), n);
    }
    name.resize(tilde);
  }
  if (what == "listeners") return listeners(name, n);
  if (what == "current_song") return current_song(name, n);
  return {404, "text/html", html_page(404)};
}

namespace {

// A server over its rate limit: come back in a second.
bool slow_down(const std::string& kind, int n, Answer& a) {
  if (kind != "busy" || n % 2 == 0) return false;
  a.status = 429;
  a.content_type = "text/html";
  a.body = html_page(429);
  a.retry_after = "1";
  return true;
}

}  // namespace

Answer StationScript::listeners(const std::string& name, int n) {
  auto parts = split(name, '-');
  const std::string kind = parts.empty() ? "" : parts[0];
  Answer a;
  if (slow_down(kind, n, a)) return a;
  if (kind == "fixed" && parts.size() == 2) {
    a.body = parts[1];
  } else if (kind == "seq" && parts.size() >= 2) {
    const std::string& step = parts[std::min<size_t>(static_cast<size_t>(n) + 1, parts.size() - 1)];
    if (!no_count_step(step, a)) a.body = step;
  } else if (kind == "crlf" && parts.size() == 2) {
    a.body = parts[1] + "\r\n";
  } else if (kind == "text" && parts.size() >= 2) {
    a.body = name.substr(5);
  } else if (kind == "status" && parts.size() == 2) {
    a.status = to_int(parts[1], 500);
    a.content_type = "text/html";
    a.body = html_page(a.status);
  } else if (kind == "slow" && parts.size() >= 2) {
    a.delay_seconds = to_int(parts[1], 30);
    a.body = parts.size() > 2 ? parts[2] : "7";
  } else if (kind == "hold") {
    a.hold = true;
    a.body = parts.size() > 1 ? parts[1] : "7";
  } else if (kind == "drop") {
    a.drop = true;
  } else if (kind == "big" && parts.size() == 2) {
    a.content_type = "text/html";
    a.body = "<html><body>";
    a.body.append(static_cast<size_t>(to_int(parts[1], 1024)) * 1024, 'x');
    a.body += "</body></html>";
  } else if (kind == "busy" && parts.size() == 2) {
    a.body = parts[1];
  } else if (kind == "umlaut") {
    a.body = "H\xC3\xB6rer: 5";
  } else if (kind == "songs" || kind == "badjson" || kind == "trunc" || kind == "nomembers") {
    a.body = "10";
  } else if (kind == "cut") {
    a.body = "1234567890";
    a.cut = true;
  } else {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = walk_.find(name);
    if (it == walk_.end()) it = walk_.emplace(name, static_cast<int>(hash(name) % 120) + 5).first;
    unsigned r = hash(name + std::to_string(n) + std::to_string(walk_variant_));
    it->second = std::max(0, it->second + static_cast<int>(r % 7) - 3);
    a.body = std::to_string(it->second);
  }
  return a;
}

Answer StationScript::current_song(const std::string& name, int n) {
  auto parts = split(name, '-');
  const std::string kind = parts.empty() ? "" : parts[0];
  Answer a;
  a.content_type = "application/json";
  // A step without a count fails the song request too; any other step gets an ordinary song.
  if (kind == "seq" && parts.size() >= 2 &&
      no_count_step(parts[std::min<size_t>(static_cast<size_t>(n) + 1, parts.size() - 1)], a)) {
    return a;
  }
  if (slow_down(kind, n, a)) return a;
  if (kind == "status" && parts.size() == 2) {
    a.status = to_int(parts[1], 500);
    a.content_type = "text/html";
    a.body = html_page(a.status);
  } else if (kind == "drop") {
    a.drop = true;
  } else if (kind == "hold") {
    a.hold = true;
    a.body = song_json(15, "Gehalten", "Band", "Album");
  } else if (kind == "badjson") {
    a.body = "{\"id\": 12, \"title\": \"kaputt\"";
  } else if (kind == "trunc") {
    a.body = song_json(13, "Abgeschnitten", "Band", "Album").substr(0, 40);
  } else if (kind == "nomembers") {
    a.body = "{\"status\": \"offline\", \"listeners\": 10}";
  } else if (kind == "cut") {
    a.body = song_json(14, "Halb", "Band", "Album");
    a.cut = true;
  } else if (kind == "umlaut") {
    a.body = song_json(77,
                       "Sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F"
                       "e",
                       "Die \xC3\x84rzte", "M\xC3\xBCnchen");
  } else if (kind == "songs" && parts.size() >= 2) {
    size_t i = std::min<size_t>(static_cast<size_t>(n) + 1, parts.size() - 1);
    int id = to_int(parts[i], 0);
    a.body = song_json(id, "Titel " + std::to_string(id), "Band " + std::to_string(id),
                       "Album " + std::to_string(id));
  } else {
    int id = 1000 + static_cast<int>(hash(name) % 1000) + n / 3;
    a.body = song_json(id, "Lied Nr. " + std::to_string(id), "Interpret " + std::to_string(id % 17),
                       "Sammlung " + std::to_string(id % 5));
  }
  return a;
}

}  // namespace sim
