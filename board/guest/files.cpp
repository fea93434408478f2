// SPDX-License-Identifier: GPL-2.0
#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

namespace board {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool is_char_device(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

std::optional<std::string> read_text(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return std::nullopt;
  std::string text;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof(buf));
    if (n < 0) return std::nullopt;
    if (n == 0) return text;
    text.append(buf, static_cast<std::size_t>(n));
  }
}

int write_text(const std::string& path, std::string_view text) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.ok()) return errno;
  ssize_t n = ::write(fd.get(), text.data(), text.size());
  if (n < 0) return errno;
  return static_cast<std::size_t>(n) == text.size() ? 0 : EIO;
}

std::optional<long long> read_number(const std::string& path) {
  auto text = read_text(path);
  if (!text || text->empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text->c_str(), &end, 0);
  if (errno != 0 || end == text->c_str()) return std::nullopt;
  return value;
}

bool write_number(const std::string& path, long long value) {
  return write_text(path, std::to_string(value)) == 0;
}

std::optional<std::vector<std::uint8_t>> read_bytes(const std::string& path, off_t offset,
                                                    std::size_t count) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) return std::nullopt;
  std::vector<std::uint8_t> bytes(count);
  ssize_t n = ::pread(fd.get(), bytes.data(), count, offset);
  if (n < 0 || static_cast<std::size_t>(n) != count) return std::nullopt;
  return bytes;
}

bool write_bytes(const std::string& path, off_t offset, const std::vector<std::uint8_t>& bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.ok()) return false;
  ssize_t n = ::pwrite(fd.get(), bytes.data(), bytes.size(), offset);
  return n >= 0 && static_cast<std::size_t>(n) == bytes.size();
}

std::optional<std::string> find_path(const std::string& pattern) {
  glob_t g{};
  std::optional<std::string> found;
  if (::glob(pattern.c_str(), 0, nullptr, &g) == 0 && g.gl_pathc > 0) found = g.gl_pathv[0];
  ::globfree(&g);
  return found;
}

}  // namespace board
