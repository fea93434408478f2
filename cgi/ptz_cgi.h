/* SPDX-License-Identifier: GPL-2.0 */
// Request intake and reply of the CGI: takes the one command of the query
// string, has it converted and sent, and prints the plain-text answer.
#pragma once

#include <cstddef>

// The command buffer holds 16 bytes; kind 2 appends "555" in place, so
// commands longer than 12 characters are not served.
inline constexpr std::size_t kCommandBufferSize = 16;
inline constexpr std::size_t kMaxCommandLength = 12;

// Command kinds, by head.
enum command_kind : int {
  kKindNone = 0,
  kKindPositionQuery = 1,     // "APC"
  kKindZoomQuery = 2,         // "GZ..."
  kKindZoomSpeed = 3,         // "Z..."
  kKindPanTiltSpeed = 4,      // "PTS...."
  kKindAbsoluteZoom = 5,      // "AXZ..."
  kKindAbsolutePosition = 6,  // "APC..."
};

// Copies the command (after the first percent-escape, up to '&' or the end
// of the first `length` characters) into `out` of kCommandBufferSize bytes.
// Returns false, writing nothing and saying why on standard error, when
// there is no command to serve: no percent-escape, or a command longer than
// kMaxCommandLength.
bool decode(const char *query, char *out, int length);
int judge_head(const char *command);
// Serves the command held in a kCommandBufferSize buffer.
void input_command_judge(char *command);
// Copies src to dst with ch inserted before index pos (nothing inserted when
// pos >= strlen(src)); returns strlen(src).
int insert_char(const char *src, char *dst, char ch, int pos);
char *ABC_to_aBC(char *s);
void ABC_to_abc(char *s, int n);
void response(const char *body, int length);
