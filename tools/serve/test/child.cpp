// SPDX-License-Identifier: GPL-2.0
#include "child.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

child::child(const std::vector<std::string> &argv, const std::string &out_path,
             const std::vector<std::string> &env) {
  std::vector<std::string> vars;
  for (char **e = environ; *e; ++e) vars.emplace_back(*e);
  vars.insert(vars.end(), env.begin(), env.end());
  std::vector<char *> envp;
  envp.reserve(vars.size() + 1);
  for (auto &v : vars) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::vector<std::string> args = argv;
  std::vector<char *> argp;
  argp.reserve(args.size() + 1);
  for (auto &a : args) argp.push_back(a.data());
  argp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (posix_spawnp(&pid_, argp[0], &actions, nullptr, argp.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

child::~child() {
  if (pid_ > 0 && !reaped_) stop();
}

bool child::running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  const pid_t rc = waitpid(pid_, &status, WNOHANG);
  if (rc == 0) return true;
  reaped_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return false;
}

int child::wait() {
  if (pid_ <= 0) return -1;
  if (!reaped_) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return status_;
}

int child::stop() {
  if (pid_ <= 0) return -1;
  if (running()) {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 100 && running(); ++i) usleep(10000);
    if (running()) kill(pid_, SIGKILL);
  }
  return wait();
}
