// SPDX-License-Identifier: GPL-2.0
// The whole request path of ptz_cgi in-process: a query string goes in, the
// VISCA datagrams and the printed response come out. The VISCA server, the
// speed memory file and the end of the process are fakes driven by the
// input, so replies can be short, long, late or missing and the file can
// fail to open or to take the write.
//
// Input: a byte of file and socket behaviour (bit 0: no file yet, 1: the
// file cannot be opened, 2: writes come up short, 3 and 4 together: no
// socket), the stored length (mod 5) and bytes, two replies (bit 0 of the
// first byte: it arrives; length mod 121; bytes), then the query string.

#include "cmd_change.h"
#include "output.h"
#include "process.h"
#include "ptz_cgi.h"
#include "socket.h"

#include "reader.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct process_ended {
  int status;
};

[[noreturn]] void throw_end(int status) { throw process_ended{status}; }

[[noreturn]] void fail(const char *what) {
  __builtin_printf("invariant broken: %s\n", what);
  std::abort();
}

void check(bool ok, const char *what) {
  if (!ok) fail(what);
}

constexpr int kFd = 7;

struct reply {
  bool arrives = false;
  std::vector<unsigned char> bytes;
};

class fake_server final : public visca_transport {
 public:
  std::array<reply, 2> replies;
  std::vector<std::vector<unsigned char>> sent;
  bool refuse_socket = false;
  std::size_t next = 0;
  int open_sockets = 0;

  int open() override {
    if (refuse_socket) return -1;
    ++open_sockets;
    return kFd;
  }
  void send(int fd, const unsigned char *packet, std::size_t length, const sockaddr *,
            socklen_t) override {
    check(fd == kFd, "send on a socket that was not opened");
    sent.emplace_back(packet, packet + length);
  }
  bool wait_readable(int fd, int timeout_ms) override {
    check(fd == kFd && timeout_ms > 0, "wait without a socket or a time");
    return next < replies.size() && replies[next].arrives;
  }
  long receive(int fd, unsigned char *buffer, std::size_t size) override {
    check(fd == kFd && next < replies.size(), "receive without a readable datagram");
    const auto &r = replies[next++];
    // A datagram larger than the buffer is cut, as recvfrom does.
    const std::size_t n = std::min(size, r.bytes.size());
    if (n > 0) std::memcpy(buffer, r.bytes.data(), n);
    return static_cast<long>(n);
  }
  void close(int fd) override {
    check(fd == kFd, "close of a socket that was not opened");
    --open_sockets;
  }
};

class fake_file final : public speed_memory_io {
 public:
  std::string stored;
  bool exists = true;
  bool refuse_open = false;
  bool short_write = false;
  int held = 0;
  int open_files = 0;
  std::vector<std::string> writes;

  void lock() override {
    check(held == 0, "lock taken twice");
    ++held;
  }
  int unlock() override {
    check(held == 1, "lock released while free");
    --held;
    return 0;
  }
  int open(const char *path, int flags, unsigned) override {
    check(held == 1, "file opened without the lock");
    check(std::strcmp(path, kSpeedMemoryPath) == 0, "wrong file");
    if (refuse_open || (!exists && !(flags & O_CREAT))) return -1;
    ++open_files;
    return kFd;
  }
  long read(int fd, char *buffer, std::size_t size) override {
    check(fd == kFd && held == 1, "read without the file or the lock");
    const std::size_t n = std::min(size, stored.size());
    if (n > 0) std::memcpy(buffer, stored.data(), n);
    return static_cast<long>(n);
  }
  long write(int fd, const char *text, std::size_t length) override {
    check(fd == kFd && held == 1, "write without the file or the lock");
    writes.emplace_back(text, length);
    if (short_write) return length > 0 ? static_cast<long>(length) - 1 : -1;
    stored.assign(text, length);
    return static_cast<long>(length);
  }
  void trim(int fd, std::size_t) override {
    check(fd == kFd && held == 1, "trim without the lock");
  }
  void close(int fd) override {
    check(fd == kFd, "close of a file that was not opened");
    --open_files;
  }
};

void capture(const char *data, std::size_t length, void *context) {
  static_cast<std::string *>(context)->append(data, length);
}

// The response ends with the headers and a body of the announced length.
void check_response(std::string_view out) {
  constexpr std::string_view head = "Status:200\r\nContent-type:Text/plain\r\nContent-length:";
  const std::size_t at = out.find(head);
  check(at != std::string_view::npos, "output without a response");
  std::string_view rest = out.substr(at + head.size());
  const std::size_t end = rest.find("\r\n\r\n");
  check(end != std::string_view::npos && end > 0, "response headers not ended");
  std::size_t length = 0;
  for (char c : rest.substr(0, end)) {
    check(c >= '0' && c <= '9', "length not decimal");
    length = length * 10 + static_cast<std::size_t>(c - '0');
  }
  const std::string_view body = rest.substr(end + 4);
  check(body.size() == length, "announced length differs from the body");
  check(length <= kMaxCommandLength + 3, "body longer than any answer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz::Reader in(data, size);
  fake_file file;
  fake_server server;

  const uint8_t file_mode = in.byte();
  file.exists = !(file_mode & 1);
  file.refuse_open = file_mode & 2;
  file.short_write = file_mode & 4;
  server.refuse_socket = (file_mode & 0x18) == 0x18;
  const std::vector<uint8_t> stored = in.bytes(in.below(5));
  file.stored.assign(stored.begin(), stored.end());
  for (auto &r : server.replies) {
    r.arrives = in.byte() & 1;
    r.bytes = in.bytes(in.below(121));
  }
  std::string query = in.rest();
  query.resize(std::strlen(query.c_str()));  // an environment string

  std::string out;
  set_out_sink(&capture, &out);
  set_process_ender(&throw_end);
  set_visca_transport(&server);
  set_speed_memory_io(&file);
  s_wSerPort = kDefaultPort;  // no port file

  bool ended = false;
  int status = 0;
  try {
    std::array<char, kCommandBufferSize> command{};
    if (decode(query.c_str(), command.data(), static_cast<int>(query.size())))
      input_command_judge(command.data());
  } catch (const process_ended &e) {
    ended = true;
    status = e.status;
  }
  out_flush();

  set_speed_memory_io(nullptr);
  set_visca_transport(nullptr);
  set_process_ender(nullptr);
  set_out_sink(nullptr, nullptr);

  check(file.held == 0, "lock still held at the end");
  check(file.open_files == 0, "speed memory file left open");
  check(server.sent.size() <= 1, "more than one datagram sent");
  for (const auto &d : server.sent) {
    check(d.size() >= 2 && d.size() <= kPacketSize, "datagram size");
    check(d.back() == 0xFF, "datagram not terminated");
    check(d[1] == 0x01 || d[1] == 0x09, "neither command nor inquiry sent");
  }
  for (const auto &w : file.writes) {
    check(w.size() == 4, "stored speed word is not four characters");
    for (char c : w) check(c >= '0' && c <= '9', "stored speed word is not decimal");
  }
  if (!ended) {
    check(server.open_sockets == 0, "socket left open");
    if (!out.empty()) check_response(out);
  } else {
    check(status == 0 || status == 1, "unexpected exit status");
    // Failures end the request before the response.
    check(out.find("Status:") == std::string::npos, "response before a failure");
  }
  return 0;
}
