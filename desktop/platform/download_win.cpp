#include "platform/download_win.h"

#include <process.h>
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/request_url.h"
#include "win/ansi_win.h"
#include "win/files_win.h"
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

bool start_worker_thread(std::function<void()> work);

// The worker threads of every poll of the program's life.
std::shared_ptr<Workers> workers() {
  static const auto the = std::make_shared<Workers>(kMaxLiveWorkers, start_worker_thread);
  return the;
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

// The runtime's detached std::thread now and then never runs its work (measured under
// Wine: 3 of 80,000; the system's own threads: none), so a poll would wait for a
// request nobody asks. The system's threads, then.
unsigned __stdcall run_worker(void* arg) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(arg));
  try {
    (*work)();
  } catch (...) {
  }
  return 0;
}

bool start_worker_thread(std::function<void()> work) {
  auto owned = std::make_unique<std::function<void()>>(std::move(work));
  const unique_kernel_handle thread(
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, run_worker, owned.get(), 0, nullptr)));
  if (!thread) return false;
  owned.release();  // the thread owns it now
  return true;
}

bool write_whole_file(const std::string& path, const std::string& data) {
  unique_file f(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return false;
  DWORD written = 0;
  return data.empty() ||
         (WriteFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
          written == data.size());
}

}  // namespace

std::string request_url(const std::string& url_utf8) { return request_line_url(utf8_to_ansi(url_utf8)); }

std::string read_downloaded_file(const std::string& path) {
  unique_file f(CreateFileW(utf8_to_wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f) return {};
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(f.get(), &size) || size.QuadPart > 64 * 1024 * 1024) return {};
  std::string data(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!data.empty() && !ReadFile(f.get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr))
    return {};
  data.resize(got);
  return ansi_to_utf8(data);
}

std::unique_ptr<RequestBatch> start_requests(const std::vector<BatchRequest>& requests, unsigned parallel,
                                             std::function<void()> notify, unsigned timeout_ms) {
  std::vector<BatchRequest> wire;
  wire.reserve(requests.size());
  for (const auto& r : requests) {
    wire.push_back({request_url(r.url), r.max_bytes});
    DeleteUrlCacheEntryA(wire.back().url.c_str());
  }
  return std::make_unique<RequestBatch>(std::move(wire), parallel, std::chrono::milliseconds(timeout_ms),
                                        internet_get, workers(), std::move(notify), Clock::now);
}

std::string through_file(const Answer& answer, const std::string& file) {
  // Only whole answers are written, by the thread that reads them back.
  delete_file_quietly(file);
  if (answer) write_whole_file(file, *answer);
  std::string text = read_downloaded_file(file);
  delete_file_quietly(file);
  return text;
}

Answer fetch_now(const std::string& url, size_t max_bytes, unsigned timeout_ms) {
  const std::atomic<bool> never{false};
  const RequestControl control(Clock::now() + std::chrono::milliseconds(timeout_ms), never, Clock::now);
  const std::string wire = request_url(url);
  DeleteUrlCacheEntryA(wire.c_str());
  try {
    return internet_get({wire, max_bytes}, control);
  } catch (...) {
    return std::nullopt;
  }
}

std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms) {
  return through_file(fetch_now(url, max_bytes, timeout_ms), file);
}

}  // namespace kn
