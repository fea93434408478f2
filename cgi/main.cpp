// SPDX-License-Identifier: GPL-2.0
// Entry of ptz_cgi: the web server runs it once per request.
#include "output.h"
#include "process.h"
#include "ptz_cgi.h"

#include <array>
#include <csignal>
#include <cstdlib>
#include <cstring>

int main() {
  start_request_budget();
  // Under a file-size limit a write past it must fail (EFBIG) and take its
  // failure path, not kill the request half-way with the lock taken.
  std::signal(SIGXFSZ, SIG_IGN);
  // Every way out, including exit() deep inside, writes what was printed.
  std::atexit(out_flush);
  const char *method = std::getenv("REQUEST_METHOD");
  if (!method || std::strncmp(method, "GET", 3) != 0) return 0;
  const char *query = std::getenv("QUERY_STRING");
  std::array<char, kCommandBufferSize> command{};
  if (!query) return 0;
  if (!decode(query, command.data(), static_cast<int>(std::strlen(query)))) return 0;
  input_command_judge(command.data());
  return 0;
}
