// SPDX-License-Identifier: GPL-2.0
// rjgt102-reg: register access to the slave behind /dev/rjgt102_i2c.
#include <fcntl.h>

#include "program.h"
#include "regtool.h"

int main(int argc, char** argv) {
  return devtools::run_main(
      "rjgt102-reg", argc, argv,
      [](const std::vector<std::string>& args, const devtools::Console& console, const bool&) {
        regtool::Env env;
        env.console = console;
        // The driver ignores the open mode; read-write states the intent.
        env.open = [](const std::string& path, int& error) {
          return devtools::open_device<gpioi2c_block>(path, O_RDWR, error);
        };
        return regtool::run(args, env);
      });
}
