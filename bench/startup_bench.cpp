// SPDX-License-Identifier: GPL-2.0
// startup_bench PROGRAM BASELINE [RUNS] [QUERY_STRING]
//
// Compares the start-to-exit time of PROGRAM serving one request, by
// default "APC" (as
// the web server starts it: CGI environment, standard output to a pipe-like
// sink) with that of BASELINE. Runs alternate between the two so that
// machine noise hits both alike; the medians and their ratio are printed,
// for wall time and for the child's CPU time (user + system, which the
// kernel accounts exactly and which waiting for a busy CPU does not inflate).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double now_us() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

struct sample {
  double wall_us;
  double cpu_us;
};

double us(const timeval &tv) {
  return static_cast<double>(tv.tv_sec) * 1e6 + static_cast<double>(tv.tv_usec);
}

sample run_once(const char *path, char *const envp[], const posix_spawn_file_actions_t *actions) {
  char *const argv[] = {const_cast<char *>(path), nullptr};
  const double start = now_us();
  pid_t pid;
  if (posix_spawn(&pid, path, actions, nullptr, argv, envp) != 0) {
    std::perror(path);
    std::exit(1);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double elapsed = now_us() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", path, status);
    std::exit(1);
  }
  return {elapsed, us(usage.ru_utime) + us(usage.ru_stime)};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: startup_bench PROGRAM BASELINE [RUNS] [QUERY_STRING]\n");
    return 2;
  }
  const int runs = argc > 3 ? static_cast<int>(std::strtol(argv[3], nullptr, 10)) : 2000;
  char method[] = "REQUEST_METHOD=GET";
  std::string query = std::string("QUERY_STRING=") + (argc > 4 ? argv[4] : "cmd=%23APC&res=1");
  char *const envp[] = {method, query.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

  for (int i = 0; i < 50; ++i) {  // warm the page cache
    run_once(argv[1], envp, &actions);
    run_once(argv[2], envp, &actions);
  }
  std::vector<double> program_wall, baseline_wall, program_cpu, baseline_cpu;
  for (int i = 0; i < runs; ++i) {
    const sample p = run_once(argv[1], envp, &actions);
    const sample b = run_once(argv[2], envp, &actions);
    program_wall.push_back(p.wall_us);
    program_cpu.push_back(p.cpu_us);
    baseline_wall.push_back(b.wall_us);
    baseline_cpu.push_back(b.cpu_us);
  }
  const double pw = median(program_wall), bw = median(baseline_wall);
  const double pc = median(program_cpu), bc = median(baseline_cpu);
  std::printf("runs: %d each, alternating; medians\n", runs);
  const char *program = std::strrchr(argv[1], '/') ? std::strrchr(argv[1], '/') + 1 : argv[1];
  const char *baseline = std::strrchr(argv[2], '/') ? std::strrchr(argv[2], '/') + 1 : argv[2];
  std::printf("%-22s wall %7.1f us  cpu %7.1f us\n", program, pw, pc);
  std::printf("%-22s wall %7.1f us  cpu %7.1f us\n", baseline, bw, bc);
  std::printf("ratio %s / %s: wall %.3f  cpu %.3f\n", program, baseline, pw / bw, pc / bc);
  return 0;
}
