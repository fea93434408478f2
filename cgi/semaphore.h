/* SPDX-License-Identifier: GPL-2.0 */
// Process lock around the speed memory file: the named semaphore "sem_cgi",
// only ever tried, never waited on (semaphore.cpp says why).
#pragma once

#include <semaphore.h>

// Handle of "sem_cgi" during one access; null outside an access.
extern sem_t *sem;

// Opens (creating if needed, free) "sem_cgi". On failure says so and
// returns -1; the access then goes on without it.
int sem_create_or_open();
// Takes the semaphore: tried once under the order flock (a taken one is
// inherited), otherwise for at most kSemTakeoverMs. When it cannot be had
// or used, says so on standard error and returns without it.
int semaphore_p();
// Releases what semaphore_p took; a failure is reported, and the request
// goes on.
int semaphore_v();
// Closes the handle; returns sem_close's result.
int close_sem();
// Removes the name "sem_cgi"; reports "sem_unlink" on failure.
int del_semvalue();

inline constexpr const char kSemName[] = "sem_cgi";
// How long a request without the order lock tries a taken semaphore.
inline constexpr int kSemTakeoverMs = 2000;
