/* SPDX-License-Identifier: GPL-2.0 */
#pragma once

namespace board {

class Checks;

// gpio_i2c's register access device against the slave model's registers.
void run_i2c_checks(Checks& c);
// One write and read back, after the module was loaded again.
void run_i2c_smoke(Checks& c);

}  // namespace board
