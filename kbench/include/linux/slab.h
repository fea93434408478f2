/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: allocations are counted (kb::mem) and can be made to fail
 * to test error paths.
 */
#ifndef KBENCH_LINUX_SLAB_H
#define KBENCH_LINUX_SLAB_H

#include <linux/bug.h>
#include <linux/errno.h>
#include <linux/types.h>

#define GFP_KERNEL 0x1u
#define GFP_ATOMIC 0x2u
#define __GFP_ZERO 0x100u

KB_BEGIN_DECLS
void *kmalloc(size_t size, gfp_t flags);
void *kzalloc(size_t size, gfp_t flags);
void *kcalloc(size_t n, size_t size, gfp_t flags);
void *kmalloc_array(size_t n, size_t size, gfp_t flags);
void kfree(const void *p);
KB_END_DECLS

#endif
