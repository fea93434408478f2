/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the local interrupt-enable state is a recorded flag. */
#ifndef KBENCH_LINUX_IRQFLAGS_H
#define KBENCH_LINUX_IRQFLAGS_H

#include <linux/compiler.h>

KB_BEGIN_DECLS
void kb_local_irq_disable(void);
void kb_local_irq_enable(void);
unsigned long kb_local_irq_save(void);
void kb_local_irq_restore(unsigned long flags);
int kb_irqs_disabled(void);
KB_END_DECLS

#define local_irq_disable() kb_local_irq_disable()
#define local_irq_enable() kb_local_irq_enable()
#define local_irq_save(flags) ((flags) = kb_local_irq_save())
#define local_irq_restore(flags) kb_local_irq_restore(flags)
#define irqs_disabled() kb_irqs_disabled()

#endif
