// SPDX-License-Identifier: GPL-2.0
#include "server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace visca {
namespace {

const bytes kPan = {0x81, 0x01, 0x06, 0x01, 0x17, 0x10, 0x02, 0x03, 0xFF};
const bytes kStop = {0x81, 0x01, 0x06, 0x01, 0x17, 0x10, 0x03, 0x03, 0xFF};
const bytes kPanTiltInquiry = {0x81, 0x09, 0x06, 0x12, 0xFF};
const bytes kZoomInquiry = {0x81, 0x09, 0x04, 0x47, 0xFF};
const bytes kBad = {0x81, 0x01, 0x06, 0x01, 0x03, 0x03, 0xFF};

// A controller's socket on 127.0.0.1.
class client {
 public:
  client() { fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); }
  ~client() { close(fd_); }
  void send(const bytes &packet, std::uint16_t port) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr *>(&to),
                     sizeof(to)),
              static_cast<ssize_t>(packet.size()));
  }
  std::optional<bytes> receive(int timeout_ms = 0) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return std::nullopt;
    std::uint8_t buf[256];
    const ssize_t n = recv(fd_, buf, sizeof(buf), 0);
    return n < 0 ? std::nullopt : std::optional<bytes>(bytes(buf, buf + n));
  }

 private:
  int fd_ = -1;
};

// A server on a free port whose clock the test sets.
struct fixture {
  explicit fixture(fault mode = fault::none, int delay_ms = 0)
      : srv(
            {0, mode, delay_ms}, [this](const std::string &l) { log.push_back(l); },
            [this] { return now; }) {}
  // Sends, lets the server handle it, returns every reply that came.
  std::vector<bytes> exchange(const client &c, const bytes &packet) {
    c.send(packet, srv.port());
    EXPECT_TRUE(srv.poll_once(1000));
    std::vector<bytes> got;
    while (auto r = c.receive(20)) got.push_back(*r);
    return got;
  }
  micros now = 1000000;
  std::vector<std::string> log;
  server srv;
};

TEST(Server, AnswersEachKindOfPacketAtTheSendersAddress) {
  fixture f;
  ASSERT_TRUE(f.srv.ok()) << f.srv.error();
  client c;
  EXPECT_EQ(f.exchange(c, kPan), (std::vector<bytes>{ack(), completion()}));
  f.now += 500000;
  EXPECT_EQ(f.exchange(c, kStop), (std::vector<bytes>{ack(), completion()}));
  EXPECT_EQ(f.exchange(c, kPanTiltInquiry),
            (std::vector<bytes>{pan_tilt_position_reply(0x17 * 50, 0)}));
  EXPECT_EQ(f.exchange(c, kZoomInquiry), (std::vector<bytes>{zoom_position_reply(0)}));
  EXPECT_EQ(f.exchange(c, kBad), (std::vector<bytes>{syntax_error()}));
  EXPECT_EQ(f.exchange(c, {0x81, 0x01, 0x7E, 0x01, 0xFF}), (std::vector<bytes>{syntax_error()}));

  // Another controller gets its own answers, not the first one's.
  client other;
  EXPECT_EQ(f.exchange(other, kZoomInquiry).size(), 1u);
  EXPECT_EQ(c.receive(), std::nullopt);

  ASSERT_EQ(f.log.size(), 7u);
  EXPECT_NE(f.log[0].find("81 01 06 01 17 10 02 03 FF  pan-tilt drive right (pan speed 0x17)"
                          " -> 90 41 FF, 90 51 FF; pan 0 tilt 0 zoom 0 (moving: pan)"),
            std::string::npos)
      << f.log[0];
  EXPECT_NE(f.log[1].find("pan-tilt stop (pan speed 0x17, tilt speed 0x10) -> 90 41 FF, 90 51 FF;"
                          " pan +1150 tilt 0 zoom 0"),
            std::string::npos)
      << f.log[1];
  EXPECT_NE(f.log[4].find("malformed: pan-tilt drive needs 4 parameter bytes -> 90 60 02 FF"),
            std::string::npos)
      << f.log[4];
}

