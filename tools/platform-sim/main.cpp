// Local stand-in for the radio platform's web API on 127.0.0.1: HTTP/1.1 with
// keep-alive, or HTTPS with a certificate given on the command line.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include "station_script.h"

namespace {

std::mutex g_log_mutex;
std::ofstream g_log;
std::atomic<unsigned long> g_connections{0};
int g_delay_ms = 0;
SSL_CTX* g_tls = nullptr;

std::condition_variable g_released;
unsigned long g_releases = 0;

void log_line(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  if (g_log.is_open()) g_log << line << std::endl;
}

// Logs a request line and returns the number of releases so far, counted under the
// log's lock: a held answer is freed by the first release logged after its request.
unsigned long log_request(const std::string& line, bool is_release) {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  if (is_release) ++g_releases;
  if (g_log.is_open()) g_log << line << std::endl;
  if (is_release) g_released.notify_all();
  return g_releases;
}

void wait_for_release(unsigned long seen) {
  std::unique_lock<std::mutex> lock(g_log_mutex);
  g_released.wait(lock, [seen] { return g_releases > seen; });
}

// A second listener that can be taken down and brought back on the same port, so a
// client sees "server not running" (connection refused) and then a working server.
class OutageListener {
 public:
  bool open(int port);  // port 0 = any free port
  int port() const { return port_; }
  void start_outage();
  void end_outage();
  void run(sim::StationScript* script);
  // Connections it accepted: a server that goes down takes them with it, or a client
  // would go on using a kept-alive one.
  void track(int fd);
  void untrack(int fd);

 private:
  std::mutex mutex_;
  int fd_ = -1;
  int port_ = 0;
  bool down_ = false;
  std::set<int> open_;
};
OutageListener g_outage;
bool g_outage_enabled = false;

void usage() {
  std::cout << "usage: platform-sim [--port N] [--port-file FILE] [--log FILE] [--walk N] [--delay-ms N]\n"
               "                    [--outage-port-file FILE] [--silent-tls-port-file FILE]\n"
               "                    [--tls-cert FILE --tls-key FILE]\n"
               "  --port N        port on 127.0.0.1 (0 = any free port, the default)\n"
               "  --port-file F   write the chosen port to F once listening\n"
               "  --log F         append one line per request (method and decoded path),\n"
               "                  \"CONNECTION n\" for each new TCP connection (n counts from 1) and\n"
               "                  \"ANSWER <method> <path> <status>\" as each answer goes out (its\n"
               "                  last word the status code, or drop or cut)\n"
               "  --delay-ms N    every answer waits N ms (each connection on its own, so\n"
               "                  requests on several connections wait at the same time); a\n"
               "                  held answer waits its N ms after its release\n"
               "  --tls-cert F --tls-key F  serve HTTPS with this certificate (PEM; the file may\n"
               "                  hold the chain) and key instead of plain HTTP\n"
               "  --outage-port-file F  a second port, written to F, that GET /_sim/outage/start\n"
               "                  closes (connection refused, open connections cut) and\n"
               "                  /_sim/outage/end opens again\n"
               "  --silent-tls-port-file F  a further port, written to F, that accepts connections\n"
               "                  and reads what comes (a TLS ClientHello) but never answers:\n"
               "                  an HTTPS handshake that never completes. Logs\n"
               "                  \"CONNECTION n silent-tls\" for each connection and\n"
               "                  \"CLOSED n silent-tls BYTES\" when its client closes it (BYTES it\n"
               "                  sent); its connections end with the simulator\n"
               "Connections stay open for further requests (HTTP/1.1 keep-alive) until the\n"
               "client closes them or asks for \"Connection: close\".\n"
               "Station names choose the behaviour: fixed-N, seq-A-B-C, crlf-N, text-WORD,\n"
               "status-CODE, slow-S-N, hold-N, drop (closes the connection), big-K, umlaut,\n"
               "songs-A-B-C, badjson, trunc, nomembers, cut; any other name is a random walk.\n"
               "GET /_sim/reset restarts every sequence. GET /_sim/release lets every hold-N\n"
               "answer go whose request line is logged before the release's.\n"
               "FAULT~N: the behaviour FAULT once, then N listeners (a fault that clears).\n"
               "redirect-CODE~ADDRESS: CODE (3xx) with Location ADDRESS/listeners (or\n"
               "/current_song), ADDRESS a station's, e.g. https://127.0.0.1:8443/station/fixed-5.\n"
               "loop-CODE: CODE to the request's own address. loop-CODE~O1~O2~...: CODE to the\n"
               "origin O1 (e.g. http://127.0.0.1:8080) with the name loop-CODE~O2~...~O1, so a\n"
               "request goes round the origins for ever.\n"
               "seq steps may also be statusCODE, drop or cut: seq-42-status500-drop-42 answers,\n"
               "fails twice and answers again; the last step repeats.\n";
}

// One accepted connection, plain or TLS. Closes the socket when it goes.
class Connection {
 public:
  explicit Connection(int fd) : fd_(fd) {}
  ~Connection() {
    if (ssl_) SSL_free(ssl_);
    ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int fd() const { return fd_; }

  bool accept_tls(SSL_CTX* ctx, unsigned long number) {
    ssl_ = SSL_new(ctx);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) return false;
    if (SSL_accept(ssl_) == 1) return true;
    // Expected for a client that refuses the certificate; said where a person looks.
    char why[256] = "closed during the handshake";
    if (unsigned long e = ERR_get_error()) ERR_error_string_n(e, why, sizeof why);
    ERR_clear_error();
    std::cerr << "platform-sim: connection " << number << ": TLS handshake failed: " << why << std::endl;
    return false;
  }

