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

#ifdef __cplusplus
#define KB_BEGIN_DECLS extern "C" {
#define KB_END_DECLS }
#else
#define KB_BEGIN_DECLS
#define KB_END_DECLS
#endif

#endif