TEST(Server, FaultModes) {
  bytes junk;
  for (std::uint8_t b = 0x10; b < 0x10 + 100; ++b) junk.push_back(b);
  struct {
    fault mode;
    std::vector<bytes> command_replies;
    std::vector<bytes> inquiry_replies;
    std::vector<bytes> malformed_replies;
    bool acts;
  } const cases[] = {
      {fault::silent, {}, {}, {}, false},
      {fault::ack_only, {ack()}, {pan_tilt_position_reply(0x17 * 100, 0)}, {syntax_error()}, true},
      {fault::error, {syntax_error()}, {syntax_error()}, {syntax_error()}, false},
      {fault::empty, {{}}, {{}}, {{}}, false},
      {fault::unterminated, {junk}, {junk}, {junk}, false},
      {fault::lenient,
       {ack(), completion()},
       {pan_tilt_position_reply(0x17 * 100, 0)},
       {ack(), completion()},
       true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(fault_name(c.mode));
    fixture f(c.mode);
    ASSERT_TRUE(f.srv.ok());
    std::vector<bytes> received;
    f.srv.on_packet([&received](const bytes &p) { received.push_back(p); });
    client cl;
    EXPECT_EQ(f.exchange(cl, kPan), c.command_replies);
    f.now += 1000000;
    EXPECT_EQ(f.exchange(cl, kPanTiltInquiry), c.inquiry_replies);
    EXPECT_EQ(f.exchange(cl, kBad), c.malformed_replies);
    EXPECT_EQ(f.srv.state().pan, c.acts ? 0x17 * 100 : 0);
    EXPECT_EQ(received, (std::vector<bytes>{kPan, kPanTiltInquiry, kBad}));
  }
}

TEST(Server, DelayedRepliesKeepTheirOrderAndDoNotHoldUpOthers) {
  fixture f(fault::none, 100);
  ASSERT_TRUE(f.srv.ok());
  client first, second;
  first.send(kPan, f.srv.port());
  EXPECT_TRUE(f.srv.poll_once(1000));
  f.now += 50000;
  second.send(kZoomInquiry, f.srv.port());
  EXPECT_TRUE(f.srv.poll_once(1000));
  EXPECT_EQ(first.receive(20), std::nullopt);

  f.now += 50000;  // the first packet's replies are due, the second's not yet
  EXPECT_TRUE(f.srv.poll_once(0));
  EXPECT_EQ(first.receive(20), ack());
  EXPECT_EQ(first.receive(20), completion());
  EXPECT_EQ(second.receive(20), std::nullopt);

  f.now += 50000;
  EXPECT_TRUE(f.srv.poll_once(0));
  EXPECT_EQ(second.receive(20), zoom_position_reply(0));
  EXPECT_NE(f.log[0].find("(after 100 ms)"), std::string::npos) << f.log[0];
}

TEST(Server, ParseFaultNames) {
  for (fault m : {fault::none, fault::silent, fault::ack_only, fault::error, fault::empty,
                  fault::unterminated, fault::lenient})
    EXPECT_EQ(parse_fault(fault_name(m)), m);
  EXPECT_EQ(parse_fault("loud"), std::nullopt);
}

TEST(Server, BindFailureIsReported) {
  fixture a;
  ASSERT_TRUE(a.srv.ok());
  server b({a.srv.port(), fault::none, 0}, nullptr);
  EXPECT_FALSE(b.ok());
  EXPECT_NE(b.error().find("bind 127.0.0.1:" + std::to_string(a.srv.port())), std::string::npos);
}

TEST(PortFile, TwoRawBytesLowFirst) {
  char dir[] = "/tmp/visca_sim_test.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/viscaport.txt";
  // Another user's symlink at the temporary name is not written through.
  const std::string victim = std::string(dir) + "/victim";
  ASSERT_EQ(symlink(victim.c_str(), (path + ".tmp" + std::to_string(getpid())).c_str()), 0);
  ASSERT_TRUE(write_port_file(path, 10000));
  EXPECT_EQ(access(victim.c_str(), F_OK), -1);
  unsigned char raw[4] = {};
  const int fd = open(path.c_str(), O_RDONLY);
  // The assertion returns only when open failed: nothing to close.
  // cppcheck-suppress resourceLeak
  ASSERT_GE(fd, 0);
  EXPECT_EQ(read(fd, raw, sizeof(raw)), 2);
  close(fd);
  EXPECT_EQ(raw[0], 0x10);
  EXPECT_EQ(raw[1], 0x27);
  unlink(path.c_str());
  EXPECT_FALSE(write_port_file(std::string(dir) + "/missing/viscaport.txt", 1259));
  EXPECT_EQ(errno, ENOENT);
  rmdir(dir);
}

}  // namespace
}  // namespace visca