  ssize_t read(char* buf, size_t size) {
    if (!ssl_) return ::recv(fd_, buf, size, 0);
    const int n = SSL_read(ssl_, buf, static_cast<int>(std::min<size_t>(size, 1 << 30)));
    if (n <= 0) ERR_clear_error();
    return n;
  }

  bool write_all(const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
      ssize_t n;
      if (ssl_) {
        n = SSL_write(ssl_, data.data() + sent,
                      static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 30)));
        if (n <= 0) ERR_clear_error();
      } else {
        n = ::send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      }
      if (n <= 0) return false;
      sent += static_cast<size_t>(n);
    }
    return true;
  }

  // An orderly end (TLS close_notify, then FIN); `drop` ends it without either.
  void finish() {
    if (ssl_) {
      SSL_shutdown(ssl_);
      ERR_clear_error();
    }
    ::shutdown(fd_, SHUT_RDWR);
  }

 private:
  int fd_;
  SSL* ssl_ = nullptr;
};

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The value of a header field in a request head (lines ending in CRLF), or empty.
std::string header(const std::string& head, const std::string& name) {
  size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    const size_t start = pos + 2;
    const size_t end = head.find("\r\n", start);
    const std::string field = head.substr(start, end - start);
    const size_t colon = field.find(':');
    if (colon != std::string::npos && lower(field.substr(0, colon)) == name) {
      const size_t value = field.find_first_not_of(" \t", colon + 1);
      return value == std::string::npos ? std::string() : field.substr(value);
    }
    pos = end;
  }
  return {};
}

// Reads one request head into `head` (its lines with their CRLF), leaving whatever
// follows in `pending` for the next request. False once the client closed or sent
// more than a request head may hold.
bool read_head(Connection& c, std::string& pending, std::string& head) {
  size_t end;
  while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
    if (pending.size() > 65536) return false;
    char buf[4096];
    const ssize_t n = c.read(buf, sizeof buf);
    if (n <= 0) return false;
    pending.append(buf, static_cast<size_t>(n));
  }
  head = pending.substr(0, end + 2);
  pending.erase(0, end + 4);
  return true;
}

// Drops a request body the client sent, so the next request starts where it should.
bool skip_body(Connection& c, std::string& pending, const std::string& head) {
  const std::string length = header(head, "content-length");
  if (length.empty()) return true;
  char* end = nullptr;
  const unsigned long long n = std::strtoull(length.c_str(), &end, 10);
  if (*end != 0 || n > (1u << 20)) return false;
  while (pending.size() < n) {
    char buf[4096];
    const ssize_t got = c.read(buf, sizeof buf);
    if (got <= 0) return false;
    pending.append(buf, static_cast<size_t>(got));
  }
  pending.erase(0, static_cast<size_t>(n));
  return true;
}

// scheme://address:port of the listening socket this connection came in on.
std::string own_origin(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  char ip[INET_ADDRSTRLEN] = "127.0.0.1";
  ::inet_ntop(AF_INET, &addr.sin_addr, ip, sizeof ip);
  return std::string(g_tls ? "https" : "http") + "://" + ip + ":" + std::to_string(ntohs(addr.sin_port));
}

