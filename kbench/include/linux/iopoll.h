/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the polling helper as Linux 4.9 has it, timed by the
 * bench's virtual clock, which only the sleeps between reads move.
 */
#ifndef KBENCH_LINUX_IOPOLL_H
#define KBENCH_LINUX_IOPOLL_H

#include <linux/delay.h>
#include <linux/errno.h>
#include <linux/io.h>

KB_BEGIN_DECLS
unsigned long long kb_clock_ns(void);
KB_END_DECLS

#define readx_poll_timeout(op, addr, val, cond, sleep_us, timeout_us)	\
({									\
	unsigned long long __end = kb_clock_ns() + (timeout_us) * 1000ULL; \
	for (;;) {							\
		(val) = op(addr);					\
		if (cond)						\
			break;						\
		if ((timeout_us) && kb_clock_ns() > __end) {		\
			(val) = op(addr);				\
			break;						\
		}							\
		if (sleep_us)						\
			usleep_range(((sleep_us) >> 2) + 1, (sleep_us)); \
	}								\
	(cond) ? 0 : -ETIMEDOUT;					\
})

#define readl_poll_timeout(addr, val, cond, sleep_us, timeout_us) \
	readx_poll_timeout(readl, addr, val, cond, sleep_us, timeout_us)

#endif
