/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: compile-time checks. As in Linux 4.9, only this header
 * defines them and linux/kernel.h does not include it, so a driver that uses
 * ARRAY_SIZE or BUILD_BUG_ON without it fails here as it fails there.
 */
#ifndef KBENCH_LINUX_BUG_H
#define KBENCH_LINUX_BUG_H

#include <linux/compiler.h>

#ifdef __cplusplus
#define BUILD_BUG_ON_ZERO(e) 0
#else
#define BUILD_BUG_ON_ZERO(e) (sizeof(struct { int : (-!!(e)); }))
#endif
#define BUILD_BUG_ON(cond) ((void)sizeof(char[1 - 2 * !!(cond)]))

#endif
