// SPDX-License-Identifier: GPL-2.0
// visca_sim: a VISCA camera head on 127.0.0.1 for trying the gateway
// without a camera. See tools/README.md.
#include "server.h"

#include <getopt.h>

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

int usage() {
  std::fprintf(
      stderr,
      "usage: visca_sim [--port N] [--port-file PATH] [--mode MODE] [--delay MS] [--quiet]\n"
      "  --port N         UDP port on 127.0.0.1 (default 1259, 0 picks a free one)\n"
      "  --port-file PATH write the port there as two bytes, low byte first\n"
      "                   (the gateway reads /tmp/viscaport.txt)\n"
      "  --mode MODE      normal, silent, ack-only, error, empty, unterminated or\n"
      "                   lenient (default normal)\n"
      "  --delay MS       send every reply MS milliseconds late\n"
      "  --quiet          do not log each packet\n");
  return 2;
}

// Names what is wrong with the command line, then shows the usage.
int usage(const std::string &problem) {
  std::fprintf(stderr, "visca_sim: %s\n", problem.c_str());
  return usage();
}

bool parse_number(const char *text, long max, long &out) {
  char *end = nullptr;
  errno = 0;
  out = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && out >= 0 && out <= max;
}

}  // namespace

int main(int argc, char **argv) {
  visca::server_options options;
  std::string port_file;
  bool quiet = false;
  enum { opt_port = 1, opt_port_file, opt_mode, opt_delay, opt_quiet };
  static const option longopts[] = {
      {"port", required_argument, nullptr, opt_port},
      {"port-file", required_argument, nullptr, opt_port_file},
      {"mode", required_argument, nullptr, opt_mode},
      {"delay", required_argument, nullptr, opt_delay},
      {"quiet", no_argument, nullptr, opt_quiet},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;  // the messages below name the option as typed
  for (;;) {
    const int word = optind;
    const int c = getopt_long(argc, argv, "+:", longopts, nullptr);
    if (c == -1) break;
    long n = 0;
    switch (c) {
      case opt_port:
        if (!parse_number(optarg, 65535, n))
          return usage(std::string("bad port '") + optarg + "': expected 0 to 65535");
        options.port = static_cast<std::uint16_t>(n);
        break;
      case opt_port_file:
        port_file = optarg;
        break;
      case opt_mode: {
        const auto mode = visca::parse_fault(optarg);
        if (!mode)
          return usage(std::string("unknown mode '") + optarg +
                       "': expected normal, silent, ack-only, error, empty, "
                       "unterminated or lenient");
        options.mode = *mode;
        break;
      }
      case opt_delay:
        if (!parse_number(optarg, 600000, n))
          return usage(std::string("bad delay '") + optarg + "': expected 0 to 600000 ms");
        options.delay_ms = static_cast<int>(n);
        break;
      case opt_quiet:
        quiet = true;
        break;
      case ':':
        return usage(std::string("option ") + argv[word] + " needs a value");
      default:
        return usage(std::string("unknown option '") + argv[word] + "'");
    }
  }
  if (optind < argc) return usage(std::string("unexpected argument '") + argv[optind] + "'");

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
  sa.sa_handler = on_signal;  // no SA_RESTART: poll() returns at once
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  std::printf(
      "visca_sim: %s mode on 127.0.0.1:%u%s\n", visca::fault_name(options.mode), server.port(),
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
