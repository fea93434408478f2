// SPDX-License-Identifier: GPL-2.0
#include "output.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Larger than any response: two reply dumps of 100 bytes, headers and body.
char s_buffer[2048];
std::size_t s_length = 0;
out_sink s_sink = nullptr;
void *s_context = nullptr;

void write_all(const char *data, std::size_t length) {
  while (length > 0) {
    const ssize_t n = write(STDOUT_FILENO, data, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the web server went away; nothing left to tell
    data += n;
    length -= static_cast<std::size_t>(n);
  }
}

}  // namespace

void out_flush() {
  if (s_length == 0) return;
  if (s_sink)
    s_sink(s_buffer, s_length, s_context);
  else
    write_all(s_buffer, s_length);
  s_length = 0;
}

void out_write(const char *data, std::size_t length) {
  while (length > 0) {
    if (s_length == sizeof(s_buffer)) out_flush();
    std::size_t n = sizeof(s_buffer) - s_length;
    if (n > length) n = length;
    std::memcpy(s_buffer + s_length, data, n);
    s_length += n;
    data += n;
    length -= n;
  }
}

void out_str(const char *text) { out_write(text, std::strlen(text)); }

void out_hex_line(unsigned int value) {
  char text[sizeof(value) * 2 + 1];
  std::size_t i = sizeof(text);
  text[--i] = '\n';
  do {
    text[--i] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  out_write(text + i, sizeof(text) - i);
}

void out_dec(int value) {
  char text[12];
  std::size_t i = sizeof(text);
  unsigned int u =
      value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
  do {
    text[--i] = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (value < 0) text[--i] = '-';
  out_write(text + i, sizeof(text) - i);
}

void set_out_sink(out_sink sink, void *context) {
  out_flush();
  s_sink = sink;
  s_context = context;
}
