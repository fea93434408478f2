/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: user addresses point into the bench's user-memory model
 * (kb::user), never at host memory. A copy stops at the first byte that is
 * not mapped and returns the number of bytes not copied; copy_from_user
 * zero-fills that tail, as the kernel does.
 */
#ifndef KBENCH_LINUX_UACCESS_H
#define KBENCH_LINUX_UACCESS_H

#include <linux/types.h>
#include <linux/errno.h>

KB_BEGIN_DECLS
unsigned long copy_from_user(void *to, const void __user *from, unsigned long n);
unsigned long copy_to_user(void __user *to, const void *from, unsigned long n);
int kb_access_ok(const void __user *addr, unsigned long size);
KB_END_DECLS

#if !KB_LINUX_AT_LEAST(5, 0, 0)
#define VERIFY_READ 0
#define VERIFY_WRITE 1
#define access_ok(type, addr, size) ((void)(type), kb_access_ok(addr, size))
#else
#define access_ok(addr, size) kb_access_ok(addr, size)
#endif

#define get_user(x, ptr)                                                  \
	({                                                                \
		__typeof__(*(ptr)) kb_gu_v;                               \
		int kb_gu_e = copy_from_user(&kb_gu_v, ptr, sizeof(kb_gu_v)) ? -EFAULT : 0; \
		(x) = kb_gu_e ? 0 : kb_gu_v;                              \
		kb_gu_e;                                                  \
	})
#define put_user(x, ptr)                                                  \
	({                                                                \
		__typeof__(*(ptr)) kb_pu_v = (x);                         \
		copy_to_user(ptr, &kb_pu_v, sizeof(kb_pu_v)) ? -EFAULT : 0; \
	})

#endif
