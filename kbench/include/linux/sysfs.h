/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: attribute files and the page their callbacks fill. */
#ifndef KBENCH_LINUX_SYSFS_H
#define KBENCH_LINUX_SYSFS_H

#include <linux/kernel.h>

#ifndef PAGE_SIZE
#define PAGE_SIZE 4096UL
#endif

struct attribute {
	const char *name;
	umode_t mode;
};

KB_BEGIN_DECLS
__printf(2, 3) int sysfs_emit(char *buf, const char *fmt, ...);
KB_END_DECLS

#endif
