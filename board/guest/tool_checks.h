// Checks of the device tools rjgt102-reg and sar-adc, cross-built for the
// board, run as a user runs them against the real devices and test models.
#pragma once

namespace board {

class Checks;

void run_tool_checks(Checks& c);

}  // namespace board
