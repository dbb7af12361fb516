// Local stand-in for the radio platform's web API (plain HTTP on 127.0.0.1).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "station_script.h"

namespace {

std::mutex g_log_mutex;
std::ofstream g_log;

// A second listener that can be taken down and brought back on the same port, so a
// client sees "server not running" (connection refused) and then a working server.
class OutageListener {
 public:
  bool open(int port);  // port 0 = any free port
  int port() const { return port_; }
  void start_outage();
  void end_outage();
  void run(sim::StationScript* script);

 private:
  std::mutex mutex_;
  int fd_ = -1;
  int port_ = 0;
  bool down_ = false;
};
OutageListener g_outage;
bool g_outage_enabled = false;

void usage() {
  std::cout << "usage: platform-sim [--port N] [--port-file FILE] [--log FILE] [--walk N]\n"
               "  --port N        port on 127.0.0.1 (0 = any free port, the default)\n"
               "  --port-file F   write the chosen port to F once listening\n"
               "  --log F         append one line per request (method and decoded path)\n"
               "  --outage-port-file F  a second port, written to F, that GET /_sim/outage/start\n"
               "                  closes (connection refused) and /_sim/outage/end opens again\n"
               "Station names choose the behaviour: fixed-N, seq-A-B-C, crlf-N, text-WORD,\n"
               "status-CODE, slow-S-N, drop, big-K, umlaut, songs-A-B-C, badjson; any other\n"
               "name is a random walk. GET /_sim/reset restarts every sequence.\n"
               "FAULT~N: the behaviour FAULT once, then N listeners (a fault that clears).\n";
}

bool send_all(int fd, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

const char* reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

void serve(int fd, sim::StationScript* script) {
  std::string req;
  char buf[4096];
  while (req.find("\r\n\r\n") == std::string::npos && req.size() < 65536) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    req.append(buf, static_cast<size_t>(n));
  }
  std::string line = req.substr(0, req.find("\r\n"));
  // Paths are sent as the program builds them, so a station name may hold a raw blank:
  // the method is the first word, the version the last.
  size_t first = line.find(' '), last = line.rfind(' ');
  if (first == std::string::npos || last <= first) {
    ::close(fd);
    return;
  }
  std::string method = line.substr(0, first);
  std::string path = sim::url_decode(line.substr(first + 1, last - first - 1));
  size_t query = path.find('?');
  if (query != std::string::npos) path.resize(query);
  {
    std::lock_guard<std::mutex> lock(g_log_mutex);
    if (g_log.is_open()) {
      g_log << method << ' ' << path << std::endl;
    }
  }
  sim::Answer a;
  if (path == "/_sim/reset") {
    script->reset();
    a.body = "ok";
  } else if (path == "/_sim/outage/start" && g_outage_enabled) {
    g_outage.start_outage();
    a.body = "down";
  } else if (path == "/_sim/outage/end" && g_outage_enabled) {
    g_outage.end_outage();
    a.body = "up";
  } else {
    a = script->answer(path);
  }
  if (a.delay_seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(a.delay_seconds));
  if (!a.drop) {
    std::string head = "HTTP/1.1 " + std::to_string(a.status) + " " + reason(a.status) +
                       "\r\nContent-Type: " + a.content_type + "\r\nContent-Length: " +
                       std::to_string(a.body.size()) +
                       "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
    std::string body = method == "HEAD" ? std::string() : a.body;
    if (a.cut) body.resize(body.size() / 2);
    send_all(fd, head + body);
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
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

void OutageListener::start_outage() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (down_) return;
  down_ = true;
  // Wakes the accept below; the closed socket refuses every new connection.
  ::shutdown(fd_, SHUT_RDWR);
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
      std::thread(serve, fd, script).detach();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  unsigned walk = 1;
  std::string port_file, log_file, outage_port_file;
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
    else if (a == "--walk") walk = static_cast<unsigned>(std::atoi(value().c_str()));
    else if (a == "--help" || a == "-h") {
      usage();
      return 0;
    } else {
      std::cerr << "platform-sim: unknown argument " << a << "\n";
      usage();
      return 2;
    }
  }
  signal(SIGPIPE, SIG_IGN);
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
  // Written last: whoever waits for this file finds everything listening.
  if (!port_file.empty()) write_port_file(port_file, port);
  std::cout << "platform-sim listening on http://127.0.0.1:" << port << std::endl;

  for (;;) {
    int fd = ::accept(srv, nullptr, nullptr);
    if (fd < 0) continue;
    std::thread(serve, fd, &script).detach();
  }
}
