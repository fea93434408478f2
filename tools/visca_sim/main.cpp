// visca_sim: a VISCA camera head on 127.0.0.1 for trying the gateway
// without a camera. See tools/README.md.
#include "server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

volatile std::sig_atomic_t s_stop = 0;

void on_signal(int) { s_stop = 1; }

int usage()
{
	std::fprintf(stderr,
		     "usage: visca_sim [--port N] [--port-file PATH] [--mode MODE] [--delay MS] [--quiet]\n"
		     "  --port N         UDP port on 127.0.0.1 (default 1259, 0 picks a free one)\n"
		     "  --port-file PATH write the port there as two bytes, low byte first\n"
		     "                   (the gateway reads /tmp/viscaport.txt)\n"
		     "  --mode MODE      normal, silent, ack-only or error (default normal)\n"
		     "  --delay MS       send every reply MS milliseconds late\n"
		     "  --quiet          do not log each packet\n");
	return 2;
}

bool parse_number(const char *text, long max, long &out)
{
	char *end = nullptr;
	errno = 0;
	out = std::strtol(text, &end, 10);
	return errno == 0 && end != text && *end == '\0' && out >= 0 && out <= max;
}

} // namespace

int main(int argc, char **argv)
{
	visca::server_options options;
	std::string port_file;
	bool quiet = false;
	for (int i = 1; i < argc; ++i) {
		const std::string_view arg = argv[i];
		const bool has_value = i + 1 < argc;
		long n = 0;
		if (arg == "--port" && has_value && parse_number(argv[i + 1], 65535, n)) {
			options.port = static_cast<std::uint16_t>(n);
			++i;
		} else if (arg == "--port-file" && has_value) {
			port_file = argv[++i];
		} else if (arg == "--mode" && has_value) {
			const auto mode = visca::parse_fault(argv[++i]);
			if (!mode)
				return usage();
			options.mode = *mode;
		} else if (arg == "--delay" && has_value && parse_number(argv[i + 1], 600000, n)) {
			options.delay_ms = static_cast<int>(n);
			++i;
		} else if (arg == "--quiet") {
			quiet = true;
		} else {
			return usage();
		}
	}

	std::setvbuf(stdout, nullptr, _IOLBF, 0);
	const visca::micros start = visca::server::monotonic_micros();
	auto log = [start](const std::string &line) {
		const double t = static_cast<double>(visca::server::monotonic_micros() - start) / 1e6;
		std::printf("[%9.3f] %s\n", t, line.c_str());
	};
	visca::server server(options, quiet ? visca::server::log_fn() : log);
	if (!server.ok()) {
		std::fprintf(stderr, "visca_sim: %s\n", server.error().c_str());
		return 1;
	}
	if (!port_file.empty() && !visca::write_port_file(port_file, server.port())) {
		std::fprintf(stderr, "visca_sim: %s: %s\n", port_file.c_str(), std::strerror(errno));
		return 1;
	}

	struct sigaction sa {};
	sa.sa_handler = on_signal; // no SA_RESTART: poll() returns at once
	sigaction(SIGINT, &sa, nullptr);
	sigaction(SIGTERM, &sa, nullptr);

	std::printf("visca_sim: %s mode on 127.0.0.1:%u%s\n", visca::fault_name(options.mode),
		    server.port(),
		    options.delay_ms ? (", replies " + std::to_string(options.delay_ms) + " ms late").c_str()
				     : "");
	while (!s_stop) {
		if (!server.poll_once(500)) {
			std::perror("visca_sim: poll");
			return 1;
		}
	}
	std::printf("visca_sim: stopped; %s\n", visca::describe(server.state()).c_str());
	return 0;
}
