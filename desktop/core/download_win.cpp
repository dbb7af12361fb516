#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "core/download.h"
#include "core/text_util.h"
#include "win/ansi_win.h"
#include "win/win_handle.h"

namespace kn {

namespace {

inline void close_inet(HINTERNET h) { InternetCloseHandle(h); }
using unique_inet = unique_handle<HINTERNET, NullTraits<HINTERNET, close_inet>>;

// One request, shared between the caller and the thread that runs it. WinINet's own
// time-outs are not honoured everywhere (Wine waits for a silent server forever), so
// the caller waits with its own deadline and abandons the request when it passes.
struct Request {
  std::mutex mutex;
  std::condition_variable done_cv;
  bool done = false;
  bool ok = false;
  bool closed = false;  // the session is closed, and with it every handle made from it
  HINTERNET session = nullptr;
  std::string body;

  void close_session() {
    std::lock_guard<std::mutex> lock(mutex);
    if (!closed && session) InternetCloseHandle(session);
    closed = true;
  }
};

// Addresses whose abandoned request is still blocked. Where closing the session does
// not cancel the call, each poll against a silent server would leave one more
// thread behind; so an address gets no new request until its old one has ended.
class Abandoned {
 public:
  bool contains(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    return urls_.count(url) != 0;
  }
  void add(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    urls_.insert(url);
  }
  void remove(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    urls_.erase(url);
  }

 private:
  std::mutex mutex_;
  std::set<std::string> urls_;
};

Abandoned& abandoned() {
  static Abandoned* the = new Abandoned;  // outlives threads still blocked at exit
  return *the;
}

void run_request(const std::shared_ptr<Request>& req, std::string url, size_t max_bytes, DWORD timeout_ms) {
  std::string body;
  bool ok = false;
  HINTERNET session =
      InternetOpenA("Klangnetz_DesktopTool", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  {
    std::lock_guard<std::mutex> lock(req->mutex);
    if (req->closed && session) {
      InternetCloseHandle(session);
      session = nullptr;
    }
    req->session = session;
  }
  if (session) {
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
          INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT}) {
      InternetSetOptionA(session, option, &timeout_ms, sizeof timeout_ms);
    }
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
    HINTERNET opened = InternetOpenUrlA(session, url.c_str(), nullptr, 0, flags, 0);
    unique_inet request;
    {
      // Closing the session closed this handle too: it must not be closed twice.
      std::lock_guard<std::mutex> lock(req->mutex);
      if (!req->closed) request.reset(opened);
    }
    DWORD status = 0, len = sizeof status;
    if (request &&
        HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len,
                       nullptr) &&
        status >= 200 && status <= 299) {
      ok = true;
      char chunk[4096];
      for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), chunk, sizeof chunk, &got)) {
          ok = false;
          break;
        }
        if (got == 0) break;
        body.append(chunk, got);
        if (body.size() > max_bytes) {
          ok = false;
          break;
        }
      }
      // A connection that dropped mid-body ends like a complete one: only the
      // announced length tells a cut answer from a short one.
      DWORD announced = 0;
      len = sizeof announced;
      if (ok &&
          HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced, &len,
                         nullptr) &&
          body.size() != announced) {
        ok = false;
      }
    }
    std::lock_guard<std::mutex> lock(req->mutex);
    if (req->closed) {
      request.release();  // went with the session
    } else {
      request.reset();
    }
  }
  req->close_session();
  abandoned().remove(url);
  std::lock_guard<std::mutex> lock(req->mutex);
  req->body = std::move(body);
  req->ok = ok;
  req->done = true;
  req->done_cv.notify_all();
}

// The answer body, or false for no answer (no connection, non-2xx status, too
// large, too slow). Blocks the caller until then, like the plain download did.
bool http_get(const std::string& url, size_t max_bytes, unsigned timeout_ms, std::string& body) {
  if (abandoned().contains(url)) return false;
  auto req = std::make_shared<Request>();
  try {
    std::thread(run_request, req, url, max_bytes, static_cast<DWORD>(timeout_ms)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  std::unique_lock<std::mutex> lock(req->mutex);
  if (!req->done_cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] { return req->done; })) {
    lock.unlock();
    // Closing the session cancels the blocked call where the platform allows it;
    // either way the thread's late result is dropped with the shared state.
    abandoned().add(url);
    req->close_session();
    return false;
  }
  if (!req->ok) return false;
  body = std::move(req->body);
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

std::string fetch_to_file(const std::string& url, const std::string& file, size_t max_bytes,
                          unsigned timeout_ms) {
  delete_file_quietly(file);
  const std::string wire = request_url(url);
  DeleteUrlCacheEntryA(wire.c_str());
  // The request runs to its end (or its time limit) before the file is written, so
  // no late answer can ever write the file behind the caller's back.
  std::string body;
  if (http_get(wire, max_bytes, timeout_ms, body)) write_whole_file(file, body);
  std::string answer = read_downloaded_file(file);
  delete_file_quietly(file);
  return answer;
}

}  // namespace kn
