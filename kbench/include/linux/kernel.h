/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the everyday helpers drivers take from kernel.h. */
#ifndef KBENCH_LINUX_KERNEL_H
#define KBENCH_LINUX_KERNEL_H

#include <linux/types.h>
#include <linux/compiler.h>
#include <linux/printk.h>
#include <linux/bits.h>
#include <linux/errno.h>
#include <linux/err.h>
#include <linux/kstrtox.h>
#include <string.h>

#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]))
#ifndef __cplusplus /* these names belong to std:: in the C++ tests */
#define min(a, b) ((a) < (b) ? (a) : (b))
#define max(a, b) ((a) > (b) ? (a) : (b))
#define min_t(t, a, b) ((t)(a) < (t)(b) ? (t)(a) : (t)(b))
#define max_t(t, a, b) ((t)(a) > (t)(b) ? (t)(a) : (t)(b))
#define clamp(v, lo, hi) min(max(v, lo), hi)
#endif
#define DIV_ROUND_UP(n, d) (((n) + (d) - 1) / (d))
#define container_of(ptr, type, member) \
	((type *)((char *)(ptr) - offsetof(type, member)))
#define BUILD_BUG_ON(cond) ((void)sizeof(char[1 - 2 * !!(cond)]))
#define U8_MAX ((u8)~0U)
#define U16_MAX ((u16)~0U)
#define U32_MAX ((u32)~0U)

KB_BEGIN_DECLS
int kstrtoint(const char *s, unsigned int base, int *res);
int kstrtouint(const char *s, unsigned int base, unsigned int *res);
int kstrtoul(const char *s, unsigned int base, unsigned long *res);
int kstrtol(const char *s, unsigned int base, long *res);
__printf(3, 4) int scnprintf(char *buf, size_t size, const char *fmt, ...);
KB_END_DECLS

#include <stdio.h>

#endif
