// rjgt102-reg: register access to the slave behind /dev/rjgt102_i2c.
#include <string>
#include <vector>

#include "regtool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  regtool::Env env;
  bool out_failed = false;
  env.console = devtools::stdio_console(&out_failed);
  env.open = regtool::open_reg_device;
  const int status = regtool::run(args, env);
  if (out_failed && status == devtools::kExitOk) {
    env.console.err("rjgt102-reg: cannot write the output\n");
    return devtools::kExitFailed;
  }
  return status;
}
