/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the match tables drivers publish. */
#ifndef KBENCH_LINUX_MOD_DEVICETABLE_H
#define KBENCH_LINUX_MOD_DEVICETABLE_H

#include <linux/types.h>

struct of_device_id {
	char name[32];
	char type[32];
	char compatible[128];
	const void *data;
};

#define PLATFORM_NAME_SIZE 20
struct platform_device_id {
	char name[PLATFORM_NAME_SIZE];
	unsigned long driver_data;
};

#endif
