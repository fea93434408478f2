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

/* Only unnamed groups (files in the device's own directory) are modelled. */
struct attribute_group {
	const char *name;
	struct attribute **attrs;
};

#define __ATTRIBUTE_GROUPS(_name)                                         \
	static const struct attribute_group *_name##_groups[] = {         \
		&_name##_group,                                           \
		NULL,                                                     \
	}
#define ATTRIBUTE_GROUPS(_name)                                           \
	static const struct attribute_group _name##_group = {             \
		.attrs = _name##_attrs,                                   \
	};                                                                \
	__ATTRIBUTE_GROUPS(_name)

KB_BEGIN_DECLS
__printf(2, 3) int sysfs_emit(char *buf, const char *fmt, ...);
KB_END_DECLS

#endif
