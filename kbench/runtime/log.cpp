// SPDX-License-Identifier: GPL-2.0
// printk and friends: every message lands in the bench log with its level.
#include <linux/device.h>
#include <linux/kernel.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>

#include "kbench.h"
#include "internal.h"

namespace kb {
namespace {

std::vector<LogLine> lines;
detail::ResetHook hook([] { lines.clear(); });

std::string vformat(const char* fmt, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  int len = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string out(len > 0 ? size_t(len) : 0, '\0');
  if (len > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
  return out;
}

// Splits the KERN_* prefix off a formatted message.
std::pair<int, std::string> split_level(std::string text) {
  if (text.size() >= 2 && text[0] == '\001') {
    char c = text[1];
    if (c >= '0' && c <= '7') return {c - '0', text.substr(2)};
    if (c == 'c') return {-2, text.substr(2)};  // continuation
  }
  return {kLevelDefault, std::move(text)};
}

}  // namespace

const std::vector<LogLine>& log() { return lines; }

std::vector<std::string> log_texts() {
  std::vector<std::string> out;
  out.reserve(lines.size());
  for (const auto& line : lines) out.push_back(line.text);
  return out;
}

void clear_log() { lines.clear(); }

namespace detail {
void log_line(int level, std::string text) {
  if (level == -2 && !lines.empty()) {
    lines.back().text += text;
    return;
  }
  lines.push_back({level == -2 ? kLevelDefault : level, std::move(text), now_ns()});
}
}  // namespace detail

}  // namespace kb

namespace {

// kstrto*: the whole string (an optional trailing newline aside) must be a
// number that fits the type.
template <class T>
int parse(const char* s, unsigned base, T* res) {
  // strtoull would skip leading white space; the kernel takes none.
  if (!s || !*s || std::isspace(static_cast<unsigned char>(*s))) return -EINVAL;
  char* end = nullptr;
  errno = 0;
  T v;
  if constexpr (std::is_unsigned_v<T>) {
    if (*s == '-') return -EINVAL;
    unsigned long long u = std::strtoull(s, &end, int(base));
    v = T(u);
    if (errno == ERANGE || static_cast<unsigned long long>(v) != u) return -ERANGE;
  } else {
    long long l = std::strtoll(s, &end, int(base));
    v = T(l);
    if (errno == ERANGE || static_cast<long long>(v) != l) return -ERANGE;
  }
  if (*end == '\n') ++end;
  if (*end || end == s) return -EINVAL;
  *res = v;
  return 0;
}

}  // namespace

extern "C" {

int printk(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = kb::vformat(fmt, ap);
  va_end(ap);
  auto [level, body] = kb::split_level(std::move(text));
  int len = int(body.size());
  kb::detail::log_line(level, std::move(body));
  return len;
}

void kb_dev_printk(const char* level, const struct device* dev, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string text = kb::vformat(fmt, ap);
  va_end(ap);
  auto [lvl, prefix] = kb::split_level(level);
  kb::detail::log_line(lvl, std::string(dev ? dev_name(dev) : "(NULL device *)") + ": " + text);
}

int scnprintf(char* buf, size_t size, const char* fmt, ...) {
  if (size == 0) return 0;
  va_list ap;
  va_start(ap, fmt);
  int len = std::vsnprintf(buf, size, fmt, ap);
  va_end(ap);
  if (len < 0) return 0;
  return size_t(len) >= size ? int(size - 1) : len;
}

int kstrtoint(const char* s, unsigned int base, int* res) { return parse(s, base, res); }
int kstrtouint(const char* s, unsigned int base, unsigned int* res) { return parse(s, base, res); }
int kstrtoul(const char* s, unsigned int base, unsigned long* res) { return parse(s, base, res); }
int kstrtol(const char* s, unsigned int base, long* res) { return parse(s, base, res); }

}  // extern "C"
