#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "station_script.h"

namespace sim {
namespace {

TEST(StationScript, NamesChooseTheBehaviour) {
  StationScript s;
  EXPECT_EQ(s.answer("/station/fixed-42/listeners").body, "42");
  EXPECT_EQ(s.answer("/station/crlf-7/listeners").body, "7\r\n");
  EXPECT_EQ(s.answer("/station/text-hallo welt/listeners").body, "hallo welt");
  Answer e = s.answer("/station/status-404/listeners");
  EXPECT_EQ(e.status, 404);
  EXPECT_NE(e.body.find("<html>"), std::string::npos);
  EXPECT_TRUE(s.answer("/station/drop/listeners").drop);
  EXPECT_EQ(s.answer("/station/slow-20-3/listeners").delay_seconds, 20);
  Answer held = s.answer("/station/hold-3/listeners");
  EXPECT_TRUE(held.hold);
  EXPECT_EQ(held.body, "3");
  EXPECT_FALSE(s.answer("/station/fixed-3/listeners").hold);
  EXPECT_GT(s.answer("/station/big-2/listeners").body.size(), 2048u);
  EXPECT_EQ(s.answer("/nothing").status, 404);
}

TEST(StationScript, SequencesAdvancePerStationAndEndpointAndReset) {
  StationScript s;
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "1");
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "2");
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "2");
  EXPECT_NE(s.answer("/station/songs-4-5/current_song").body.find("\"id\": 4"), std::string::npos);
  EXPECT_NE(s.answer("/station/songs-4-5/current_song").body.find("\"id\": 5"), std::string::npos);
  s.reset();
  EXPECT_EQ(s.answer("/station/seq-1-2/listeners").body, "1");
}

TEST(StationScript, SequenceStepsCanFailInTheWayTheyName) {
  StationScript s;
  const std::string listeners = "/station/seq-4-status500-drop-cut-status99-6/listeners";
  Answer a = s.answer(listeners);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, "4");
  a = s.answer(listeners);
  EXPECT_EQ(a.status, 500);
  EXPECT_NE(a.body.find("<html>"), std::string::npos);
  a = s.answer(listeners);
  EXPECT_TRUE(a.drop);
  a = s.answer(listeners);
  EXPECT_TRUE(a.cut);
  EXPECT_FALSE(a.drop);
  // Not a status code: the step is the body, as any other word.
  a = s.answer(listeners);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.body, "status99");
  for (int i = 0; i < 2; ++i) {
    a = s.answer(listeners);
    EXPECT_EQ(a.status, 200);
    EXPECT_FALSE(a.drop || a.cut || a.hold);
    EXPECT_EQ(a.body, "6");
  }
  // The song requests of the station go through the same steps on their own count.
  const std::string song = "/station/seq-4-status500-drop-cut-status99-6/current_song";
  a = s.answer(song);
  EXPECT_EQ(a.status, 200);
  EXPECT_NE(a.body.find("\"title\""), std::string::npos);
  EXPECT_EQ(s.answer(song).status, 500);
  EXPECT_TRUE(s.answer(song).drop);
  EXPECT_TRUE(s.answer(song).cut);
  a = s.answer(song);
  EXPECT_FALSE(a.drop || a.cut);
  EXPECT_NE(a.body.find("\"title\""), std::string::npos);
}

