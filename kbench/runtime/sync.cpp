// SPDX-License-Identifier: GPL-2.0
// Interrupt-enable state and spinlocks on the bench's single processor.
#include <linux/mutex.h>
#include <linux/preempt.h>
#include <linux/spinlock.h>

#include <set>

#include "kbench.h"
#include "internal.h"

namespace kb {
namespace {

bool irq_on = true;
int preempt_depth = 0;
std::vector<IrqEvent> irq_list;
std::vector<LockEvent> lock_list;
std::set<const spinlock*> held_locks;
detail::ResetHook hook([] {
  irq_on = true;
  preempt_depth = 0;
  irq_list.clear();
  lock_list.clear();
  held_locks.clear();
});

void set_irq(bool on) {
  if (on == irq_on) return;
  irq_on = on;
  irq_list.push_back({now_ns(), on});
}

std::string name_of(const spinlock_t* lock) { return lock->name ? lock->name : "(unnamed)"; }

void acquire(spinlock_t* lock) {
  if (lock->locked) {
    // One processor: spinning on a held lock never ends.
    detail::violation("deadlock: spinlock " + name_of(lock) + " taken while held");
    return;
  }
  lock->locked = 1;
  held_locks.insert(lock);
  lock_list.push_back({now_ns(), name_of(lock), true});
}

void release(spinlock_t* lock) {
  if (!lock->locked) {
    detail::violation("spinlock " + name_of(lock) + " released while free");
    return;
  }
  lock->locked = 0;
  held_locks.erase(lock);
  lock_list.push_back({now_ns(), name_of(lock), false});
}

}  // namespace

bool irqs_enabled() { return irq_on; }
const std::vector<IrqEvent>& irq_events() { return irq_list; }
const std::vector<LockEvent>& lock_events() { return lock_list; }
int locks_held() { return int(held_locks.size()); }
int preempt_count() { return preempt_depth; }
bool held(const spinlock* lock) { return lock->locked != 0; }

namespace detail {
bool atomic_context() { return !irq_on || !held_locks.empty() || preempt_depth > 0; }
}  // namespace detail

}  // namespace kb

extern "C" {

void kb_local_irq_disable(void) { kb::set_irq(false); }
void kb_local_irq_enable(void) { kb::set_irq(true); }

unsigned long kb_local_irq_save(void) {
  unsigned long flags = kb::irq_on;
  kb::set_irq(false);
  return flags;
}

void kb_local_irq_restore(unsigned long flags) { kb::set_irq(flags != 0); }
int kb_irqs_disabled(void) { return !kb::irq_on; }

void kb_preempt_disable(void) { ++kb::preempt_depth; }

void kb_preempt_enable(void) {
  if (kb::preempt_depth == 0) {
    kb::detail::violation("preempt_enable without preempt_disable");
    return;
  }
  --kb::preempt_depth;
}

// Uninitialised memory is the normal case here, so nothing is checked.
void kb_spin_lock_init(spinlock_t* lock, const char* name) {
  lock->locked = 0;
  lock->name = name && name[0] == '&' ? name + 1 : name;
}

void spin_lock(spinlock_t* lock) { kb::acquire(lock); }
void spin_unlock(spinlock_t* lock) { kb::release(lock); }

void spin_lock_irq(spinlock_t* lock) {
  kb::set_irq(false);
  kb::acquire(lock);
}

void spin_unlock_irq(spinlock_t* lock) {
  kb::release(lock);
  kb::set_irq(true);
}

unsigned long kb_spin_lock_irqsave(spinlock_t* lock) {
  unsigned long flags = kb_local_irq_save();
  kb::acquire(lock);
  return flags;
}

void spin_unlock_irqrestore(spinlock_t* lock, unsigned long flags) {
  kb::release(lock);
  kb_local_irq_restore(flags);
}

void kb_assert_held(int locked, const char* name) {
  if (!locked) kb::detail::violation(std::string("lockdep_assert_held: ") + name + " not held");
}

void kb_mutex_init(struct mutex* lock, const char* name) {
  lock->locked = 0;
  lock->name = name && name[0] == '&' ? name + 1 : name;
}

void mutex_lock(struct mutex* lock) {
  std::string name = lock->name ? lock->name : "(unnamed)";
  if (kb::detail::atomic_context())
    kb::detail::violation("sleeping function called from invalid context: mutex_lock " + name);
  if (lock->locked) {
    kb::detail::violation("deadlock: mutex " + name + " taken while held");
    return;
  }
  lock->locked = 1;
  kb::lock_list.push_back({kb::now_ns(), name, true});
}

void mutex_unlock(struct mutex* lock) {
  std::string name = lock->name ? lock->name : "(unnamed)";
  if (!lock->locked) {
    kb::detail::violation("mutex " + name + " released while free");
    return;
  }
  lock->locked = 0;
  kb::lock_list.push_back({kb::now_ns(), name, false});
}

}  // extern "C"
