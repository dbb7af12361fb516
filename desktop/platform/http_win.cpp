#include "platform/http_win.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/request_url.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {

inline void close_inet(HINTERNET h) { InternetCloseHandle(h); }
using unique_inet = unique_handle<HINTERNET, NullTraits<HINTERNET, close_inet>>;

// One session for the program's life, so connections to the platform are kept and
// reused between requests and polls. Never closed: requests given up at their time
// limit may still be inside a call on it when the program ends.
HINTERNET session() {
  static unique_inet* const the = [] {
    DWORD conns = kMaxParallelRequests;
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &conns, sizeof conns);
    InternetSetOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER, &conns, sizeof conns);
    return new unique_inet(
        InternetOpenA("Klangnetz_DesktopTool", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  }();
  return the->get();
}

void set_timeouts(HINTERNET h, DWORD ms) {
  for (DWORD option :
       {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
        INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
    InternetSetOptionA(h, option, &ms, sizeof ms);
  }
}

struct Target {
  bool secure = false;
  std::string host;
  INTERNET_PORT port = 0;
  std::string object;  // path and query
};

bool crack(const std::string& url, Target& t) {
  std::string host(url.size() + 1, '\0'), path(url.size() + 1, '\0'), extra(url.size() + 1, '\0');
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = static_cast<DWORD>(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
  if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return false;
  t.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  t.host.assign(host.c_str(), parts.dwHostNameLength);
  t.port = parts.nPort;
  path.resize(parts.dwUrlPathLength);
  extra.resize(parts.dwExtraInfoLength);
  t.object = path.empty() ? "/" + extra : path + extra;
  return !t.host.empty();
}

enum class Outcome { Answer, NoAnswer, Broken, Redirect, Later };

// Redirects followed by hand, within the request's one limit: WinINet under Wine would
// follow one from https to plain http without a word.
constexpr int kMaxRedirects = 5;

bool is_redirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where a redirect points, seen from t: an absolute address, or a path on t's server.
bool redirect_target(const Target& t, const std::string& location, Target& next) {
  if (!location.empty() && location[0] == '/' && (location.size() < 2 || location[1] != '/')) {
    next = t;
    next.object = location;
    return true;
  }
  return crack(location, next);
}

// A connection the server closed (a kept one it dropped while idle, say) fails
// before any answer: worth one more try.
bool broken_connection(DWORD error) {
  return error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED ||
         error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

// Before each call: the time left bounds the call, and a given-up request makes
// none. The handle stays this worker's own; nobody else ever closes it.
bool bound(HINTERNET h, const RequestControl& control) {
  const auto left = control.time_left().count();
  if (left <= 0) return false;
  set_timeouts(h, static_cast<DWORD>(left));
  return true;
}

// A server that asks to slow down (429, 503) may say when to ask again.
std::optional<std::chrono::seconds> asked_to_wait(HINTERNET request, DWORD status) {
  if (status != 429 && status != 503) return std::nullopt;
  char value[256];
  DWORD size = sizeof value - 1;
  if (!HttpQueryInfoA(request, HTTP_QUERY_RETRY_AFTER, value, &size, nullptr)) return std::nullopt;
  return retry_after(std::string_view(value, size), static_cast<int64_t>(std::time(nullptr)));
}

// body receives the answer, or for a redirect the address it points to; wait, how
// long a server asked to wait before the next try.
Outcome get_once(HINTERNET connect, const Target& t, const BatchRequest& r, const RequestControl& control,
                 std::string& body, std::chrono::seconds& wait) {
  const char* accept[] = {"*/*", nullptr};
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH |
                      INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTO_REDIRECT |
                      (t.secure ? INTERNET_FLAG_SECURE : 0);
  unique_inet request(HttpOpenRequestA(connect, "GET", t.object.c_str(), nullptr, nullptr, accept, flags, 0));
  if (!request || !bound(request.get(), control)) return Outcome::NoAnswer;
  if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0))
    return broken_connection(GetLastError()) ? Outcome::Broken : Outcome::NoAnswer;
  DWORD status = 0, len = sizeof status;
  // Wine reports a connection closed without a word as an answer without a status.
  if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len,
                     nullptr) &&
      status == 0) {
    return Outcome::Broken;
  }
  if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len,
                      nullptr)) {
    return Outcome::NoAnswer;
  }
  if (is_redirect(status)) {
    char location[2048];
    DWORD size = sizeof location - 1;
    if (!HttpQueryInfoA(request.get(), HTTP_QUERY_LOCATION, location, &size, nullptr))
      return Outcome::NoAnswer;
    body.assign(location, size);
    return Outcome::Redirect;
  }
  if (const auto later = asked_to_wait(request.get(), status)) {
    wait = *later;
    return Outcome::Later;
  }
  if (status < 200 || status > 299) return Outcome::NoAnswer;
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    if (!bound(request.get(), control) || !InternetReadFile(request.get(), chunk, sizeof chunk, &got)) {
      return Outcome::NoAnswer;
    }
    if (got == 0) break;
    body.append(chunk, got);
    if (body.size() > r.max_bytes) return Outcome::NoAnswer;
  }
  // A connection that dropped mid-body ends like a complete one: only the announced
  // length tells a cut answer from a short one.
  DWORD announced = 0;
  len = sizeof announced;
  if (HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &len,
                     nullptr) &&
      body.size() != announced) {
    return Outcome::NoAnswer;
  }
  return Outcome::Answer;
}

}  // namespace

std::string request_url(const std::string& url_utf8) { return request_line_url(utf8_to_ansi(url_utf8)); }

std::string fresh_request_url(const std::string& url_utf8) {
  std::string wire = request_url(url_utf8);
  DeleteUrlCacheEntryA(wire.c_str());
  return wire;
}

Answer internet_get(const BatchRequest& r, const RequestControl& control) {
  Target t;
  if (!session() || !crack(r.url, t)) return std::nullopt;
  bool retried = false;
  for (int redirects = 0;;) {
    if (control.time_left().count() <= 0) return std::nullopt;
    unique_inet connect(
        InternetConnectA(session(), t.host.c_str(), t.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect) return std::nullopt;
    std::string body;
    std::chrono::seconds wait{0};
    switch (get_once(connect.get(), t, r, control, body, wait)) {
      case Outcome::Answer:
        return body;
      case Outcome::NoAnswer:
        return std::nullopt;
      case Outcome::Broken:
        if (retried) return std::nullopt;
        retried = true;
        break;
      case Outcome::Later:
        // Within the request's own limit only; a drop ends the wait at once.
        if (!control.pause(wait)) return std::nullopt;
        retried = false;
        break;
      case Outcome::Redirect: {
        Target next;
        // Never from https down to plain http.
        if (++redirects > kMaxRedirects || !redirect_target(t, body, next) || (t.secure && !next.secure))
          return std::nullopt;
        t = next;
        retried = false;
        break;
      }
    }
  }
}

Answer fetch_now(const std::string& url, size_t max_bytes, unsigned timeout_ms) {
  const std::atomic<bool> never{false};
  const RequestControl control(Clock::now() + std::chrono::milliseconds(timeout_ms), never, Clock::now);
  const std::string wire = fresh_request_url(url);
  try {
    return internet_get({wire, max_bytes}, control);
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kn
