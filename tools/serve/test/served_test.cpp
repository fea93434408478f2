// SPDX-License-Identifier: GPL-2.0
// The gateway as the camera serves it: ptz_cgi under lighttpd, the VISCA
// head simulator behind it, curl as the controller.
//
// By default both run on this host, on 127.0.0.1. The tests share
// /tmp/viscaport.txt, the lock file and "sem_cgi" with the other
// process-level tests: CTest runs them one at a time, and each puts back
// what it found. With PTZ_BOARD_PORT set, the same tests drive the virtual
// ARMv7 camera (board/camera) through that forwarded port, and reach its
// simulator and speed memory through the camera's test hook /board/ctl;
// PTZ_BOARD_LOGIN is the camera's USER:PASSWORD.
#include "child.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <semaphore.h>
#include <set>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if !defined(PTZ_CGI_PATH) || !defined(VISCA_SIM_PATH) || !defined(LIGHTTPD_CONF) || \
    !defined(RUN_SH) || !defined(DIST_DIR)
#error "PTZ_CGI_PATH, VISCA_SIM_PATH, LIGHTTPD_CONF, RUN_SH and DIST_DIR must be defined"
#endif

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kPortFile = "/tmp/viscaport.txt";
const std::string kSemFile = "/dev/shm/sem.sem_cgi";
const std::string kCommandDump = "90\n41\n\n90\n51\n\n";

// What ptz_cgi prints after the reply dumps.
std::string cgi_reply(const std::string &body) {
  return "Status:200\r\nContent-type:Text/plain\r\nContent-length:" + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

struct http_reply {
  int code = 0;
  std::string headers;
  std::string body;
  double seconds = 0;
};

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
std::vector<std::string> digest(const std::string &login) { return {"--digest", "-u", login}; }

// One curl run, with these `options` (a login, headers); several may be in
// flight at once.
class http_get {
 public:
  http_get(const std::string &url, const std::string &dir, int serial, int max_seconds = 20,
           const std::vector<std::string> &options = {})
      : base_(dir + "/curl" + std::to_string(serial)),
        start_(monotonic_seconds()),
        curl_(with({"curl", "-sS", "--max-time", std::to_string(max_seconds), "-D", base_ + ".head",
                    "-o", base_ + ".body", "-w", "%{http_code}", url},
                   options),
              base_ + ".out") {}
  http_reply finish() {
    http_reply r;
    EXPECT_EQ(curl_.wait(), 0) << read_file(base_ + ".out");
    r.seconds = monotonic_seconds() - start_;
    // No status at all reads as 0, which no test expects.
    r.code = std::atoi(read_file(base_ + ".out").c_str());  // NOLINT(cert-err34-c)
    r.headers = read_file(base_ + ".head");
    r.body = read_file(base_ + ".body");
    return r;
  }

 private:
  std::string base_;
  double start_;
  child curl_;
};

// A TCP port that was free a moment ago.
std::uint16_t free_tcp_port() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  // Unbound, the port stays 0.
  if (bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) == 0)
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

bool accepts_connections(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) == 0;
  close(fd);
  return ok;
}

// Local addresses ("0100007F:1F90") of sockets bound to `port` in a
// /proc/net table.
std::vector<std::string> bound_addresses(const std::string &table, std::uint16_t port) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> found;
  char port_hex[8];
  std::snprintf(port_hex, sizeof(port_hex), ":%04X", port);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local;
    fields >> slot >> local;
    if (local.size() > 5 && local.substr(local.size() - 5) == port_hex) found.push_back(local);
  }
  return found;
}

// Processes running `program`, by pid.
std::set<pid_t> processes_of(const std::string &program) {
  std::set<pid_t> found;
  for (const auto &e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string cmdline = read_file(e.path() / "cmdline");
    if (cmdline.compare(0, program.size() + 1, program + '\0') == 0) found.insert(std::stoi(name));
  }
  return found;
}

// Folders that scripts/run.sh makes for what it serves.
std::set<std::string> run_folders() {
  std::set<std::string> found;
  for (const auto &e : fs::directory_iterator("/tmp"))
    if (e.path().filename().string().rfind("ptz_serve.", 0) == 0) found.insert(e.path());
  return found;
}

