/* SPDX-License-Identifier: GPL-2.0 */
// The VISCA head simulator (tools/visca_sim) on a thread of the test, on
// 127.0.0.1, recording every datagram it receives.
#pragma once

#include "server.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class visca_peer {
 public:
  // Binds 127.0.0.1:port (0 picks a free port) and serves until destroyed.
  // Check ok() afterwards.
  explicit visca_peer(visca::fault mode, std::uint16_t port = 0)
      : server_({port, mode, 0}, nullptr) {
    server_.on_packet([this](const visca::bytes &packet) {
      const std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(packet);
    });
    if (server_.ok()) {
      thread_ = std::thread([this] {
        while (running_) server_.poll_once(20);
      });
    }
  }
  ~visca_peer() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
  }
  visca_peer(const visca_peer &) = delete;
  visca_peer &operator=(const visca_peer &) = delete;

  bool ok() const { return server_.ok(); }
  std::uint16_t port() const { return server_.port(); }
  std::vector<visca::bytes> received() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }

 private:
  visca::server server_;
  std::atomic<bool> running_{true};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<visca::bytes> received_;
};
