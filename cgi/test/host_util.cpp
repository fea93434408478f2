// SPDX-License-Identifier: GPL-2.0
#include "host_util.h"

#include <cstddef>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <utility>
#include <unistd.h>

double monotonic_seconds() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string read_file(const std::string &path) {
  std::string data;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return data;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof(buf))) > 0) data.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return data;
}

saved_file::saved_file(std::string path) : path_(std::move(path)) {
  existed_ = std::filesystem::exists(path_);
  if (existed_) content_ = read_file(path_);
}

saved_file::~saved_file() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  if (existed_) write(content_);
}

bool saved_file::write(const std::string &content) const {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const ssize_t written = ::write(fd, content.data(), content.size());
  close(fd);
  return written == static_cast<ssize_t>(content.size());
}
