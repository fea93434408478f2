// SPDX-License-Identifier: GPL-2.0
#include "cgi_runner.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef PTZ_CGI_PATH
#error "PTZ_CGI_PATH must name the built program"
#endif

namespace {

std::atomic<int> s_serial{0};

// Variables the child keeps from the test's own environment: the sanitizer
// settings of the asan build.
const char *const kPassedThrough[] = {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"};

// Makes later system calls fail as the request asks, to exercise failure
// paths in a process that can otherwise run normally: socket(), opens that
// create (a full file system) and writes to files (not to the standard
// streams).
bool deny_calls(const cgi_request &request) {
  std::vector<sock_filter> filter;
  const auto load = [&](std::size_t offset) {
    filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<__u32>(offset)));
  };
  // The call `nr` fails with `err` when the low word of argument `arg`
  // passes the jump `test` against `k` (no test when `test` is 0).
  const auto rule = [&](int err, long nr, __u16 test, __u32 k, std::size_t arg) {
    if (err == 0) return;
    load(offsetof(seccomp_data, nr));
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(nr), 0,
                              static_cast<__u8>(test ? 3 : 1)));
    if (test) {
      load(offsetof(seccomp_data, args) + arg * sizeof(std::uint64_t));
      filter.push_back(BPF_JUMP(static_cast<__u16>(BPF_JMP | test | BPF_K), k, 0, 1));
    }
    filter.push_back(BPF_STMT(BPF_RET | BPF_K,
                              SECCOMP_RET_ERRNO | (static_cast<__u32>(err) & SECCOMP_RET_DATA)));
  };
  rule(request.socket_errno, __NR_socket, 0, 0, 0);
  rule(request.create_errno, __NR_openat, BPF_JSET, O_CREAT, 2);
  rule(request.write_errno, __NR_write, BPF_JGE, 3, 0);
  if (filter.empty()) return true;
  filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog prog{static_cast<unsigned short>(filter.size()), filter.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

}  // namespace

cgi_process::cgi_process(const cgi_request &request) {
  const int serial = s_serial++;
  const std::string base = request.directory + "/.run" + std::to_string(serial);
  out_path_ = base + ".out";
  err_path_ = base + ".err";

  std::vector<std::string> env;
  if (request.method) env.push_back("REQUEST_METHOD=" + *request.method);
  if (request.query) env.push_back("QUERY_STRING=" + *request.query);
  if (!request.preload.empty()) env.push_back("LD_PRELOAD=" + request.preload);
  for (const char *name : kPassedThrough)
    if (const char *value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  std::vector<char *> envp;
  envp.reserve(env.size() + 1);
  for (auto &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  char *argv[] = {const_cast<char *>(PTZ_CGI_PATH), nullptr};

  start_ = monotonic_seconds();
  pid_ = fork();
  if (pid_ != 0) return;
  // Child: only async-signal-safe calls from here on.
  const int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (out < 0 || err < 0 || chdir(request.directory.c_str()) != 0) _exit(127);
  dup2(out, STDOUT_FILENO);
  dup2(err, STDERR_FILENO);
  close(out);
  close(err);
  const int devnull = open("/dev/null", O_RDONLY);
  dup2(devnull, STDIN_FILENO);
  close(devnull);
  if (request.user != 0 &&
      (setgroups(0, nullptr) != 0 || setgid(request.user) != 0 || setuid(request.user) != 0))
    _exit(125);
  const auto limit = static_cast<rlim_t>(request.file_size_limit);
  const rlimit file_size{limit, limit};
  if (request.file_size_limit >= 0 && setrlimit(RLIMIT_FSIZE, &file_size) != 0) _exit(124);
  if (!deny_calls(request)) _exit(126);
  execve(argv[0], argv, envp.data());
  _exit(127);
}

cgi_process::~cgi_process() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  unlink(out_path_.c_str());
  unlink(err_path_.c_str());
}

bool cgi_process::finished() const {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid_;
}

cgi_result cgi_process::wait() {
  cgi_result result;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno != EINTR)) break;
    if (monotonic_seconds() - start_ > kTimeLimitSeconds) kill(pid_, SIGKILL);
    usleep(1000);
  }
  reaped_ = true;
  result.seconds = monotonic_seconds() - start_;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = read_file(out_path_);
  result.err = read_file(err_path_);
  return result;
}

cgi_result run_cgi(const cgi_request &request) {
  cgi_process process(request);
  return process.wait();
}
