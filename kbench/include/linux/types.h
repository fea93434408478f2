/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the user-space ABI types come from the host's header. */
#ifndef KBENCH_LINUX_TYPES_H
#define KBENCH_LINUX_TYPES_H

#include_next <linux/types.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h> /* ssize_t, loff_t */
#include <linux/compiler.h>

typedef __u8 u8;
typedef __u16 u16;
typedef __u32 u32;
typedef __u64 u64;
typedef __s8 s8;
typedef __s16 s16;
typedef __s32 s32;
typedef __s64 s64;
typedef unsigned short umode_t;
typedef unsigned int gfp_t;
typedef uintptr_t phys_addr_t;

#endif
