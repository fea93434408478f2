// visca_test_server MODE [PORT] [--port-file PATH]
// Answers VISCA datagrams on 127.0.0.1 (see visca_test_server.h for the
// modes) and logs each one as a line of hex bytes. With --port-file it
// writes its port there as two raw bytes, low byte first, as the VISCA
// server does for the gateway.
#include "visca_test_server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

void log_datagram(const visca_test_server::datagram &d) {
  std::printf("received");
  for (std::uint8_t b : d) std::printf(" %02X", b);
  std::printf("\n");
  std::fflush(stdout);
}

int usage() {
  std::fprintf(stderr,
               "usage: visca_test_server normal|silent|error|empty|unterminated"
               " [PORT] [--port-file PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) return usage();
  const auto m = visca_test_server::parse_mode(argv[1]);
  if (!m) return usage();
  unsigned long port = 0;
  const char *port_file = nullptr;
  for (int i = 2; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--port-file" && i + 1 < argc)
      port_file = argv[++i];
    else if ((port = std::strtoul(argv[i], nullptr, 10)) > 65535)
      return usage();
  }

  visca_test_server server(*m, static_cast<std::uint16_t>(port));
  if (!server.ok()) {
    std::perror("visca_test_server: bind");
    return 1;
  }
  if (port_file) {
    std::FILE *f = std::fopen(port_file, "wb");
    const unsigned char raw[2] = {static_cast<unsigned char>(server.port() & 0xFF),
                                  static_cast<unsigned char>(server.port() >> 8)};
    if (!f || std::fwrite(raw, 1, 2, f) != 2 || std::fclose(f) != 0) {
      std::perror(port_file);
      return 1;
    }
  }
  std::printf("visca_test_server: %s mode on 127.0.0.1:%u\n", argv[1], server.port());
  std::fflush(stdout);
  server.serve(log_datagram);
}
