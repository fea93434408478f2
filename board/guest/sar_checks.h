/* SPDX-License-Identifier: GPL-2.0 */
#pragma once

namespace board {

class Checks;

// sar_adc's device node, ioctls and attributes against the converter model.
void run_sar_checks(Checks& c);
// A proprietary module reading the converter through the plain exports (its
// licence turns lock debugging off: run these after the lockdep-checked ones).
void run_sar_export_checks(Checks& c);
// Unbind and bind of the platform device.
void run_sar_rebind_checks(Checks& c);
// One init and read, after the module was loaded again.
void run_sar_smoke(Checks& c);

}  // namespace board
