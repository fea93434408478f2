/* SPDX-License-Identifier: GPL-2.0 */
// The head's VISCA server: a UDP socket on 127.0.0.1 that answers every
// datagram at the address it came from, drives the head model, and can
// misbehave on purpose for tests.
#pragma once

#include "head.h"
#include "protocol.h"

#include <cstdint>
#include <functional>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace visca {

enum class fault {
  none,          // ack + completion for a command, one reply for an inquiry
  silent,        // never answers, does not act
  ack_only,      // acts on commands but sends only the acknowledgement
  error,         // answers everything with a syntax error, does not act
  empty,         // answers everything with one empty datagram, does not act
  unterminated,  // answers everything with 100 bytes and no terminator, does not act
  lenient,       // also acknowledges and completes commands it does not understand
};
std::optional<fault> parse_fault(std::string_view name);
const char *fault_name(fault f);

struct server_options {
  std::uint16_t port = 1259;  // 0 picks a free port
  fault mode = fault::none;
  int delay_ms = 0;  // every reply leaves this late
};

class server {
 public:
  using log_fn = std::function<void(const std::string &line)>;
  using clock_fn = std::function<micros()>;
  using packet_fn = std::function<void(const bytes &packet)>;

  // Binds 127.0.0.1:options.port. Check ok() afterwards; error() says why not.
  server(const server_options &options, log_fn log, clock_fn clock = monotonic_micros);
  ~server();
  server(const server &) = delete;
  server &operator=(const server &) = delete;

  bool ok() const { return fd_ >= 0; }
  const std::string &error() const { return error_; }
  std::uint16_t port() const { return port_; }

  // Handles what is due within `max_wait_ms`: at most one datagram, and the
  // replies whose time has come. Returns false on a socket error.
  bool poll_once(int max_wait_ms);
  head_state state() { return head_.state(clock_()); }
  // Called with every datagram received, before its replies leave.
  void on_packet(packet_fn f) { on_packet_ = std::move(f); }

  // What this server answers to `packet` (before any delay); acts on the
  // head when the mode lets it.
  std::vector<bytes> handle(const bytes &packet);

  static micros monotonic_micros();

 private:
  struct pending {
    micros due;
    sockaddr_in to;
    bytes data;
  };
  void send_due();
  int wait_ms(int max_wait_ms) const;

  server_options options_;
  log_fn log_;
  clock_fn clock_;
  packet_fn on_packet_;
  head_model head_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::string error_;
  std::vector<pending> pending_;
};

// Writes `port` to `path` as two raw bytes, low byte first. Returns false
// (with errno set) on failure.
bool write_port_file(const std::string &path, std::uint16_t port);

}  // namespace visca
