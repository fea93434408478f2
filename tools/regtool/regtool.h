/* SPDX-License-Identifier: GPL-2.0 */
// rjgt102-reg: reads, writes and dumps the registers of the slave behind
// /dev/rjgt102_i2c, in the manner of i2cget, i2cset and i2cdump.
#ifndef TOOLS_REGTOOL_REGTOOL_H
#define TOOLS_REGTOOL_REGTOOL_H

#include <string>
#include <vector>

#include "device.h"
#include "reg_access.h"

namespace regtool {

constexpr char kDefaultDevice[] = "/dev/rjgt102_i2c";

using Env = devtools::DeviceEnv<RegDevice>;

// Runs one command line (without the program name); returns the exit status.
int run(const std::vector<std::string>& args, const Env& env);

// The register table of a dump: 16 registers a line, with an ASCII column.
// Registers that did not answer show as XX.
std::string format_table(const std::vector<uint8_t>& values, const std::vector<bool>& answered);

}  // namespace regtool

#endif
