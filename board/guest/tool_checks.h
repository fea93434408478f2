/* SPDX-License-Identifier: GPL-2.0 */
// Checks of the device tools rjgt102-reg and sar-adc, cross-built for the
// board, run as a user runs them against the real devices and test models.
#pragma once

namespace board {

class Checks;

void run_tool_checks(Checks& c);
// Debian's i2c-tools on the I2C core's adapter of gpio_i2c (virtual camera).
void run_i2c_tool_checks(Checks& c);

}  // namespace board
