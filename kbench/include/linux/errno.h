/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the host's numbers plus the kernel-internal ones. */
#ifndef KBENCH_LINUX_ERRNO_H
#define KBENCH_LINUX_ERRNO_H

#include_next <linux/errno.h>

#define ERESTARTSYS 512
#define EPROBE_DEFER 517
#define ENOTSUPP 524

#endif
