/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: memory barriers. The bench runs one thread, so a full
 * fence is more than enough for every kind.
 */
#ifndef KBENCH_ASM_BARRIER_H
#define KBENCH_ASM_BARRIER_H

#define mb() __sync_synchronize()
#define rmb() __sync_synchronize()
#define wmb() __sync_synchronize()
#define smp_mb() __sync_synchronize()
#define smp_rmb() __sync_synchronize()
#define smp_wmb() __sync_synchronize()

#endif
