/* SPDX-License-Identifier: GPL-2.0 */
#ifndef KBENCH_LINUX_BITS_H
#define KBENCH_LINUX_BITS_H

#define BIT(n) (1UL << (n))
#define BIT_ULL(n) (1ULL << (n))
#define GENMASK(h, l) (((~0UL) << (l)) & (~0UL >> (sizeof(long) * 8 - 1 - (h))))

#endif
