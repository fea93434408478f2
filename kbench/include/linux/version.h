/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in. The bench builds a driver for one kernel version at a time
 * (KBENCH_LINUX_VERSION, set by kbench_driver_test) so both sides of a
 * LINUX_VERSION_CODE guard can be tested; the default is 6.1.
 */
#ifndef KBENCH_LINUX_VERSION_H
#define KBENCH_LINUX_VERSION_H

#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + ((c) > 255 ? 255 : (c)))
#include <linux/compiler.h> /* KBENCH_LINUX_VERSION */

#define LINUX_VERSION_CODE KBENCH_LINUX_VERSION

#endif
