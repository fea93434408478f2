// SPDX-License-Identifier: GPL-2.0
/* Preloaded into ptz_cgi: its wall clock reads an hour ahead of the
 * kernel's, as if the clock had been set back an hour just after it looked.
 * A wait with a wall-clock deadline then lasts an hour. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <time.h>

int clock_gettime(clockid_t id, struct timespec *ts)
{
	int (*real)(clockid_t, struct timespec *) = dlsym(RTLD_NEXT, "clock_gettime");
	int rc = real(id, ts);

	if (rc == 0 && id == CLOCK_REALTIME)
		ts->tv_sec += 3600;
	return rc;
}