// What the tests need of wherever the gateway runs.
class gateway {
 public:
  virtual ~gateway() = default;
  virtual std::uint16_t port() const = 0;
  // A fresh simulator (head at home, empty log) with these options.
  virtual void restart_sim(const std::vector<std::string> &options) = 0;
  // The packets the simulator logged, as hex text, in order.
  virtual std::string sim_log() const = 0;
  // Sends a VISCA inquiry to the simulator and returns its one reply.
  virtual std::vector<std::uint8_t> inquire(const std::vector<std::uint8_t> &packet) const = 0;
  virtual std::string speed_memory() const = 0;
  virtual bool on_board() const { return false; }
  std::string login;  // USER:PASSWORD
};

// lighttpd and the simulator on this host, in a folder of the test's own.
class host_gateway : public gateway {
 public:
  explicit host_gateway(const std::string &dir) : dir_(dir) {
    sem_existed_ = fs::exists(kSemFile);
    fs::create_directories(dir_ + "/htdocs");
    fs::create_directories(dir_ + "/gateway/cgi-bin");
    fs::copy_file(PTZ_CGI_PATH, dir_ + "/gateway/ptz_cgi");
    child passwd({"sh", std::string(DIST_DIR) + "/ptz-passwd", "-f", dir_ + "/users.htdigest",
                  "--generate", "operator"},
                 dir_ + "/password");
    EXPECT_EQ(passwd.wait(), 0);
    const std::string password = read_file(dir_ + "/password");
    login = "operator:" + password.substr(0, password.find('\n'));
  }
  ~host_gateway() override {
    lighttpd_.reset();
    sim_.reset();
    if (!sem_existed_) sem_unlink("sem_cgi");
  }

  std::uint16_t port() const override { return port_; }
  std::uint16_t sim_port() const { return sim_port_; }
  const child &sim() const { return *sim_; }

  void restart_sim(const std::vector<std::string> &options) override {
    sim_.reset();
    unlink(kPortFile.c_str());
    std::vector<std::string> argv = {VISCA_SIM_PATH, "--port", "0", "--port-file", kPortFile};
    argv.insert(argv.end(), options.begin(), options.end());
    sim_ = std::make_unique<child>(argv, sim_log_path());
    ASSERT_TRUE(sim_->started());
    for (int i = 0; i < 500 && read_file(kPortFile).size() < 2; ++i)
      std::this_thread::sleep_for(10ms);
    const std::string raw = read_file(kPortFile);
    ASSERT_EQ(raw.size(), 2u) << read_file(sim_log_path());
    sim_port_ = static_cast<std::uint16_t>(static_cast<unsigned char>(raw[0]) |
                                           static_cast<unsigned char>(raw[1]) << 8);
  }

  void start_lighttpd() {
    port_ = free_tcp_port();
    lighttpd_ = std::make_unique<child>(
        std::vector<std::string>{"lighttpd", "-D", "-f", LIGHTTPD_CONF}, dir_ + "/lighttpd.out",
        std::vector<std::string>{
            "PTZ_SERVE_DIR=" + dir_, "PTZ_SERVE_PORT=" + std::to_string(port_),
            std::string("PTZ_SERVE_LOGIN=") + DIST_DIR + "/lighttpd/40-ptz-login.conf",
            // The allow-listed controller, reached with curl --interface.
            "PTZ_SERVE_CONTROLLERS=^127\\.0\\.0\\.2$"});
    ASSERT_TRUE(lighttpd_->started());
    for (int i = 0; i < 500 && !accepts_connections(port_); ++i) {
      ASSERT_TRUE(lighttpd_->running())
          << read_file(dir_ + "/lighttpd.out") << read_file(dir_ + "/lighttpd.log");
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(accepts_connections(port_));
  }

  std::string sim_log() const override { return read_file(sim_log_path()); }

  std::vector<std::uint8_t> inquire(const std::vector<std::uint8_t> &packet) const override {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(sim_port_);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof(to));
    pollfd p{fd, POLLIN, 0};
    std::vector<std::uint8_t> reply(32);
    ssize_t n = -1;
    if (poll(&p, 1, 2000) == 1) n = recv(fd, reply.data(), reply.size(), 0);
    close(fd);
    reply.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return reply;
  }

