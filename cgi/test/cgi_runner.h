/* SPDX-License-Identifier: GPL-2.0 */
// Runs the built ptz_cgi the way a web server does: a CGI environment, a
// working directory holding cgi-bin/, standard output and error captured.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "host_util.h"

struct cgi_request {
  std::optional<std::string> method = std::string("GET");
  std::optional<std::string> query;
  std::string directory;      // working directory
  std::string preload;        // LD_PRELOAD for the child
  int socket_errno = 0;       // when non-zero, socket() fails with this errno
  int create_errno = 0;       // when non-zero, every open with O_CREAT fails so
  int write_errno = 0;        // when non-zero, write() to a file (fd > 2) fails so
  uid_t user = 0;             // when non-zero, runs as this user and its group
  long file_size_limit = -1;  // when not negative, RLIMIT_FSIZE in bytes
};

struct cgi_result {
  int status = -1;  // exit status, or -1 when killed by a signal
                    // (after kTimeLimitSeconds, by the runner)
  std::string out;
  std::string err;
  double seconds = 0;
};

class cgi_process {
 public:
  explicit cgi_process(const cgi_request &request);
  ~cgi_process();
  cgi_process(const cgi_process &) = delete;
  cgi_process &operator=(const cgi_process &) = delete;

  pid_t pid() const { return pid_; }
  // True once the process has ended (does not reap it).
  bool finished() const;
  cgi_result wait();

 private:
  pid_t pid_ = -1;
  std::string out_path_;
  std::string err_path_;
  double start_ = 0;
  bool reaped_ = false;
};

cgi_result run_cgi(const cgi_request &request);

// A request still running after this long is killed: a hang fails the test.
inline constexpr double kTimeLimitSeconds = 20;
