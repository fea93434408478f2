/* SPDX-License-Identifier: GPL-2.0 */
#pragma once

namespace board {

class Checks;

// mn34229drv driven through the sensor framework's test interface, checked
// in the emulated sensors' registers.
void run_sensor_checks(Checks& c);
// Both pads registered again after the module was loaded again.
void run_sensor_smoke(Checks& c);

}  // namespace board
