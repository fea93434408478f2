#include "semaphore.h"

#include "process.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

// Why two locks.
//
// "sem_cgi" outlives every process, so a request killed by the web server
// while it holds the semaphore would leave it at 0 and block every later
// request forever. The kernel drops a flock() when its holder dies, so every
// request first takes an exclusive flock on kSemLockPath and only then the
// semaphore:
//  - live requests are mutually exclusive through the flock alone;
//  - while we hold the flock no live process can hold the semaphore, so a
//    semaphore still at 0 after kSemTakeoverMs belongs to a dead holder. We
//    inherit its token (no decrement) and our normal sem_post returns the
//    value to 1. The value therefore never exceeds 1.
// Release order is sem_post, then the flock, so the next flock holder finds
// the semaphore free.

sem_t *sem = nullptr;

namespace {

int s_lock_fd = -1;

[[noreturn]] void lock_failed() { end_process(1); }

int open_lock_file()
{
	// 0666 so that requests running under another user share it; flock
	// also works on a read-only descriptor.
	int fd = open(kSemLockPath, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
	if (fd < 0)
		fd = open(kSemLockPath, O_RDONLY | O_CLOEXEC);
	return fd;
}

timespec deadline_after_ms(int ms)
{
	timespec ts{};
	clock_gettime(CLOCK_REALTIME, &ts);
	ts.tv_sec += ms / 1000;
	ts.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
	if (ts.tv_nsec >= 1000000000L) {
		ts.tv_sec += 1;
		ts.tv_nsec -= 1000000000L;
	}
	return ts;
}

} // namespace

int sem_create_or_open()
{
	sem = sem_open(kSemName, O_CREAT, 0777, 1);
	if (sem == SEM_FAILED) {
		sem = nullptr;
		std::perror("sem_open");
		lock_failed();
	}
	return 0;
}

int semaphore_p()
{
	s_lock_fd = open_lock_file();
	if (s_lock_fd < 0)
		lock_failed();
	if (flock(s_lock_fd, LOCK_EX) != 0)
		lock_failed();

	const timespec deadline = deadline_after_ms(kSemTakeoverMs);
	while (sem_timedwait(sem, &deadline) != 0) {
		if (errno == ETIMEDOUT) {
			std::fputs("ptz_cgi: taking over the speed memory lock of a dead request\n",
				   stderr);
			break;
		}
		lock_failed();
	}
	return 0;
}

int semaphore_v()
{
	const int rc = sem_post(sem);
	if (s_lock_fd >= 0) {
		close(s_lock_fd); // drops the flock
		s_lock_fd = -1;
	}
	if (rc != 0)
		lock_failed();
	return 0;
}

int close_sem()
{
	const int rc = sem_close(sem);
	sem = nullptr;
	return rc;
}

int del_semvalue()
{
	const int rc = sem_unlink(kSemName);
	if (rc != 0)
		std::perror("sem_unlink");
	return rc;
}
