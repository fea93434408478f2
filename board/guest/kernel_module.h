/* SPDX-License-Identifier: GPL-2.0 */
// Loading and unloading a kernel module with the system calls themselves,
// as insmod and rmmod make them.
#pragma once

#include <string>

namespace board {

// Returns 0 or the errno of finit_module.
int load_module(const std::string& path, const std::string& params = "");
// Returns 0 or the errno of delete_module.
int unload_module(const std::string& name);

}  // namespace board
