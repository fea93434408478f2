/* SPDX-License-Identifier: GPL-2.0 */
// Allocation-failure sweep on a kernel with fault injection (failslab,
// fail_page_alloc, the task and stack-trace filters): fails, one at a time,
// every allocation made from a driver's code along its load, its bind and
// unbind, and the open, ioctl and sysfs paths of what it creates, and checks
// that each failure ends cleanly and the next attempt succeeds.
#pragma once

#include "checks.h"

namespace board {

// The drivers among the modules /init loads first (lock debugging still on).
void run_inject_checks(Checks& c);
// The drivers /init loads late (after the proprietary licence's taint).
void run_inject_late_checks(Checks& c);

}  // namespace board
