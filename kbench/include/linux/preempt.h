/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the preemption count of the bench's one processor. Sleeping
 * with preemption off is a bench violation, as it is atomic context.
 */
#ifndef KBENCH_LINUX_PREEMPT_H
#define KBENCH_LINUX_PREEMPT_H

#include <linux/compiler.h>

KB_BEGIN_DECLS
void kb_preempt_disable(void);
void kb_preempt_enable(void);
KB_END_DECLS

#define preempt_disable() kb_preempt_disable()
#define preempt_enable() kb_preempt_enable()

#endif
