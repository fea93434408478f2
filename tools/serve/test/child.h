/* SPDX-License-Identifier: GPL-2.0 */
// A child process for tests: started with posix_spawn, its standard output
// and error in files, stopped with SIGTERM (then SIGKILL) when dropped.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#include "host_util.h"

class child {
 public:
  // `env` entries ("NAME=value") are added to the test's environment.
  child(const std::vector<std::string> &argv, const std::string &out_path,
        const std::vector<std::string> &env = {});
  ~child();
  child(const child &) = delete;
  child &operator=(const child &) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  bool running();
  // Waits for the end; returns the exit status, or -1 when killed.
  int wait();
  // SIGTERM, then SIGKILL after a second; returns the exit status.
  int stop();

 private:
  pid_t pid_ = -1;
  int status_ = -1;
  bool reaped_ = false;
};
