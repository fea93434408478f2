/* SPDX-License-Identifier: GPL-2.0 */
// The CGI response stream. The program starts once per request, so output
// is collected in a small buffer and written with write(2): no stdio set-up
// on the hot path. Tests can redirect it to a sink of their own.
#pragma once

#include <cstddef>

void out_write(const char *data, std::size_t length);
void out_str(const char *text);
// One number as lower-case hex without leading zeros, then '\n' ("%x\n").
void out_hex_line(unsigned int value);
// A number in decimal ("%d").
void out_dec(int value);
// Writes what is buffered. main registers it to run at exit.
void out_flush();

using out_sink = void (*)(const char *data, std::size_t length, void *context);
// Sends flushed output to `sink` instead of standard output (null restores).
void set_out_sink(out_sink sink, void *context);
