/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: one processor, so a lock is a recorded flag. Taking a held
 * lock (a deadlock here) or releasing a free one is a bench violation.
 */
#ifndef KBENCH_LINUX_SPINLOCK_H
#define KBENCH_LINUX_SPINLOCK_H

#include <linux/bug.h>
#include <linux/irqflags.h>

typedef struct spinlock {
	int locked;
	const char *name;
} spinlock_t;

#define __SPIN_LOCK_UNLOCKED(lockname) { 0, #lockname }
#define DEFINE_SPINLOCK(x) spinlock_t x = __SPIN_LOCK_UNLOCKED(x)

KB_BEGIN_DECLS
void kb_spin_lock_init(spinlock_t *lock, const char *name);
void spin_lock(spinlock_t *lock);
void spin_unlock(spinlock_t *lock);
void spin_lock_irq(spinlock_t *lock);
void spin_unlock_irq(spinlock_t *lock);
unsigned long kb_spin_lock_irqsave(spinlock_t *lock);
void spin_unlock_irqrestore(spinlock_t *lock, unsigned long flags);
void kb_assert_held(int locked, const char *name);
KB_END_DECLS

/* Spinlocks and mutexes alike, as lockdep checks them. */
#define lockdep_assert_held(l) kb_assert_held((l)->locked, #l)

#define spin_lock_init(lock) kb_spin_lock_init(lock, #lock)
#define spin_lock_irqsave(lock, flags) ((flags) = kb_spin_lock_irqsave(lock))

#endif
