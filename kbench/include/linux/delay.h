/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: delays advance the bench's virtual clock (kb::now_ns) by
 * exactly what was asked; nothing else moves it. Sleeping forms report a
 * violation when called with interrupts off or a spinlock held.
 */
#ifndef KBENCH_LINUX_DELAY_H
#define KBENCH_LINUX_DELAY_H

#include <linux/compiler.h>

KB_BEGIN_DECLS
void ndelay(unsigned long nsecs);
void udelay(unsigned long usecs);
void mdelay(unsigned long msecs);
void msleep(unsigned int msecs);
unsigned long msleep_interruptible(unsigned int msecs);
void usleep_range(unsigned long min, unsigned long max);
KB_END_DECLS

#endif
