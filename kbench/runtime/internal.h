/* SPDX-License-Identifier: GPL-2.0 */
// Shared between the runtime's files; not for tests.
#ifndef KBENCH_RUNTIME_INTERNAL_H
#define KBENCH_RUNTIME_INTERNAL_H

#include <string>

#include "kbench.h"

namespace kb::detail {

// Records a rule the driver broke (see kb::violations()).
void violation(std::string what);

// True with interrupts off or a spinlock held: no sleeping, no user copies.
bool atomic_context();

// Appends one formatted message to the log; level as in kb::LogLine.
void log_line(int level, std::string text);

// Registers a reset hook at static-initialisation time.
struct ResetHook {
  template <class F>
  explicit ResetHook(F f) {
    kb::on_reset(f);
  }
};

}  // namespace kb::detail

#endif
