/* SPDX-License-Identifier: GPL-2.0 */
// Files that requests running as different users share: the web server's
// user, and root when someone runs the program by hand.
#pragma once

#include <sys/types.h>

// open(path, flags, mode), except that a file it creates (O_CREAT) gets
// `mode` whatever the umask, so that a first run as root leaves it usable
// by the web server. An existing file is opened without touching the umask.
int open_shared(const char *path, int flags, mode_t mode);
