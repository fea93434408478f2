// rjgt102-reg: register access to the slave behind /dev/rjgt102_i2c.
#include <cstdio>
#include <string>
#include <vector>

#include "regtool.h"

namespace {

void write_to(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  regtool::Env env;
  env.console.out = [](std::string_view text) { write_to(stdout, text); };
  env.console.err = [](std::string_view text) { write_to(stderr, text); };
  env.open = regtool::open_reg_device;
  return regtool::run(args, env);
}