  std::string speed_memory() const override {
    return read_file(dir_ + "/gateway/cgi-bin/vv_ww.config");
  }

 private:
  std::string sim_log_path() const { return dir_ + "/visca_sim.log"; }

  std::string dir_;
  saved_file port_file_{kPortFile};
  std::unique_ptr<child> sim_;
  std::unique_ptr<child> lighttpd_;
  std::uint16_t sim_port_ = 0;
  std::uint16_t port_ = 0;
  bool sem_existed_ = false;
};

// The virtual camera, through its forwarded port and its test hook.
class board_gateway : public gateway {
 public:
  board_gateway(std::uint16_t port, const std::string &dir) : port_(port), dir_(dir) {}

  std::uint16_t port() const override { return port_; }
  bool on_board() const override { return true; }

  void restart_sim(const std::vector<std::string> &options) override {
    std::string words = "sim";
    for (const auto &o : options) words += "+" + o;
    const http_reply r = ctl(words);
    ASSERT_EQ(r.code, 200) << r.body;
  }
  std::string sim_log() const override { return ctl("log").body; }
  std::string speed_memory() const override { return ctl("memory").body; }

  std::vector<std::uint8_t> inquire(const std::vector<std::uint8_t> &packet) const override {
    std::string hex;
    char byte[3];
    for (const auto b : packet) {
      std::snprintf(byte, sizeof(byte), "%02X", b);
      hex += byte;
    }
    std::vector<std::uint8_t> reply;
    std::istringstream text(ctl("inquire+" + hex).body);
    unsigned value;
    while (text >> std::hex >> value) reply.push_back(static_cast<std::uint8_t>(value));
    return reply;
  }

 private:
  http_reply ctl(const std::string &words) const {
    return http_get("http://127.0.0.1:" + std::to_string(port_) + "/board/ctl?" + words, dir_,
                    serial_++, 20, digest(login))
        .finish();
  }

  std::uint16_t port_;
  std::string dir_;
  mutable int serial_ = 100000;
};

class Served : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ptz_served_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    const char *board_port = std::getenv("PTZ_BOARD_PORT");
    if (board_port && *board_port) {
      gateway_ = std::make_unique<board_gateway>(
          static_cast<std::uint16_t>(std::atoi(board_port)),  // NOLINT(cert-err34-c)
          dir_);
      const char *login = std::getenv("PTZ_BOARD_LOGIN");
      gateway_->login = login ? login : "";
      start_sim({});
      return;
    }
    auto host = std::make_unique<host_gateway>(dir_);
    host_ = host.get();
    gateway_ = std::move(host);
    start_sim({});
    host_->start_lighttpd();
  }

  void TearDown() override {
    gateway_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void start_sim(const std::vector<std::string> &options) { gateway_->restart_sim(options); }

  std::string url(const std::string &command) const {
    return "http://127.0.0.1:" + std::to_string(gateway_->port()) + "/cgi-bin/ptz_cgi?cmd=%23" +
           command + "&res=1";
  }
  http_reply get(const std::string &command) {
    return http_get(url(command), dir_, serial_++, 20, digest(gateway_->login)).finish();
  }

  // The packets the simulator logged, as hex text, in order.
  std::vector<std::string> packets() const {
    std::vector<std::string> out;
    std::istringstream log(gateway_->sim_log());
    std::string line;
    while (std::getline(log, line)) {
      // "[   0.123] 127.0.0.1:40000  81 01 06 04 FF  pan-tilt home -> ..."
      const auto stamp = line.find("] ");
      const auto at = line.find("  ", stamp);
      if (line.rfind('[', 0) == 0 && stamp != std::string::npos && at != std::string::npos) {
        const auto end = line.find("  ", at + 2);
        out.push_back(line.substr(at + 2, end - at - 2));
      }
    }
    return out;
  }

  static int nibbles(const std::vector<std::uint8_t> &r, std::size_t at) {
    const int v = r[at] << 12 | r[at + 1] << 8 | r[at + 2] << 4 | r[at + 3];
    return static_cast<std::int16_t>(v);
  }
  std::pair<int, int> pan_tilt() const {
    const auto r = gateway_->inquire({0x81, 0x09, 0x06, 0x12, 0xFF});
    EXPECT_EQ(r.size(), 11u);
    if (r.size() != 11) return {-99999, -99999};
    EXPECT_EQ(r[0], 0x90);
    EXPECT_EQ(r[1], 0x50);
    return {nibbles(r, 2), nibbles(r, 6)};
  }
  int zoom() const {
    const auto r = gateway_->inquire({0x81, 0x09, 0x04, 0x47, 0xFF});
    EXPECT_EQ(r.size(), 7u);
    return r.size() == 7 ? nibbles(r, 2) : -99999;
  }

  std::string dir_;
  std::unique_ptr<gateway> gateway_;
  host_gateway *host_ = nullptr;  // null on the board
  int serial_ = 0;
};

