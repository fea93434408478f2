#include "visca_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

visca_test_server::visca_test_server(mode m, std::uint16_t port) : mode_(m) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(addr.sin_port);
}

visca_test_server::~visca_test_server() {
  stop();
  if (fd_ >= 0) close(fd_);
}

void visca_test_server::start() {
  running_ = true;
  thread_ = std::thread([this] {
    while (running_) serve_one(20, nullptr);
  });
}

void visca_test_server::stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
}

void visca_test_server::serve(void (*on_datagram)(const datagram &)) {
  for (;;) serve_one(-1, on_datagram);
}

std::vector<visca_test_server::datagram> visca_test_server::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

std::vector<visca_test_server::datagram> visca_test_server::replies_for(mode m,
                                                                        const datagram &packet) {
  switch (m) {
    case mode::normal:
      if (packet.size() > 1 && packet[1] == 0x09) return {{0x90, 0x50, 0x02, 0xFF}};
      return {{0x90, 0x41, 0xFF}, {0x90, 0x51, 0xFF}};
    case mode::error:
      return {{0x90, 0x60, 0x02, 0xFF}};  // syntax error
    case mode::empty:
      return {{}};
    case mode::unterminated: {
      datagram d(100);
      for (std::size_t i = 0; i < d.size(); ++i) d[i] = static_cast<std::uint8_t>(0x10 + i);
      return {d};
    }
    case mode::silent:
      break;
  }
  return {};
}

std::optional<visca_test_server::mode> visca_test_server::parse_mode(std::string_view name) {
  if (name == "normal") return mode::normal;
  if (name == "silent") return mode::silent;
  if (name == "error") return mode::error;
  if (name == "empty") return mode::empty;
  if (name == "unterminated") return mode::unterminated;
  return std::nullopt;
}

bool visca_test_server::serve_one(int timeout_ms, void (*on_datagram)(const datagram &)) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  std::uint8_t buf[2048];
  sockaddr_in from{};
  socklen_t from_len = sizeof(from);
  const ssize_t n =
      recvfrom(fd_, buf, sizeof(buf), 0, reinterpret_cast<sockaddr *>(&from), &from_len);
  if (n < 0) return false;
  datagram packet(buf, buf + n);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(packet);
  }
  if (on_datagram) on_datagram(packet);
  for (const datagram &reply : replies_for(mode_, packet))
    sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), from_len);
  return true;
}
