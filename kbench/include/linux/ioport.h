/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: bus address ranges handed to platform devices. */
#ifndef KBENCH_LINUX_IOPORT_H
#define KBENCH_LINUX_IOPORT_H

#include <linux/types.h>

typedef phys_addr_t resource_size_t;

struct resource {
	resource_size_t start;
	resource_size_t end;	/* inclusive */
	const char *name;
	unsigned long flags;
};

#define IORESOURCE_IO 0x00000100
#define IORESOURCE_MEM 0x00000200
#define IORESOURCE_IRQ 0x00000400

static inline resource_size_t resource_size(const struct resource *res)
{
	return res->end - res->start + 1;
}

#endif
