// SPDX-License-Identifier: GPL-2.0
#include "server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace visca {

namespace {

std::string peer(const sockaddr_in &a) {
  char ip[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &a.sin_addr, ip, sizeof(ip));
  return std::string(ip) + ":" + std::to_string(ntohs(a.sin_port));
}

std::string replies_text(const std::vector<bytes> &replies) {
  if (replies.empty()) return "no reply";
  std::string text;
  for (const bytes &r : replies)
    text += (text.empty() ? "" : ", ") + (r.empty() ? std::string("empty datagram") : hex(r));
  return text;
}

}  // namespace

std::optional<fault> parse_fault(std::string_view name) {
  for (fault f : {fault::none, fault::silent, fault::ack_only, fault::error, fault::empty,
                  fault::unterminated, fault::lenient})
    if (name == fault_name(f)) return f;
  return std::nullopt;
}

const char *fault_name(fault f) {
  switch (f) {
    case fault::none:
      return "normal";
    case fault::silent:
      return "silent";
    case fault::ack_only:
      return "ack-only";
    case fault::error:
      return "error";
    case fault::empty:
      return "empty";
    case fault::unterminated:
      return "unterminated";
    case fault::lenient:
      return "lenient";
  }
  return "?";
}

micros server::monotonic_micros() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<micros>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

server::server(const server_options &options, log_fn log, clock_fn clock)
    : options_(options), log_(std::move(log)), clock_(std::move(clock)), head_(clock_()) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error_ = std::string("socket: ") + std::strerror(errno);
    return;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(options.port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(addr);
  if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    error_ = "bind 127.0.0.1:" + std::to_string(options.port) + ": " + std::strerror(errno);
    close(fd_);
    fd_ = -1;
    return;
  }
  port_ = ntohs(addr.sin_port);
}

server::~server() {
  if (fd_ >= 0) close(fd_);
}

std::vector<bytes> server::handle(const bytes &packet) {
  const message m = parse(packet);
  const fault mode = options_.mode;
  const bool acts = mode == fault::none || mode == fault::ack_only || mode == fault::lenient;
  const bool understood =
      !std::holds_alternative<malformed>(m) && !std::holds_alternative<unknown>(m);
  const bool command = packet.size() >= 2 && packet[1] == 0x01 && packet.back() == kTerminator;
  std::vector<bytes> replies;

  if (mode == fault::silent) {
  } else if (mode == fault::empty) {
    replies.emplace_back();
  } else if (mode == fault::unterminated) {
    bytes junk(100);
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<std::uint8_t>(0x10 + i);
    replies.push_back(junk);
  } else if (mode == fault::error || (!understood && !(mode == fault::lenient && command))) {
    replies.push_back(syntax_error());
  } else if (std::holds_alternative<pan_tilt_position_inquiry>(m)) {
    const head_state s = head_.state(clock_());
    replies.push_back(pan_tilt_position_reply(s.pan, s.tilt));
  } else if (std::holds_alternative<zoom_position_inquiry>(m)) {
    replies.push_back(zoom_position_reply(head_.state(clock_()).zoom));
  } else {
    replies.push_back(ack());
    if (mode != fault::ack_only) replies.push_back(completion());
  }

  if (acts) {
    const micros now = clock_();
    if (const auto *d = std::get_if<pan_tilt_drive>(&m))
      head_.apply(*d, now);
    else if (const auto *h = std::get_if<pan_tilt_home>(&m))
      head_.apply(*h, now);
    else if (const auto *z = std::get_if<zoom_drive>(&m))
      head_.apply(*z, now);
  }
  return replies;
}

int server::wait_ms(int max_wait_ms) const {
  if (pending_.empty()) return max_wait_ms;
  micros first = pending_.front().due;
  for (const pending &p : pending_) first = std::min(first, p.due);
  const micros left = std::max<micros>(0, (first - clock_() + 999) / 1000);
  return max_wait_ms < 0 ? static_cast<int>(left)
                         : static_cast<int>(std::min<micros>(left, max_wait_ms));
}

void server::send_due() {
  const micros now = clock_();
  // Replies go out in the order they were queued.
  auto due = std::stable_partition(pending_.begin(), pending_.end(),
                                   [now](const pending &p) { return p.due <= now; });
  for (auto it = pending_.begin(); it != due; ++it)
    sendto(fd_, it->data.data(), it->data.size(), 0, reinterpret_cast<const sockaddr *>(&it->to),
           sizeof(it->to));
  pending_.erase(pending_.begin(), due);
}

bool server::poll_once(int max_wait_ms) {
  pollfd p{fd_, POLLIN, 0};
  const int rc = poll(&p, 1, wait_ms(max_wait_ms));
  if (rc < 0 && errno != EINTR) return false;
  if (rc > 0) {
    std::uint8_t buf[2048];
    sockaddr_in from{};
    socklen_t from_len = sizeof(from);
    const ssize_t n =
        recvfrom(fd_, buf, sizeof(buf), 0, reinterpret_cast<sockaddr *>(&from), &from_len);
    if (n >= 0) {
      const bytes packet(buf, buf + n);
      if (on_packet_) on_packet_(packet);
      const std::vector<bytes> replies = handle(packet);
      const micros due = clock_() + static_cast<micros>(options_.delay_ms) * 1000;
      for (const bytes &r : replies) pending_.push_back({due, from, r});
      if (log_) {
        std::string line = peer(from) + "  " + hex(packet) + "  " + describe(parse(packet)) +
                           " -> " + replies_text(replies);
        if (options_.delay_ms > 0 && !replies.empty())
          line += " (after " + std::to_string(options_.delay_ms) + " ms)";
        log_(line + "; " + describe(head_.state(clock_())));
      }
    }
  }
  send_due();
  return true;
}

bool write_port_file(const std::string &path, std::uint16_t port) {
  const unsigned char raw[2] = {static_cast<unsigned char>(port & 0xFF),
                                static_cast<unsigned char>(port >> 8)};
  // Written beside and renamed, so a reader never sees one byte of it. The
  // folder may be /tmp: whatever stands at the temporary name (another
  // user's symlink, say) is removed, never written through.
  const std::string tmp = path + ".tmp" + std::to_string(getpid());
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(tmp.c_str(), kFlags, 0644);
  if (fd < 0 && errno == EEXIST && unlink(tmp.c_str()) == 0) fd = open(tmp.c_str(), kFlags, 0644);
  if (fd < 0) return false;
  const bool written = write(fd, raw, sizeof(raw)) == static_cast<ssize_t>(sizeof(raw));
  const int saved = errno;
  if (close(fd) != 0 || !written || rename(tmp.c_str(), path.c_str()) != 0) {
    const int err = written ? errno : saved;
    unlink(tmp.c_str());
    errno = err;
    return false;
  }
  return true;
}

}  // namespace visca
