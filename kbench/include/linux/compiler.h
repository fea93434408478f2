/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: annotations that only matter to sparse and the compiler. */
#ifndef KBENCH_LINUX_COMPILER_H
#define KBENCH_LINUX_COMPILER_H

#define __user
#define __iomem
#define __force
#define __must_check __attribute__((warn_unused_result))
#define __maybe_unused __attribute__((unused))
#define __always_unused __attribute__((unused))
#define __printf(a, b) __attribute__((format(printf, a, b)))
#define __packed __attribute__((packed))
#define __aligned(x) __attribute__((aligned(x)))
#define likely(x) __builtin_expect(!!(x), 1)
#define unlikely(x) __builtin_expect(!!(x), 0)
#define barrier() __asm__ __volatile__("" ::: "memory")
#define READ_ONCE(x) (*(const volatile __typeof__(x) *)&(x))
#define WRITE_ONCE(x, v) (*(volatile __typeof__(x) *)&(x) = (v))

/*
 * As in the kernel's compiler-gcc.h: ARRAY_SIZE of a pointer does not build.
 * BUILD_BUG_ON_ZERO comes from linux/bug.h, which the user must include.
 */
#ifdef __cplusplus
#define __must_be_array(a) 0
#else
#define __same_type(a, b) __builtin_types_compatible_p(typeof(a), typeof(b))
#define __must_be_array(a) BUILD_BUG_ON_ZERO(__same_type((a), &(a)[0]))
#endif

/*
 * The kernel version the bench builds a driver for (kbench_driver_test sets
 * it), for stand-ins that offer an interface only from some release on. Read
 * here rather than through linux/version.h, which a driver must include
 * itself to use LINUX_VERSION_CODE.
 */
#ifndef KBENCH_LINUX_VERSION
#define KBENCH_LINUX_VERSION 0x060100
#endif
#define KB_LINUX_AT_LEAST(a, b, c) \
	(KBENCH_LINUX_VERSION >= (((a) << 16) + ((b) << 8) + (c)))

#ifdef __cplusplus
#define KB_BEGIN_DECLS extern "C" {
#define KB_END_DECLS }
#else
#define KB_BEGIN_DECLS
#define KB_END_DECLS
#endif

#endif
