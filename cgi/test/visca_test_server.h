// A small VISCA server for tests: listens on 127.0.0.1, records every
// datagram and answers it according to its mode.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

class visca_test_server {
 public:
  enum class mode {
    normal,        // command: ack + completion; inquiry: one answer
    silent,        // never answers
    error,         // one error reply to anything
    empty,         // one empty datagram to anything
    unterminated,  // one 100-byte reply without 0xFF
  };
  using datagram = std::vector<std::uint8_t>;

  // Binds 127.0.0.1:port (0 picks a free port). Check ok() afterwards.
  explicit visca_test_server(mode m, std::uint16_t port = 0);
  ~visca_test_server();
  visca_test_server(const visca_test_server &) = delete;
  visca_test_server &operator=(const visca_test_server &) = delete;

  bool ok() const { return fd_ >= 0; }
  std::uint16_t port() const { return port_; }

  // Serves on a background thread until stop() or destruction.
  void start();
  void stop();
  // Serves on the calling thread; calls on_datagram for each one.
  void serve(void (*on_datagram)(const datagram &) = nullptr);

  std::vector<datagram> received() const;

  // The replies this server gives to `packet`, in order.
  static std::vector<datagram> replies_for(mode m, const datagram &packet);
  static std::optional<mode> parse_mode(std::string_view name);

 private:
  bool serve_one(int timeout_ms, void (*on_datagram)(const datagram &));

  mode mode_;
  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> running_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<datagram> received_;
};