sim::Answer answer_for(const std::string& path, sim::StationScript* script) {
  sim::Answer a;
  if (path == "/_sim/reset") {
    script->reset();
    a.body = "ok";
  } else if (path == "/_sim/release") {
    a.body = "released";  // done when its request line was logged
  } else if (path == "/_sim/outage/start" && g_outage_enabled) {
    g_outage.start_outage();
    a.body = "down";
  } else if (path == "/_sim/outage/end" && g_outage_enabled) {
    g_outage.end_outage();
    a.body = "up";
  } else {
    a = script->answer(path);
  }
  return a;
}

void serve(int fd, unsigned long number, sim::StationScript* script, OutageListener* owner) {
  Connection c(fd);
  if (g_tls && !c.accept_tls(g_tls, number)) {
    if (owner) owner->untrack(fd);
    return;
  }
  std::string pending, head;
  bool keep_alive = true;
  bool dropped = false;
  while (keep_alive && read_head(c, pending, head)) {
    std::string line = head.substr(0, head.find("\r\n"));
    // Paths are sent as the program builds them, so a station name may hold a raw blank:
    // the method is the first word, the version the last.
    size_t first = line.find(' '), last = line.rfind(' ');
    if (first == std::string::npos || last <= first) break;
    std::string method = line.substr(0, first);
    std::string version = line.substr(last + 1);
    std::string path = sim::url_decode(line.substr(first + 1, last - first - 1));
    size_t query = path.find('?');
    if (query != std::string::npos) path.resize(query);
    const std::string request = method + ' ' + path;
    const unsigned long releases = log_request(request, path == "/_sim/release");
    if (!skip_body(c, pending, head)) break;

    const std::string connection = lower(header(head, "connection"));
    keep_alive = version == "HTTP/1.1" ? connection.find("close") == std::string::npos
                                       : connection.find("keep-alive") != std::string::npos;
    sim::Answer a = answer_for(path, script);
    if (a.hold) wait_for_release(releases);
    if (g_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(g_delay_ms));
    if (a.delay_seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(a.delay_seconds));
    // Logged before the client can see the answer, so a client that has it (or has seen
    // the connection end) always finds the line.
    if (a.drop) {
      log_line("ANSWER " + request + " drop");
      dropped = true;
      break;
    }
    // A body cut short can only end with the connection.
    if (a.cut) keep_alive = false;
    if (a.location.rfind("/", 0) == 0) a.location = own_origin(fd) + a.location;
    std::string response =
        "HTTP/1.1 " + std::to_string(a.status) + " " + reason(a.status) +
        (a.location.empty() ? "" : "\r\nLocation: " + a.location) +
        (a.retry_after.empty() ? "" : "\r\nRetry-After: " + a.retry_after) + "\r\nContent-Type: " + a.content_type +
        "\r\nContent-Length: " + std::to_string(a.body.size()) +
        "\r\nCache-Control: no-cache\r\nConnection: " + (keep_alive ? "keep-alive" : "close") + "\r\n\r\n";
    if (method != "HEAD") response += a.cut ? a.body.substr(0, a.body.size() / 2) : a.body;
    log_line("ANSWER " + request + ' ' + (a.cut ? std::string("cut") : std::to_string(a.status)));
    if (!c.write_all(response)) break;
  }
  if (owner) owner->untrack(fd);
  if (dropped) {
    ::shutdown(fd, SHUT_RDWR);
  } else {
    c.finish();
  }
}

// Serves an accepted connection on a thread of its own, so answers that wait (slow
// stations, --delay-ms) wait side by side.
void start_serving(int fd, sim::StationScript* script, OutageListener* owner) {
  const unsigned long number = ++g_connections;
  log_line("CONNECTION " + std::to_string(number));
  if (owner) owner->track(fd);
  try {
    std::thread(serve, fd, number, script, owner).detach();
  } catch (const std::system_error&) {
    if (owner) owner->untrack(fd);
    ::close(fd);
  }
}

int listen_on(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int port_of(int fd) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

void write_port_file(const std::string& file, int port) {
  std::string tmp = file + ".tmp";
  std::ofstream(tmp) << port << "\n";
  std::rename(tmp.c_str(), file.c_str());
}

bool OutageListener::open(int port) {
  fd_ = listen_on(port);
  if (fd_ < 0) return false;
  port_ = port_of(fd_);
  return true;
}

void OutageListener::track(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_.insert(fd);
}

// Called before the socket is closed, so a number reused by a later socket is never
// shut down by mistake.
void OutageListener::untrack(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  open_.erase(fd);
}

void OutageListener::start_outage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (down_) return;
  down_ = true;
  // Wakes the accept below; the closed socket refuses every new connection.
  ::shutdown(fd_, SHUT_RDWR);
  for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
}

