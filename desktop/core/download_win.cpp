#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <memory>
#include <string>

#include "core/download.h"
#include "core/text_util.h"
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

std::shared_ptr<StillRunning> still_running() {
  static const auto the = std::make_shared<StillRunning>();
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

enum class Outcome { Answer, NoAnswer, Broken };

// A connection the server closed (a kept one it dropped while idle, say) fails
// before any answer: worth one more try.
bool broken_connection(DWORD error) {
  return error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED ||
         error == ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

// A call on the request that another thread may break off by closing the handle.
// False when it was given up; the handle is gone then.
template <class Call>
bool cancellable(CancelSlot& slot, unique_inet& request, Call call, BOOL& result) {
  HINTERNET h = request.get();
  if (!slot.enter([h] { InternetCloseHandle(h); })) return false;
  result = call(h);
  const DWORD error = GetLastError();
  if (!slot.leave()) {
    request.release();
    return false;
  }
  SetLastError(error);
  return true;
}

Outcome get_once(HINTERNET connect, const Target& t, const BatchRequest& r, DWORD timeout_ms,
                 CancelSlot& slot, std::string& body) {
  const char* accept[] = {"*/*", nullptr};
  const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                      INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH |
                      INTERNET_FLAG_KEEP_CONNECTION | (t.secure ? INTERNET_FLAG_SECURE : 0);
  unique_inet request(HttpOpenRequestA(connect, "GET", t.object.c_str(), nullptr, nullptr, accept, flags, 0));
  if (!request) return Outcome::NoAnswer;
  set_timeouts(request.get(), timeout_ms);
  BOOL sent = FALSE;
  if (!cancellable(
          slot, request, [](HINTERNET h) { return HttpSendRequestA(h, nullptr, 0, nullptr, 0); }, sent))
    return Outcome::NoAnswer;
  if (!sent) return broken_connection(GetLastError()) ? Outcome::Broken : Outcome::NoAnswer;
  DWORD status = 0, len = sizeof status;
  // Wine reports a connection closed without a word as an answer without a status.
  if (HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len,
                     nullptr) &&
      status == 0) {
    return Outcome::Broken;
  }
  if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len,
                      nullptr) ||
      status < 200 || status > 299) {
    return Outcome::NoAnswer;
  }
  char chunk[4096];
  for (;;) {
    DWORD got = 0;
    BOOL read = FALSE;
    if (!cancellable(
            slot, request, [&](HINTERNET h) { return InternetReadFile(h, chunk, sizeof chunk, &got); },
            read) ||
        !read) {
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

std::optional<std::string> internet_get(const BatchRequest& r, Clock::time_point deadline, CancelSlot& slot) {
  Target t;
  if (!session() || !crack(r.url, t)) return std::nullopt;
  for (int attempt = 0; attempt < 2; ++attempt) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    unique_inet connect(
        InternetConnectA(session(), t.host.c_str(), t.port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connect) break;
    std::string body;
    switch (get_once(connect.get(), t, r, static_cast<DWORD>(left), slot, body)) {
      case Outcome::Answer:
        return body;
      case Outcome::NoAnswer:
        return std::nullopt;
      case Outcome::Broken:
        break;
    }
  }
  return std::nullopt;
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

std::unique_ptr<RequestBatch> start_wire_requests(std::vector<BatchRequest> wire, unsigned parallel,
                                                  unsigned timeout_ms) {
  for (const auto& r : wire) DeleteUrlCacheEntryA(r.url.c_str());
  return std::make_unique<RequestBatch>(std::move(wire), parallel, std::chrono::milliseconds(timeout_ms),
                                        internet_get, still_running());
}

// The answer goes through the file as it always did; only whole answers are
// written, so no late one can write the file behind the caller's back.
std::string through_file(const std::optional<std::string>& body, const std::string& file) {
  delete_file_quietly(file);
  if (body) write_whole_file(file, *body);
  std::string answer = read_downloaded_file(file);
  delete_file_quietly(file);
  return answer;
}

}  // namespace

std::string request_url(const std::string& url_utf8) {
  // Only what a URL cannot carry; the path's own escapes are already there.
  return percent_escape(utf8_to_ansi(url_utf8), [](unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>';
  });
}

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
                                             unsigned timeout_ms) {
  std::vector<BatchRequest> wire;
  wire.reserve(requests.size());
  for (const auto& r : requests) wire.push_back({request_url(r.url), r.max_bytes});
  return start_wire_requests(std::move(wire), parallel, timeout_ms);
}

std::string fetch_to_file(RequestBatch* batch, const std::string& url, const std::string& file,
                          size_t max_bytes, const std::function<bool()>& stop) {
  const std::string wire = request_url(url);
  if (batch && batch->holds(wire)) return through_file(batch->take(wire, stop), file);
  return through_file(start_wire_requests({{wire, max_bytes}}, 1, kDownloadTimeoutMs)->take(wire, stop),
                      file);
}

std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms) {
  const std::string wire = request_url(url);
  return through_file(start_wire_requests({{wire, max_bytes}}, 1, timeout_ms)->take(wire), file);
}

}  // namespace kn
