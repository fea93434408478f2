/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the obsolete simple_strto*() with the kernel's rules: no
 * white space or sign skipped, digits read up to the first non-digit, the
 * value wrapping on overflow. Included by linux/kernel.h.
 */
#include <linux/compiler.h>

/* Before 5.14 these lived in kernel.h, and this header did not exist. */
#if !defined(KB_FROM_KERNEL_H) && !KB_LINUX_AT_LEAST(5, 14, 0)
#error "linux/kstrtox.h is newer than Linux 4.9: include linux/kernel.h"
#endif

#ifndef KBENCH_LINUX_KSTRTOX_H
#define KBENCH_LINUX_KSTRTOX_H

#include <linux/compiler.h>

KB_BEGIN_DECLS
unsigned long long simple_strtoull(const char *cp, char **endp, unsigned int base);
unsigned long simple_strtoul(const char *cp, char **endp, unsigned int base);
KB_END_DECLS

#endif
