/* SPDX-License-Identifier: GPL-2.0 */
// The order of movement commands at the head: per axis, no command reaches
// the head after a newer command of the same axis (order.cpp says how).
#pragma once

// The lock file: its flock orders the requests, and it records per axis
// the newest request whose command has gone out. It lives beside the speed
// memory, in the web server's folder.
inline constexpr const char kOrderFolder[] = "./cgi-bin";
inline constexpr const char kOrderPath[] = "./cgi-bin/ptz_cgi.lock";
// How long a request waits for the flock held by another process.
inline constexpr int kOrderWaitMs = 2000;

// Takes the flock before a movement command is converted, waiting at most
// kOrderWaitMs; when it cannot be had it says so and the request goes on.
// Does nothing in-process (no request budget started).
void order_lock();
// What order_lock came to: no usable lock file (or in-process), the flock
// held, or the flock kept by a live holder past kOrderWaitMs.
enum class order_state { unused, held, lost };
order_state order_lock_state();
// Just before `packet` goes out: false, saying "superseded" on standard
// error, when a newer request's command of the same axis has gone out
// already; otherwise records this request as its axis's newest.
bool order_admit(const unsigned char *packet);
// Drops the flock once the packet has gone out.
void order_unlock();
