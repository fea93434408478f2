/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: one processor, number 0. */
#ifndef KBENCH_LINUX_SMP_H
#define KBENCH_LINUX_SMP_H

#include <linux/preempt.h>

#define smp_processor_id() 0
#define get_cpu() (kb_preempt_disable(), 0)
#define put_cpu() kb_preempt_enable()

#endif
