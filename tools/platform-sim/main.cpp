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

void usage() {
  std::cout << "usage: platform-sim [--port N] [--port-file FILE] [--log FILE] [--walk N]\n"
               "  --port N        port on 127.0.0.1 (0 = any free port, the default)\n"
               "  --port-file F   write the chosen port to F once listening\n"
               "  --log F         append one line per request (method and decoded path)\n"
               "Station names choose the behaviour: fixed-N, seq-A-B-C, crlf-N, text-WORD,\n"
               "status-CODE, slow-S-N, drop, big-K, umlaut, songs-A-B-C, badjson; any other\n"
               "name is a random walk. GET /_sim/reset restarts every sequence.\n";
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
  } else {
    a = script->answer(path);
  }
  if (a.delay_seconds > 0) std::this_thread::sleep_for(std::chrono::seconds(a.delay_seconds));
  if (!a.drop) {
    std::string head = "HTTP/1.1 " + std::to_string(a.status) + " " + reason(a.status) +
                       "\r\nContent-Type: " + a.content_type + "\r\nContent-Length: " +
                       std::to_string(a.body.size()) +
                       "\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
    send_all(fd, head + (method == "HEAD" ? std::string() : a.body));
  }
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  unsigned walk = 1;
  std::string port_file, log_file;
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

  int srv = ::socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  ::setsockopt(srv, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(srv, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(srv, 64) != 0) {
    std::perror("platform-sim: cannot listen");
    return 1;
  }
  socklen_t len = sizeof addr;
  ::getsockname(srv, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  if (!port_file.empty()) {
    std::string tmp = port_file + ".tmp";
    std::ofstream(tmp) << port << "\n";
    std::rename(tmp.c_str(), port_file.c_str());
  }
  std::cout << "platform-sim listening on http://127.0.0.1:" << port << std::endl;

  sim::StationScript script(walk);
  for (;;) {
    int fd = ::accept(srv, nullptr, nullptr);
    if (fd < 0) continue;
    std::thread(serve, fd, &script).detach();
  }
}