void OutageListener::end_outage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!down_) return;
  ::close(fd_);  // shut down already; its accept has returned or returns at once
  fd_ = listen_on(port_);
  down_ = fd_ < 0;
}

void OutageListener::run(sim::StationScript* script) {
  for (;;) {
    int listener;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      listener = down_ ? -1 : fd_;
    }
    int fd = listener < 0 ? -1 : ::accept(listener, nullptr, nullptr);
    if (fd >= 0) {
      start_serving(fd, script, this);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

// Reads whatever the client sends (a TLS ClientHello) and never answers, so a client's
// handshake ends only by its own time-outs. The connections live in this process and end
// with it.
void stay_silent(int fd, unsigned long number) {
  unsigned long long received = 0;
  char buf[4096];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) received += static_cast<unsigned long long>(n);
  log_line("CLOSED " + std::to_string(number) + " silent-tls " + std::to_string(received));
  ::close(fd);
}

void run_silent(int listener) {
  for (;;) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) continue;
    const unsigned long number = ++g_connections;
    log_line("CONNECTION " + std::to_string(number) + " silent-tls");
    try {
      std::thread(stay_silent, fd, number).detach();
    } catch (const std::system_error&) {
      ::close(fd);
    }
  }
}

SSL_CTX* make_tls_context(const std::string& cert, const std::string& key) {
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  if (ctx && SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) == 1 &&
      SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
      SSL_CTX_check_private_key(ctx) == 1) {
    return ctx;
  }
  ERR_print_errors_fp(stderr);
  SSL_CTX_free(ctx);
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  unsigned walk = 1;
  std::string port_file, log_file, outage_port_file, silent_port_file, tls_cert, tls_key;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--port") port = std::atoi(value().c_str());
    else if (a == "--port-file") port_file = value();
    else if (a == "--log") log_file = value();
    else if (a == "--outage-port-file") outage_port_file = value();
    else if (a == "--silent-tls-port-file") silent_port_file = value();
    else if (a == "--walk") walk = static_cast<unsigned>(std::atoi(value().c_str()));
    else if (a == "--delay-ms") g_delay_ms = std::max(0, std::atoi(value().c_str()));
    else if (a == "--tls-cert") tls_cert = value();
    else if (a == "--tls-key") tls_key = value();
    else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else {
      std::cerr << "platform-sim: unknown argument " << a << "\n";
      usage();
      return 2;
    }
  }
  if (tls_cert.empty() != tls_key.empty()) {
    std::cerr << "platform-sim: --tls-cert and --tls-key go together\n";
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  if (!tls_cert.empty() && !(g_tls = make_tls_context(tls_cert, tls_key))) {
    std::cerr << "platform-sim: cannot use the certificate " << tls_cert << " with the key " << tls_key
              << "\n";
    return 1;
  }
  if (!log_file.empty()) g_log.open(log_file, std::ios::app);

  int srv = listen_on(port);
  if (srv < 0) {
    std::perror("platform-sim: cannot listen");
    return 1;
  }
  port = port_of(srv);
  sim::StationScript script(walk);
  if (!outage_port_file.empty()) {
    if (!g_outage.open(0)) {
      std::perror("platform-sim: cannot listen on a second port");
      return 1;
    }
    g_outage_enabled = true;
    write_port_file(outage_port_file, g_outage.port());
    std::thread([&script] { g_outage.run(&script); }).detach();
  }
  if (!silent_port_file.empty()) {
    const int silent = listen_on(0);
    if (silent < 0) {
      std::perror("platform-sim: cannot listen on a port for silent handshakes");
      return 1;
    }
    write_port_file(silent_port_file, port_of(silent));
    std::thread(run_silent, silent).detach();
  }
  // Written last: whoever waits for this file finds everything listening.
  if (!port_file.empty()) write_port_file(port_file, port);
  std::cout << "platform-sim listening on " << (g_tls ? "https" : "http") << "://127.0.0.1:" << port
            << std::endl;

  for (;;) {
    int fd = ::accept(srv, nullptr, nullptr);
    if (fd < 0) continue;
    start_serving(fd, &script, nullptr);
  }
}
