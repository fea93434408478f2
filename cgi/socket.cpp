// SPDX-License-Identifier: GPL-2.0
#include "socket.h"

#include "order.h"
#include "output.h"
#include "process.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

std::uint16_t s_wSerPort = 0;

namespace {

constexpr unsigned char kTerminator = 0xFF;
constexpr unsigned char kKindCommand = 0x01;
constexpr unsigned char kKindInquiry = 0x09;

void look_up_port() {
  if (s_wSerPort != 0) return;
  // Two raw bytes, low byte first; a short read leaves the rest 0. Read
  // without waiting: a FIFO with no data in it gives nothing, as a missing
  // file does, instead of waiting for a writer for ever.
  const int fd = open(kPortFilePath, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    unsigned char raw[2] = {};
    std::size_t got = 0;
    ssize_t n;
    while (got < sizeof(raw) && (n = read(fd, raw + got, sizeof(raw) - got)) > 0)
      got += static_cast<std::size_t>(n);
    s_wSerPort = static_cast<std::uint16_t>(raw[0] | raw[1] << 8);
    close(fd);
  }
  if (s_wSerPort == 0) s_wSerPort = kDefaultPort;
}

// Waits until a datagram is readable or timeout_ms has passed.
bool poll_readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  const long long deadline = monotonic_ms() + timeout_ms;
  for (;;) {
    const int rc = poll(&p, 1, timeout_ms);
    if (rc > 0) return true;
    if (rc == 0 || errno != EINTR) return false;
    timeout_ms = static_cast<int>(deadline - monotonic_ms());
    if (timeout_ms <= 0) return false;
  }
}

// The socket is connected to the VISCA server's address and port, so the
// kernel drops datagrams from anywhere else (any local user could answer
// from 127.0.0.1), and a server that is down answers ECONNREFUSED at once.
// A server that answered from another socket would go unheard; the head
// simulator, like a VISCA server, answers from the socket it was sent to.
class udp_transport final : public visca_transport {
 public:
  int open() override {
    timeout_ms_ = -1;
    return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  }
  void send(int fd, const unsigned char *packet, std::size_t length, const sockaddr *address,
            socklen_t address_length) override {
    if (connect(fd, address, address_length) == 0) (void)::send(fd, packet, length, 0);
  }
  // The wait is the receive itself, bounded by the socket's receive
  // timeout: one call per reply, and the timeout is set again only when the
  // request's budget cuts it.
  bool wait_readable(int fd, int timeout_ms) override {
    if (timeout_ms == timeout_ms_) return true;
    const timeval bound{timeout_ms / 1000, static_cast<suseconds_t>(timeout_ms % 1000) * 1000};
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof(bound)) != 0)
      return poll_readable(fd, timeout_ms);
    timeout_ms_ = timeout_ms;
    return true;
  }
  long receive(int fd, unsigned char *buffer, std::size_t size) override {
    const long got = recv(fd, buffer, size, 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) errno = ETIMEDOUT;
    return got;
  }
  void close(int fd) override { ::close(fd); }

 private:
  int timeout_ms_ = -1;  // the receive timeout set on the open socket
};

udp_transport s_udp;
visca_transport *s_transport = &s_udp;

}  // namespace

void set_visca_transport(visca_transport *transport) {
  s_transport = transport ? transport : &s_udp;
}

int chara_to_decimalism(char character) {
  if (character >= '0' && character <= '9') return character - '0';
  if (character >= 'a' && character <= 'f') return character - 'a' + 10;
  if (character >= 'A' && character <= 'F') return character - 'A' + 10;
  return 0;
}

int pack_cmd(const char *text, unsigned char *buffer, int length) {
  std::size_t n = 0;
  for (int i = 0; i < length && text[i] != '\0' && n < kMaxPairs; i += 2) {
    const int high = chara_to_decimalism(text[i]);
    // An odd-length text ends with a byte whose low four bits are 0.
    const int low = (i + 1 < length) ? chara_to_decimalism(text[i + 1]) : 0;
    buffer[n++] = static_cast<unsigned char>(high << 4 | low);
  }
  buffer[n] = kTerminator;
  buffer[n + 1] = 0;
  return static_cast<int>(n + 1);
}

int judge(const unsigned char *packet) {
  if (packet[1] == kKindInquiry) return 1;
  if (packet[1] == kKindCommand) return 0;
  return -1;
}

void unpack_cmd(const unsigned char *reply, std::size_t length) {
  if (length > kPacketSize) length = kPacketSize;
  if (length > 0) out_hex_line(reply[0]);
  for (std::size_t i = 1; i < length && reply[i] != kTerminator; ++i) out_hex_line(reply[i]);
  out_write("\n", 1);
}

void cmd_send_to_server(int socket, const unsigned char *packet, int packet_length,
                        const sockaddr *address, socklen_t address_length, int flag) {
  const bool admitted = order_admit(packet);
  if (admitted)
    s_transport->send(socket, packet, static_cast<std::size_t>(packet_length), address,
                      address_length);
  order_unlock();
  if (!admitted) return;

  unsigned char reply[kPacketSize] = {};
  const long long deadline = monotonic_ms() + request_wait_ms(kExchangeBudgetMs);
  const int awaited = flag ? 1 : 2;
  for (int i = 0; i < awaited; ++i) {
    const long long wait = std::min(deadline - monotonic_ms(), 0LL + kReplyTimeoutMs);
    const bool readable = wait > 0 && s_transport->wait_readable(socket, static_cast<int>(wait));
    const long got = readable ? s_transport->receive(socket, reply, sizeof(reply)) : -1;
    if (got < 0) {
      const bool failed = readable && errno != ETIMEDOUT;
      std::fprintf(stderr, "ptz_cgi: reply %d of %d from the VISCA server %s%s\n", i + 1, awaited,
                   failed ? "failed: " : "timed out", failed ? std::strerror(errno) : "");
      return;
    }
    unpack_cmd(reply, static_cast<std::size_t>(got));
  }
}

void udp_socket(const char *text) {
  look_up_port();

  const int fd = s_transport->open();
  if (fd < 0) {
    std::perror("socket");
    end_process(1);
  }

  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(s_wSerPort);
  address.sin_addr.s_addr = inet_addr("127.0.0.1");

  unsigned char packet[kPacketSize] = {};
  const int length = pack_cmd(text, packet, static_cast<int>(std::strlen(text)));
  const auto *to = reinterpret_cast<const sockaddr *>(&address);
  switch (packet[1]) {
    case kKindInquiry:
      cmd_send_to_server(fd, packet, length, to, sizeof(address), 1);
      break;
    case kKindCommand:
      cmd_send_to_server(fd, packet, length, to, sizeof(address), 0);
      break;
    default:
      // The conversion's invalid command: the argument was no speed.
      std::fputs("ptz_cgi: no camera command for this argument; not served\n", stderr);
      end_process(0);
  }
  s_transport->close(fd);
}