TEST_F(Served, EachCommandKind) {
  // Output that starts with the reply dumps has no headers for lighttpd
  // to parse: it relays the whole output as the body.
  struct {
    const char *command;
    int code;
    std::string body;
    std::vector<std::string> packets;
  } const cases[] = {
      {"PTS9950", 200, kCommandDump + cgi_reply("pTS9950"), {"81 01 06 01 17 10 02 03 FF"}},
      {"PTS7525", 200, kCommandDump + cgi_reply("pTS7525"), {"81 01 06 01 09 07 02 02 FF"}},
      {"PTS5099", 200, kCommandDump + cgi_reply("pTS5099"), {"81 01 06 01 10 13 03 01 FF"}},
      {"Z75", 200, kCommandDump + cgi_reply("zS75"), {"81 01 04 07 24 FF"}},
      {"Z01", 200, kCommandDump + cgi_reply("zS01"), {"81 01 04 07 38 FF"}},
      {"Z50", 200, kCommandDump + cgi_reply("zS50"), {"81 01 04 07 00 FF"}},
      {"APC80008000", 200, kCommandDump + cgi_reply("aPC80008000"), {"81 01 06 04 FF"}},
      {"APC", 200, "aPC800080000", {}},
      {"GZ", 200, "GZ555", {}},
      {"GZ123", 200, "GZ123555", {}},
      {"AXZ555", 200, "axz555", {}},
      // No output at all: lighttpd answers 500.
      {"pts5050", 500, "", {}},
      {"PTS5100", 500, "", {}},
      {"Zoom", 500, "", {}},
      {"", 500, "", {}},
  };
  std::size_t seen = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.command);
    const http_reply r = get(c.command);
    EXPECT_EQ(r.code, c.code) << r.headers;
    if (c.code == 200) {
      EXPECT_EQ(r.body, c.body);
    }
    if (c.code == 200 && c.packets.empty()) {  // headers parsed
      EXPECT_NE(r.headers.find("Content-type: Text/plain\r\n"), std::string::npos) << r.headers;
    }
    const auto now = packets();
    EXPECT_EQ(std::vector<std::string>(now.begin() + static_cast<long>(seen), now.end()),
              c.packets);
    seen = now.size();
  }
}

// Only the camera's users move the head, and a browser's request for
// another site moves nothing even with the login.
TEST_F(Served, OnlyALoginMovesTheHead) {
  const auto login = digest(gateway_->login);
  struct {
    std::vector<std::string> options;
    int code;
  } const cases[] = {
      {{}, 401},
      {digest(gateway_->login + "x"), 401},
      {{"--basic", "-u", gateway_->login}, 401},  // the password in clear
      {with(login, {"-H", "Sec-Fetch-Site: cross-site"}), 403},
      {with(login, {"-H", "Sec-Fetch-Site: same-origin"}), 200},
      {{"--interface", "127.0.0.2"}, 200},  // the allow-listed controller
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    // The camera sees every host's request coming from QEMU's address.
    if (gateway_->on_board() && !c.options.empty() && c.options[0] == "--interface") continue;
    const std::size_t seen = packets().size();
    const http_reply r = http_get(url("PTS9950"), dir_, serial_++, 20, c.options).finish();
    EXPECT_EQ(r.code, c.code) << r.headers;
    EXPECT_EQ(packets().size() - seen, c.code == 200 ? 1u : 0u);
  }
  // The page too.
  const std::string page = "http://127.0.0.1:" + std::to_string(gateway_->port()) + "/index.html";
  EXPECT_EQ(http_get(page, dir_, serial_++).finish().code, 401);
}

