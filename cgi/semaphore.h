// Process lock around the speed memory file: the named semaphore "sem_cgi",
// backed by a kernel file lock so that a request killed while it holds the
// lock cannot block every later request.
#pragma once

#include <semaphore.h>

// Handle of "sem_cgi" during one access; null outside an access.
extern sem_t *sem;

// Opens (creating if needed, free) "sem_cgi". On failure says so and
// returns -1; the lock is then the file lock alone.
int sem_create_or_open();
// Takes the lock; ends the process with status 1 if the wait fails. Waits
// are bounded: when the lock cannot be had in time, or its file cannot be
// used, it says so on standard error and returns without holding it.
int semaphore_p();
// Releases what semaphore_p took; ends the process with status 1 if the
// post fails.
int semaphore_v();
// Closes the handle; returns sem_close's result.
int close_sem();
// Removes the name "sem_cgi"; reports "sem_unlink" on failure.
int del_semvalue();

// Name of the semaphore and of the file lock that guards it.
inline constexpr const char kSemName[] = "sem_cgi";
inline constexpr const char kSemLockPath[] = "/tmp/sem_cgi.lock";
// How long a request waits on a semaphore left taken by a dead holder.
inline constexpr int kSemTakeoverMs = 2000;
// How long a request waits for the file lock held by another process.
inline constexpr int kSemLockWaitMs = 2000;
