/* SPDX-License-Identifier: GPL-2.0 */
#ifndef KBENCH_LINUX_BITOPS_H
#define KBENCH_LINUX_BITOPS_H
#include <linux/bits.h>
#endif
