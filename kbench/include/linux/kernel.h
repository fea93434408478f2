/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the everyday helpers drivers take from kernel.h. Like
 * Linux 4.9's, it brings neither linux/bug.h nor linux/err.h nor
 * linux/errno.h: a driver includes them itself or gets them through the
 * headers that bring them there too (module.h, device.h, fs.h ...).
 */
#ifndef KBENCH_LINUX_KERNEL_H
#define KBENCH_LINUX_KERNEL_H

#include <linux/types.h>
#include <linux/compiler.h>
#include <linux/printk.h>
#include <linux/bits.h>
#define KB_FROM_KERNEL_H
#include <linux/kstrtox.h>
#undef KB_FROM_KERNEL_H
#include <string.h>

#define ARRAY_SIZE(a) (sizeof(a) / sizeof((a)[0]) + __must_be_array(a))
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
