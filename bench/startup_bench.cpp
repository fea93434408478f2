// startup_bench PROGRAM BASELINE [RUNS]
//
// Compares the start-to-exit time of PROGRAM serving one "APC" request (as
// the web server starts it: CGI environment, standard output to a pipe-like
// sink) with that of BASELINE. Runs alternate between the two so that
// machine noise hits both alike; the medians and their ratio are printed.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double now_us()
{
	timespec ts{};
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double run_once(const char *path, char *const envp[], const posix_spawn_file_actions_t *actions)
{
	char *const argv[] = {const_cast<char *>(path), nullptr};
	const double start = now_us();
	pid_t pid;
	if (posix_spawn(&pid, path, actions, nullptr, argv, envp) != 0) {
		std::perror(path);
		std::exit(1);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	const double elapsed = now_us() - start;
	if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
		std::fprintf(stderr, "%s failed (status %d)\n", path, status);
		std::exit(1);
	}
	return elapsed;
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
	if (argc < 3) {
		std::fprintf(stderr, "usage: startup_bench PROGRAM BASELINE [RUNS]\n");
		return 2;
	}
	const int runs = argc > 3 ? std::atoi(argv[3]) : 2000;
	char method[] = "REQUEST_METHOD=GET";
	char query[] = "QUERY_STRING=cmd=%23APC&res=1";
	char *const envp[] = {method, query, nullptr};

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);

	for (int i = 0; i < 50; ++i) { // warm the page cache
		run_once(argv[1], envp, &actions);
		run_once(argv[2], envp, &actions);
	}
	std::vector<double> program, baseline;
	for (int i = 0; i < runs; ++i) {
		program.push_back(run_once(argv[1], envp, &actions));
		baseline.push_back(run_once(argv[2], envp, &actions));
	}
	const double p = median(program), b = median(baseline);
	std::printf("runs: %d each, alternating\n", runs);
	std::printf("%-12s median %7.1f us\n", "ptz_cgi", p);
	std::printf("%-12s median %7.1f us\n", "trivial C", b);
	std::printf("ratio ptz_cgi / trivial C: %.3f\n", p / b);
	return 0;
}
