#include "process.h"

#include <cstdlib>

namespace {
process_ender s_ender = nullptr;
}  // namespace

void end_process(int status) {
  if (s_ender) s_ender(status);
  std::exit(status);
}

void set_process_ender(process_ender ender) { s_ender = ender; }
