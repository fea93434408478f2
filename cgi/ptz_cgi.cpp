// SPDX-License-Identifier: GPL-2.0
#include "ptz_cgi.h"

#include "cmd_change.h"
#include "order.h"
#include "output.h"
#include "process.h"
#include "socket.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char kPositionAnswer[] = "aPC800080000";
constexpr const char kZoomQuerySuffix[] = "555";

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool starts_with(const char *s, const char *head) {
  return std::strncmp(s, head, std::strlen(head)) == 0;
}

// The reply's header texts and length, held while the reply is printed.
struct reply_record {
  const char *status;
  const char *content_type;
  const char *content_length;
  int length;
};

// One line on standard error (the web server's error log) for a request
// that is not served; the command shows only its printable characters.
void not_served(const char *why, const char *command = nullptr) {
  if (!command) {
    std::fprintf(stderr, "ptz_cgi: %s; not served\n", why);
    return;
  }
  char shown[kCommandBufferSize] = {};
  for (std::size_t i = 0; command[i] != '\0' && i + 1 < sizeof(shown); ++i)
    shown[i] = std::isprint(static_cast<unsigned char>(command[i])) ? command[i] : '?';
  std::fprintf(stderr, "ptz_cgi: %s \"%s\"; not served\n", why, shown);
}

}  // namespace

bool decode(const char *query, char *out, int length) {
  const auto len = static_cast<std::size_t>(length > 0 ? length : 0);
  const auto *percent = static_cast<const char *>(std::memchr(query, '%', len));
  if (!percent) {
    not_served("no percent-escape in the query string");
    return false;
  }
  // Skip one percent-escape; its value is never looked at.
  const std::size_t start = std::min(len, static_cast<std::size_t>(percent - query) + 3);
  std::size_t end = start;
  while (end < len && query[end] != '\0' && query[end] != '&') ++end;
  const std::size_t n = end - start;
  if (n > kMaxCommandLength) {
    not_served("command longer than 12 characters");
    return false;
  }
  std::memcpy(out, query + start, n);
  out[n] = '\0';
  return true;
}

int judge_head(const char *command) {
  if (starts_with(command, "APC"))
    return command[3] == '\0' ? kKindPositionQuery : kKindAbsolutePosition;
  if (starts_with(command, "GZ")) return kKindZoomQuery;
  if (starts_with(command, "PTS")) return kKindPanTiltSpeed;
  if (starts_with(command, "AXZ")) return kKindAbsoluteZoom;
  if (command[0] == 'Z') return kKindZoomSpeed;
  return kKindNone;
}

int insert_char(const char *src, char *dst, char ch, int pos) {
  const int len = static_cast<int>(std::strlen(src));
  int j = 0;
  for (int i = 0; i < len; ++i) {
    if (i == pos) dst[j++] = ch;
    dst[j++] = src[i];
  }
  dst[j] = '\0';
  return len;
}

char *ABC_to_aBC(char *s) {
  s[0] = lower(s[0]);
  return s;
}

void ABC_to_abc(char *s, int n) {
  for (int i = 0; i < n && s[i] != '\0'; ++i) s[i] = lower(s[i]);
}

void response(const char *body, int length) {
  auto *record = static_cast<reply_record *>(std::malloc(sizeof(reply_record)));
  if (!record) {
    std::perror("malloc");
    end_process(0);
  }
  record->status = "Status:200";
  record->content_type = "Content-type:Text/plain";
  record->content_length = "Content-length:";
  record->length = length;

  // "%s\r\n%s\r\n%s%d\r\n", then the empty line and the body.
  out_str(record->status);
  out_str("\r\n");
  out_str(record->content_type);
  out_str("\r\n");
  out_str(record->content_length);
  out_dec(record->length);
  out_str("\r\n\r\n");
  out_str(body);
  std::free(record);
}

void input_command_judge(char *command) {
  char reply[kCommandBufferSize + 1] = {};
  if (std::strlen(command) > kMaxCommandLength) {
    not_served("command longer than 12 characters");
    return;  // no room for the answer; decode never lets one through
  }

  switch (judge_head(command)) {
    case kKindPositionQuery:
      response(kPositionAnswer, static_cast<int>(std::strlen(kPositionAnswer)));
      break;
    case kKindZoomQuery:
      std::strcat(command, kZoomQuerySuffix);
      response(command, static_cast<int>(std::strlen(command)));
      break;
    case kKindZoomSpeed:
      order_lock();
      udp_socket(ctrlcmd_to_viscacmd(command, kSelectZoom));
      ABC_to_aBC(command);
      insert_char(command, reply, 'S', 1);
      response(reply, static_cast<int>(std::strlen(reply)));
      break;
    case kKindPanTiltSpeed:
      order_lock();
      udp_socket(ctrlcmd_to_viscacmd(command, kSelectPanTilt));
      response(ABC_to_aBC(command), static_cast<int>(std::strlen(command)));
      break;
    case kKindAbsoluteZoom:
      ABC_to_abc(command, 3);
      response(command, static_cast<int>(std::strlen(command)));
      break;
    case kKindAbsolutePosition:
      order_lock();
      udp_socket(ctrlcmd_to_viscacmd(command, kSelectHome));
      response(ABC_to_aBC(command), static_cast<int>(std::strlen(command)));
      break;
    default:
      not_served("unknown command", command);
      break;
  }
}