TEST(StationScript, RedirectsPointAtTheAddressTheNameHolds) {
  StationScript s;
  const std::string to_five = "redirect-302~https://127.0.0.1:8443/station/fixed-5";
  for (int i = 0; i < 2; ++i) {
    Answer a = s.answer("/station/" + to_five + "/listeners");
    EXPECT_EQ(a.status, 302);
    EXPECT_EQ(a.location, "https://127.0.0.1:8443/station/fixed-5/listeners");
  }
  EXPECT_EQ(s.answer("/station/" + to_five + "/current_song").location,
            "https://127.0.0.1:8443/station/fixed-5/current_song");
  // A redirect to a redirect: the inner name stays one path segment.
  const std::string inner = "redirect-308~https://127.0.0.1:8443/station/fixed-6";
  Answer a = s.answer("/station/redirect-307~http://127.0.0.1:8080/station/" + inner + "/listeners");
  EXPECT_EQ(a.status, 307);
  EXPECT_EQ(
      a.location,
      "http://127.0.0.1:8080/station/redirect-308~https:%2F%2F127.0.0.1:8443%2Fstation%2Ffixed-6/listeners");
  a = s.answer(url_decode(a.location.substr(std::string("http://127.0.0.1:8080").size())));
  EXPECT_EQ(a.status, 308);
  EXPECT_EQ(a.location, "https://127.0.0.1:8443/station/fixed-6/listeners");

  // A loop of one: the server puts its own origin in front of the path.
  for (int i = 0; i < 2; ++i) {
    a = s.answer("/station/loop-301/listeners");
    EXPECT_EQ(a.status, 301);
    EXPECT_EQ(a.location, "/station/loop-301/listeners");
  }
  // Round two origins: each hop moves the first to the end.
  a = s.answer("/station/loop-302~http://127.0.0.1:1~https://127.0.0.1:2/listeners");
  EXPECT_EQ(a.location,
            "http://127.0.0.1:1/station/loop-302~https:%2F%2F127.0.0.1:2~http:%2F%2F127.0.0.1:1/listeners");
  a = s.answer(url_decode(a.location.substr(std::string("http://127.0.0.1:1").size())));
  EXPECT_EQ(a.location,
            "https://127.0.0.1:2/station/loop-302~http:%2F%2F127.0.0.1:1~https:%2F%2F127.0.0.1:2/listeners");
  a = s.answer(url_decode(a.location.substr(std::string("https://127.0.0.1:2").size())));
  EXPECT_EQ(a.location,
            "http://127.0.0.1:1/station/loop-302~https:%2F%2F127.0.0.1:2~http:%2F%2F127.0.0.1:1/listeners");

  // Only 3xx codes redirect.
  EXPECT_TRUE(
      s.answer("/station/redirect-200~http://127.0.0.1:1/station/fixed-5/listeners").location.empty());
  EXPECT_TRUE(s.answer("/station/loop-x/listeners").location.empty());
}

TEST(StationScript, RandomWalkStaysNonNegativeAndSongsCarryTheMembers) {
  StationScript s;
  for (int i = 0; i < 200; ++i) {
    EXPECT_GE(std::stoi(s.answer("/station/nachtradio/listeners").body), 0);
  }
  std::string song = s.answer("/station/nachtradio/current_song").body;
  for (const char* member : {"\"id\"", "\"title\"", "\"artist\"", "\"name\"", "\"album\""}) {
    EXPECT_NE(song.find(member), std::string::npos) << member;
  }
  EXPECT_EQ(url_decode("/station/schoene%20lieder/listeners"), "/station/schoene lieder/listeners");
}

// The log's lines that start with `prefix`, in order.
std::vector<std::string> lines_starting(const std::string& log, const std::string& prefix) {
  std::vector<std::string> found;
  std::stringstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line);
  }
  return found;
}

// Where the lines starting with `prefix` stand among the log's lines (from 0).
std::vector<int> line_numbers(const std::string& log, const std::string& prefix) {
  std::vector<int> found;
  std::stringstream in(log);
  int i = 0;
  for (std::string line; std::getline(in, line); ++i) {
    if (line.rfind(prefix, 0) == 0) found.push_back(i);
  }
  return found;
}

std::string file_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The simulator program itself on a free port, ended with the test. "%DIR%" in an
// argument stands for a folder of its own.
class Server {
 public:
  explicit Server(std::vector<std::string> args) {
    char dir_template[] = "/tmp/kn_sim_XXXXXX";
    dir_ = mkdtemp(dir_template);
    for (auto& a : args) {
      if (a.rfind("%DIR%", 0) == 0) a = dir_ + a.substr(5);
    }
    args.insert(args.begin(), {KN_PLATFORM_SIM, "--port-file", dir_ + "/port", "--log", dir_ + "/log"});
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
      execv(argv[0], argv.data());
      _exit(127);
    }
    for (int i = 0; i < 200 && port_ == 0; ++i) {
      std::ifstream(dir_ + "/port") >> port_;
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
  }
  ~Server() {
    stop();
    std::filesystem::remove_all(dir_);
  }
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  int port() const { return port_; }
  // A port the simulator wrote to a file in its folder.
  int port_in(const std::string& file) const {
    int port = 0;
    std::ifstream(dir_ + "/" + file) >> port;
    return port;
  }
  std::string log() const { return file_text(dir_ + "/log"); }

