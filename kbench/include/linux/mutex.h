/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: one processor and no scheduler, so a mutex is a recorded
 * flag. Taking one in atomic context (it may sleep) or while it is held (a
 * deadlock here), or releasing a free one, is a bench violation.
 */
#ifndef KBENCH_LINUX_MUTEX_H
#define KBENCH_LINUX_MUTEX_H

#include <linux/compiler.h>
#include <linux/types.h>

struct mutex {
	int locked;
	const char *name;
};

#define __MUTEX_INITIALIZER(lockname) { 0, #lockname }
#define DEFINE_MUTEX(x) struct mutex x = __MUTEX_INITIALIZER(x)

KB_BEGIN_DECLS
void kb_mutex_init(struct mutex *lock, const char *name);
void mutex_lock(struct mutex *lock);
void mutex_unlock(struct mutex *lock);
KB_END_DECLS

#define mutex_init(lock) kb_mutex_init(lock, #lock)
#define mutex_is_locked(lock) ((lock)->locked != 0)

#endif