TEST_F(Served, PanThenStopRepeatsTheSpeedsAndHoldsThePosition) {
  EXPECT_EQ(get("PTS9950").body, kCommandDump + cgi_reply("pTS9950"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(get("PTS5050").body, kCommandDump + cgi_reply("pTS5050"));
  EXPECT_EQ(gateway_->speed_memory(), "1710");
  EXPECT_EQ(packets(),
            (std::vector<std::string>{"81 01 06 01 17 10 02 03 FF", "81 01 06 01 17 10 03 03 FF"}));

  const auto [pan, tilt] = pan_tilt();
  EXPECT_GT(pan, 0x17 * 100 / 5);  // at least 0.2 s at 0x17 * 100 units/s
  EXPECT_EQ(tilt, 0);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(pan_tilt(), std::make_pair(pan, tilt)) << "still moving after the stop";

  // Down-left, then home brings both axes back to 0.
  get("PTS0101");
  std::this_thread::sleep_for(100ms);
  const auto moved = pan_tilt();
  EXPECT_LT(moved.second, 0);
  EXPECT_EQ(get("APC80008000").code, 200);
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(pan_tilt(), std::make_pair(0, 0));
}

TEST_F(Served, ZoomTeleThenStop) {
  EXPECT_EQ(get("Z99").body, kCommandDump + cgi_reply("zS99"));
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(get("Z50").body, kCommandDump + cgi_reply("zS50"));
  const int z = zoom();
  EXPECT_GT(z, 0);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(zoom(), z);
  get("Z01");
  std::this_thread::sleep_for(200ms);
  EXPECT_LT(zoom(), z);
}

TEST_F(Served, SimulatorFaultsStillEndTheRequest) {
  struct {
    std::vector<std::string> options;
    std::string body;
    double min_seconds;
    double max_seconds;
  } const cases[] = {
      // No dump: lighttpd parses ptz_cgi's headers, the body is the answer.
      {{"--mode", "silent"}, "pTS9950", 1.5, 5.0},
      {{"--mode", "ack-only"}, "90\n41\n\n" + cgi_reply("pTS9950"), 1.5, 5.0},
      {{"--mode", "error"}, "90\n60\n2\n\n" + cgi_reply("pTS9950"), 1.5, 5.0},
      {{"--delay", "300"}, kCommandDump + cgi_reply("pTS9950"), 0.3, 2.0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.options[1]);
    start_sim(c.options);
    const http_reply r = get("PTS9950");
    EXPECT_EQ(r.code, 200);
    EXPECT_EQ(r.body, c.body);
    EXPECT_GE(r.seconds, c.min_seconds);
    EXPECT_LE(r.seconds, c.max_seconds);
  }
}

TEST_F(Served, FiftyConcurrentRequests) {
  const char *const commands[] = {"PTS9950", "PTS1234", "Z75", "APC", "GZ"};
  const std::string bodies[] = {kCommandDump + cgi_reply("pTS9950"),
                                kCommandDump + cgi_reply("pTS1234"),
                                kCommandDump + cgi_reply("zS75"), "aPC800080000", "GZ555"};
  // Fifty at once take about fifty times one request's time where the CPU
  // is short (the emulated board on a loaded host): the limit follows the
  // pace measured here, with a margin, so that only a lost or stuck request
  // fails the test.
  double pace = 0;
  for (int i = 0; i < 3; ++i) pace = std::max(pace, get("GZ").seconds);
  const int limit = std::clamp(static_cast<int>(50 * 3 * pace), 20, 150);
  const std::size_t packets_before = packets().size();
  std::vector<std::unique_ptr<http_get>> inflight;
  inflight.reserve(50);
  for (int i = 0; i < 50; ++i)
    inflight.push_back(std::make_unique<http_get>(url(commands[i % 5]), dir_, 1000 + i, limit,
                                                  digest(gateway_->login)));
  std::size_t superseded = 0;
  for (int i = 0; i < 50; ++i) {
    const http_reply r = inflight[static_cast<std::size_t>(i)]->finish();
    EXPECT_EQ(r.code, 200) << i;
    // A move overtaken by a newer one of its axis is not sent: the answer alone.
    const std::string &sent = bodies[i % 5];
    const bool answer_alone = r.body != sent && r.body == sent.substr(sent.rfind('\n') + 1);
    EXPECT_TRUE(r.body == sent || answer_alone) << i << ": " << r.body;
    superseded += answer_alone;
  }
  EXPECT_EQ(packets().size() - packets_before, 30u - superseded) << "limit " << limit << " s";
  const std::string memory = gateway_->speed_memory();
  EXPECT_TRUE(memory == "1710" || memory == "1305") << memory;
}

// On the board, what listens on the host is QEMU's forwarded port.
TEST_F(Served, ListensOnLoopbackOnly) {
  const auto tcp = bound_addresses("/proc/net/tcp", gateway_->port());
  ASSERT_FALSE(tcp.empty());
  for (const auto &a : tcp) EXPECT_EQ(a.substr(0, 8), "0100007F") << a;
  EXPECT_TRUE(bound_addresses("/proc/net/tcp6", gateway_->port()).empty());
  if (!host_) return;
  const auto udp = bound_addresses("/proc/net/udp", host_->sim_port());
  ASSERT_EQ(udp.size(), 1u);
  EXPECT_EQ(udp[0].substr(0, 8), "0100007F");
  EXPECT_TRUE(bound_addresses("/proc/net/udp6", host_->sim_port()).empty());
}

// scripts/run.sh on a port that something else holds (here the test's own
// lighttpd) must say so and announce nothing, and still stop its simulator,
// remove its folder and put the port file back.
TEST_F(Served, RunScriptOnATakenPortCleansUp) {
  if (!host_) GTEST_SKIP() << "scripts/run.sh serves on this host";
  const std::string port_file = read_file(kPortFile);
  const auto folders = run_folders();
  const std::vector<std::string> env = {std::string("PTZ_CGI_BIN=") + PTZ_CGI_PATH,
                                        std::string("VISCA_SIM_BIN=") + VISCA_SIM_PATH};
  child run({"bash", RUN_SH, "--once", "--port", std::to_string(gateway_->port()), "--", "--quiet"},
            dir_ + "/run.out", env);
  EXPECT_NE(run.wait(), 0);
  const std::string out = read_file(dir_ + "/run.out");
  EXPECT_NE(out.find("127.0.0.1:" + std::to_string(gateway_->port()) + " is already taken"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("served at"), std::string::npos) << out;
  EXPECT_EQ(read_file(kPortFile), port_file);
  EXPECT_EQ(processes_of(VISCA_SIM_PATH), std::set<pid_t>{host_->sim().pid()});
  EXPECT_EQ(run_folders(), folders);
  // A FIFO in the port file's place is not kept: reading it would not end.
  unlink(kPortFile.c_str());
  mkfifo(kPortFile.c_str(), 0644);
  child fifo({"bash", RUN_SH, "--once", "--port", std::to_string(gateway_->port())},
             dir_ + "/fifo.out", env);
  EXPECT_NE(fifo.wait(), 0);
  EXPECT_FALSE(fs::exists(kPortFile));
  // Nor one raced into its place while it is saved or put back.
  std::atomic<bool> racing{true};
  std::thread swapper([&] {
    const std::string fifo_path = kPortFile + ".fifo", file_path = kPortFile + ".file";
    while (racing) {
      mkfifo(fifo_path.c_str(), 0644);
      rename(fifo_path.c_str(), kPortFile.c_str());
      std::ofstream(file_path) << "\xEB\x04";
      rename(file_path.c_str(), kPortFile.c_str());
    }
  });
  for (int i = 0; i < 10; ++i) {
    child raced({"bash", RUN_SH, "--once", "--port", std::to_string(gateway_->port())},
                dir_ + "/raced.out", env);
    for (int waited = 0; raced.running() && waited < 600; ++waited) usleep(50000);
    EXPECT_FALSE(raced.running()) << "try " << i << ": blocked on a FIFO";
  }
  racing = false;
  swapper.join();
  unlink(kPortFile.c_str());

  child no_value({"bash", RUN_SH, "--port"}, dir_ + "/usage.out", env);
  EXPECT_EQ(no_value.wait(), 2);
  EXPECT_NE(read_file(dir_ + "/usage.out").find("usage: scripts/run.sh [--board"),
            std::string::npos)
      << read_file(dir_ + "/usage.out");
}

}  // namespace