  // Waits for the log to satisfy `done`; the ceiling only ends a test whose event never comes.
  template <typename Done>
  bool wait_for_log(Done done) const {
    for (int i = 0; i < 2000; ++i) {
      if (done(log())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// One TCP connection to the simulator, read as an HTTP/1.1 client reads it.
class Client {
 public:
  explicit Client(int port) : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    // An answer that never comes fails the test instead of hanging it.
    set_receive_limit(std::chrono::seconds(10));
  }
  ~Client() { close(fd_); }
  bool connected() const { return connected_; }

  void send_text(const std::string& text) {
    ASSERT_EQ(send(fd_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
  }
  void get(const std::string& path, const std::string& extra = {}) {
    send_text("GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extra + "\r\n");
  }

  // The head and the body of the next answer, as far as its Content-Length says; an
  // empty head when the connection ends first.
  std::pair<std::string, std::string> answer() {
    size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!fill()) return {};
    }
    std::string head = buffer_.substr(0, end + 2);
    buffer_.erase(0, end + 4);
    const size_t field = head.find("Content-Length: ");
    if (field == std::string::npos) return {head, "(no Content-Length)"};
    const size_t length = std::stoul(head.substr(field + 16));
    while (buffer_.size() < length) {
      if (!fill()) return {head, "(cut: " + std::exchange(buffer_, {}) + ")"};
    }
    std::string body = buffer_.substr(0, length);
    buffer_.erase(0, length);
    return {head, body};
  }

  // The server closed the connection, with nothing more sent; not when the wait ran out.
  bool closed() { return buffer_.empty() && !fill() && !timed_out_; }

  // Nothing arrives for this long (the server has not closed either).
  bool silent_for(std::chrono::milliseconds wait) {
    set_receive_limit(wait);
    const bool silent = buffer_.empty() && !fill() && timed_out_;
    set_receive_limit(std::chrono::seconds(10));
    return silent;
  }

  void close_now() { shutdown(fd_, SHUT_RDWR); }

 private:
  bool fill() {
    char buf[4096];
    const ssize_t n = recv(fd_, buf, sizeof buf, 0);
    timed_out_ = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    if (n <= 0) return false;
    buffer_.append(buf, static_cast<size_t>(n));
    return true;
  }

  void set_receive_limit(std::chrono::milliseconds limit) {
    timeval t{static_cast<time_t>(limit.count() / 1000),
              static_cast<suseconds_t>(limit.count() % 1000 * 1000)};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
  }

  bool timed_out_ = false;

  int fd_;
  bool connected_ = false;
  std::string buffer_;
};

TEST(PlatformSimServer, KeepsConnectionsOpenAndLogsEachNewOne) {
  Server sim({});
  ASSERT_NE(sim.port(), 0);
  {
    Client c(sim.port());
    ASSERT_TRUE(c.connected());
    c.get("/station/fixed-5/listeners");
    auto [head, body] = c.answer();
    EXPECT_EQ(body, "5");
    EXPECT_NE(head.find("Connection: keep-alive\r\n"), std::string::npos) << head;
    // Two requests sent at once get their answers in turn.
    c.get("/station/seq-1-2/listeners");
    c.get("/station/seq-1-2/listeners");
    EXPECT_EQ(c.answer().second, "1");
    EXPECT_EQ(c.answer().second, "2");
    c.get("/station/status-503/listeners");
    EXPECT_NE(c.answer().first.find("HTTP/1.1 503 "), std::string::npos);
    c.get("/station/drop/listeners");
    EXPECT_TRUE(c.closed());
  }
  {
    Client c(sim.port());
    c.get("/station/fixed-7/listeners", "Connection: close\r\n");
    auto [head, body] = c.answer();
    EXPECT_EQ(body, "7");
    EXPECT_NE(head.find("Connection: close\r\n"), std::string::npos) << head;
    EXPECT_TRUE(c.closed());
  }
  {
    Client c(sim.port());
    c.get("/station/cut/listeners");
    EXPECT_EQ(c.answer().second, "(cut: 12345)");
    EXPECT_TRUE(c.closed());
  }
  // Each answer is logged before the client can have it, so the log is complete here.
  EXPECT_EQ(sim.log(),
            "CONNECTION 1\n"
            "GET /station/fixed-5/listeners\nANSWER GET /station/fixed-5/listeners 200\n"
            "GET /station/seq-1-2/listeners\nANSWER GET /station/seq-1-2/listeners 200\n"
            "GET /station/seq-1-2/listeners\nANSWER GET /station/seq-1-2/listeners 200\n"
            "GET /station/status-503/listeners\nANSWER GET /station/status-503/listeners 503\n"
            "GET /station/drop/listeners\nANSWER GET /station/drop/listeners drop\n"
            "CONNECTION 2\n"
            "GET /station/fixed-7/listeners\nANSWER GET /station/fixed-7/listeners 200\n"
            "CONNECTION 3\n"
            "GET /station/cut/listeners\nANSWER GET /station/cut/listeners cut\n");
}

TEST(PlatformSimServer, ASequenceAnswersFailsTwiceAndAnswersAgain) {
  Server sim({});
  ASSERT_NE(sim.port(), 0);
  const std::string path = "/station/seq-42-status500-drop-43/listeners";
  {
    Client c(sim.port());
    c.get(path);
    EXPECT_EQ(c.answer().second, "42");
    c.get(path);
    auto [head, body] = c.answer();
    EXPECT_EQ(head.substr(0, 13), "HTTP/1.1 500 ") << head;
    c.get(path);
    EXPECT_TRUE(c.closed());
  }
  for (int i = 0; i < 2; ++i) {
    Client c(sim.port());
    c.get(path);
    EXPECT_EQ(c.answer().second, "43");
  }
  const std::string answers = "ANSWER GET " + path;
  EXPECT_EQ(lines_starting(sim.log(), "ANSWER "),
            (std::vector<std::string>{answers + " 200", answers + " 500", answers + " drop", answers + " 200",
                                      answers + " 200"}));
}

TEST(PlatformSimServer, ABusyStationAsksEverySecondRequestToComeBackInASecond) {
  Server sim({});
  ASSERT_NE(sim.port(), 0);
  Client c(sim.port());
  c.get("/station/busy-8/listeners");
  EXPECT_EQ(c.answer().second, "8");
  c.get("/station/busy-8/listeners");
  const auto [head, body] = c.answer();
  EXPECT_EQ(head.substr(0, 13), "HTTP/1.1 429 ") << head;
  EXPECT_NE(head.find("\r\nRetry-After: 1\r\n"), std::string::npos) << head;
  c.get("/station/busy-8/listeners");
  EXPECT_EQ(c.answer().second, "8");
  c.get("/station/busy-8/current_song");
  EXPECT_NE(c.answer().second.find("\"id\""), std::string::npos);
}

// The port and the path of an answer's Location on 127.0.0.1, e.g. {8080, "/station/x"}.
std::pair<int, std::string> location_of(const std::string& head, const std::string& scheme = "http") {
  const std::string field = "\r\nLocation: " + scheme + "://127.0.0.1:";
  const size_t start = head.find(field);
  if (start == std::string::npos) return {0, head};
  const size_t port = start + field.size();
  const size_t path = head.find('/', port);
  const size_t end = head.find("\r\n", port);
  return {std::stoi(head.substr(port, path - port)), head.substr(path, end - path)};
}

TEST(PlatformSimServer, RedirectsLeadToAnotherServerOrRoundALoop) {
  Server a({}), b({});
  ASSERT_NE(a.port(), 0);
  ASSERT_NE(b.port(), 0);
  const std::string origin_a = "http://127.0.0.1:" + std::to_string(a.port());
  const std::string origin_b = "http://127.0.0.1:" + std::to_string(b.port());
  {
    Client c(a.port());
    c.get("/station/redirect-307~" + origin_b + "/station/fixed-5/listeners");
    const std::string head = c.answer().first;
    EXPECT_EQ(head.substr(0, 13), "HTTP/1.1 307 ") << head;
    const auto [port, path] = location_of(head);
    EXPECT_EQ(port, b.port()) << head;
    EXPECT_EQ(path, "/station/fixed-5/listeners");
    Client there(port);
    there.get(path);
    EXPECT_EQ(there.answer().second, "5");
  }
  {
    Client c(a.port());
    c.get("/station/loop-302/listeners");
    const std::string head = c.answer().first;
    EXPECT_EQ(head.substr(0, 13), "HTTP/1.1 302 ") << head;
    EXPECT_EQ(location_of(head), std::make_pair(a.port(), std::string("/station/loop-302/listeners")));
  }
  // From A round B and A: B, A, B, A, ...
  std::string path = "/station/loop-301~" + origin_b + "~" + origin_a + "/listeners";
  int port = a.port();
  std::vector<int> hops;
  for (int i = 0; i < 4; ++i) {
    Client c(port);
    c.get(path);
    const std::string head = c.answer().first;
    ASSERT_EQ(head.substr(0, 13), "HTTP/1.1 301 ") << head;
    std::tie(port, path) = location_of(head);
    hops.push_back(port);
  }
  EXPECT_EQ(hops, (std::vector<int>{b.port(), a.port(), b.port(), a.port()}));
  for (const Server* server : {&a, &b}) {
    const auto answers = lines_starting(server->log(), "ANSWER GET /station/loop-301~");
    EXPECT_EQ(answers.size(), 2u) << server->log();
    for (const auto& line : answers) EXPECT_EQ(line.substr(line.size() - 4), " 301") << line;
  }
}

// A self-signed certificate and key for 127.0.0.1 in `dir`, made with the openssl tool.
bool make_certificate(const std::string& dir) {
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=127.0.0.1 "
      "-keyout " +
      dir + "/key.pem -out " + dir + "/cert.pem >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Everything the server sends for one request over TLS (openssl s_client as the client).
std::string tls_get(int port, const std::string& path) {
  const std::string command = "printf 'GET " + path +
                              " HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\nConnection: close\\r\\n\\r\\n' | "
                              "timeout 30 openssl s_client -quiet -connect 127.0.0.1:" +
                              std::to_string(port) + " 2>/dev/null";
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    pclose(p);
  }
  return out;
}

TEST(PlatformSimServer, ALoopOfOneOverHttpsStaysOnHttps) {
  char dir_template[] = "/tmp/kn_sim_cert_XXXXXX";
  const std::string dir = mkdtemp(dir_template);
  if (!make_certificate(dir)) {
    rmdir(dir.c_str());
    GTEST_SKIP() << "the openssl tool could not make a test certificate";
  }
  {
    Server tls({"--tls-cert", dir + "/cert.pem", "--tls-key", dir + "/key.pem"});
    ASSERT_NE(tls.port(), 0);
    const std::string answer = tls_get(tls.port(), "/station/loop-308/listeners");
    EXPECT_EQ(answer.substr(0, 13), "HTTP/1.1 308 ") << answer;
    EXPECT_EQ(location_of(answer, "https"),
              std::make_pair(tls.port(), std::string("/station/loop-308/listeners")))
        << answer;
  }
  std::remove((dir + "/cert.pem").c_str());
  std::remove((dir + "/key.pem").c_str());
  rmdir(dir.c_str());
}

TEST(PlatformSimServer, ASilentTlsPortReadsTheHandshakeAndNeverAnswersWhileTheSimulatorRuns) {
  Server sim({"--silent-tls-port-file", "%DIR%/silent"});
  ASSERT_NE(sim.port(), 0);
  const int silent = sim.port_in("silent");
  ASSERT_NE(silent, 0);
  ASSERT_NE(silent, sim.port());
  // The first bytes of a ClientHello record.
  const std::string hello("\x16\x03\x01\x00\xc8\x01\x00\x00\xc4\x03\x03", 11);
  Client gives_up(silent), waits(silent);
  ASSERT_TRUE(gives_up.connected());
  ASSERT_TRUE(waits.connected());
  gives_up.send_text(hello);
  waits.send_text(hello);
  ASSERT_TRUE(sim.wait_for_log([](const std::string& log) {
    return lines_starting(log, "CONNECTION ").size() == 2;
  })) << sim.log();
  for (const auto& line : lines_starting(sim.log(), "CONNECTION ")) {
    EXPECT_EQ(line.substr(line.size() - 11), " silent-tls") << line;
  }
  EXPECT_TRUE(waits.silent_for(std::chrono::milliseconds(300)));

  // A client that gives up: the simulator read its whole hello.
  gives_up.close_now();
  ASSERT_TRUE(sim.wait_for_log([](const std::string& log) {
    return !lines_starting(log, "CLOSED ").empty();
  })) << sim.log();
  const auto closed = lines_starting(sim.log(), "CLOSED ");
  ASSERT_EQ(closed.size(), 1u) << sim.log();
  EXPECT_EQ(closed[0].substr(closed[0].size() - 14), " silent-tls 11") << closed[0];
  EXPECT_TRUE(waits.silent_for(std::chrono::milliseconds(100)));

  // The ordinary port answers beside it.
  Client plain(sim.port());
  plain.get("/station/fixed-8/listeners");
  EXPECT_EQ(plain.answer().second, "8");

  // The simulator stops: the connection that waited ends, and the port refuses.
  sim.stop();
  EXPECT_TRUE(waits.closed());
  EXPECT_FALSE(Client(silent).connected());
}

TEST(PlatformSimServer, DelaysEveryAnswerWithConnectionsWaitingSideBySide) {
  Server sim({"--delay-ms", "300"});
  ASSERT_NE(sim.port(), 0);
  // Held answers wait until the test lets them go, so all four requests are read while
  // none has been answered, however slowly the machine runs. A simulator that served
  // one connection at a time would never read the second.
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 4; ++i) {
    clients.push_back(std::make_unique<Client>(sim.port()));
    clients.back()->get("/station/hold-" + std::to_string(i) + "/listeners");
  }
  ASSERT_TRUE(sim.wait_for_log([](const std::string& log) {
    return lines_starting(log, "GET ").size() == 4;
  })) << sim.log();
  EXPECT_TRUE(lines_starting(sim.log(), "ANSWER ").empty()) << sim.log();

  const auto released = std::chrono::steady_clock::now();
  Client control(sim.port());
  control.get("/_sim/release");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(clients[static_cast<size_t>(i)]->answer().second, std::to_string(i));
    // Released, it still waited its delay.
    EXPECT_GE(std::chrono::steady_clock::now() - released, std::chrono::milliseconds(300));
  }
  EXPECT_EQ(control.answer().second, "released");

  const std::string log = sim.log();
  const auto answers = lines_starting(log, "ANSWER GET /station/hold-");
  EXPECT_EQ(answers.size(), 4u) << log;
  for (const auto& a : answers) EXPECT_EQ(a.substr(a.size() - 4), " 200") << a;
  // All four requests came in before the first answer went out.
  const auto requests = line_numbers(log, "GET /station/hold-");
  const auto release = line_numbers(log, "GET /_sim/release");
  const auto answered = line_numbers(log, "ANSWER ");
  ASSERT_EQ(requests.size(), 4u) << log;
  ASSERT_EQ(release.size(), 1u) << log;
  ASSERT_FALSE(answered.empty()) << log;
  EXPECT_LT(requests.back(), release.front()) << log;
  EXPECT_LT(release.front(), answered.front()) << log;
}

TEST(PlatformSimServer, AReleaseFreesOnlyTheAnswersHeldBeforeIt) {
  Server sim({});
  ASSERT_NE(sim.port(), 0);
  Client first(sim.port());
  first.get("/station/hold-1/listeners");
  ASSERT_TRUE(sim.wait_for_log(
      [](const std::string& log) { return log.find("GET /station/hold-1/") != std::string::npos; }));
  Client release(sim.port());
  release.get("/_sim/release");
  EXPECT_EQ(release.answer().second, "released");
  EXPECT_EQ(first.answer().second, "1");
  // A request after the release waits for the next one.
  Client second(sim.port());
  second.get("/station/hold-2/listeners");
  ASSERT_TRUE(sim.wait_for_log(
      [](const std::string& log) { return log.find("GET /station/hold-2/") != std::string::npos; }));
  Client other(sim.port());
  other.get("/station/fixed-3/listeners");
  EXPECT_EQ(other.answer().second, "3");
  EXPECT_EQ(lines_starting(sim.log(), "ANSWER GET /station/hold-2/").size(), 0u) << sim.log();
  release.get("/_sim/release");
  EXPECT_EQ(release.answer().second, "released");
  EXPECT_EQ(second.answer().second, "2");
}

}  // namespace
}  // namespace sim
