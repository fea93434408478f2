// SPDX-License-Identifier: GPL-2.0
// http_load [-p PORT] [-n REQUESTS] PATH...   times REQUESTS GET requests
//                                              per PATH (default 100)
// http_load [-p PORT] -b PATH                  prints the body of one reply
//
// The load generator of the benchmark inside the camera: GET requests to
// 127.0.0.1:PORT (80), one at a time, over one keep-alive connection
// (reopened only if the server closes it). lighttpd starts the CGI afresh
// for every request anyway; keeping the connection leaves the TCP set-up
// and tear-down out of every sample, so that what is timed is the server
// plus the CGI, as wrk does on the host.
//
// With several paths the requests take the paths in turn (A B C A B C ...):
// under emulation the host's load swings the guest's speed by tens of per
// cent within seconds, and only requests close in time compare fairly.
// Prints one line per path, in the order given:
//   PATH requests N median_us M mean_us T p90_us P
// Any reply other than 200 with a Content-Length, or a broken connection
// in the middle of a reply, fails the run.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

[[noreturn]] void die(const char* what) {
  std::fprintf(stderr, "http_load: %s\n", what);
  std::exit(1);
}

[[noreturn]] void die_errno(const char* what) {
  std::fprintf(stderr, "http_load: %s: %s\n", what, std::strerror(errno));
  std::exit(1);
}

double now_us() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

int connect_server(unsigned short port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) die_errno("socket");
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) != 0)
    die_errno("connect to 127.0.0.1");
  return fd;
}

bool send_all(int fd, const std::string& data) {
  for (size_t done = 0; done < data.size();) {
    const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The value of header NAME (lower case, with its colon) in HEAD, or "".
std::string header(const std::string& head, const char* name) {
  std::string lower = head;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const size_t at = lower.find(std::string("\r\n") + name);
  if (at == std::string::npos) return "";
  const size_t start = head.find_first_not_of(' ', at + 2 + std::strlen(name));
  return head.substr(start, head.find("\r\n", start) - start);
}

struct reply {
  bool ok = false;     // a whole reply arrived
  bool close = false;  // the server closes the connection after it
  std::string body;
};

// Sends one request and reads its reply. A connection the server had
// already closed yields ok == false before any byte of a reply.
reply exchange(int fd, const std::string& request) {
  reply r;
  bool started = false;
  if (!send_all(fd, request)) return r;
  std::string data;
  char buf[4096];
  size_t head_end = std::string::npos;
  size_t length = 0;
  for (;;) {
    if (head_end == std::string::npos) {
      head_end = data.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        const std::string head = data.substr(0, head_end + 2);
        if (head.compare(0, 9, "HTTP/1.1 ") != 0 || head.compare(9, 3, "200") != 0) {
          std::fprintf(stderr, "http_load: reply %s\n", head.substr(0, head.find("\r\n")).c_str());
          std::exit(1);
        }
        const std::string value = header(head, "content-length:");
        if (value.empty()) die("reply without Content-Length");
        length = std::strtoul(value.c_str(), nullptr, 10);
        r.close = header(head, "connection:") == "close";
        head_end += 4;
      }
    }
    if (head_end != std::string::npos && data.size() >= head_end + length) {
      r.body = data.substr(head_end, length);
      r.ok = true;
      return r;
    }
    const ssize_t n = recv(fd, buf, sizeof(buf), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (started) die("connection broken in the middle of a reply");
      return r;
    }
    started = true;
    data.append(buf, static_cast<size_t>(n));
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool body_only = false;
  long port = 80;
  long requests = 100;
  for (int opt; (opt = getopt(argc, argv, "bn:p:")) != -1;) {
    if (opt == 'b') {
      body_only = true;
    } else if (opt == 'n') {
      requests = std::strtol(optarg, nullptr, 10);
    } else if (opt == 'p') {
      port = std::strtol(optarg, nullptr, 10);
    } else {
      port = 0;
    }
  }
  const int paths = argc - optind;
  bool usable = port > 0 && port <= 65535 && requests > 0 && paths > 0 && !(body_only && paths > 1);
  for (int i = optind; i < argc; ++i) usable = usable && argv[i][0] == '/';
  if (!usable) {
    std::fprintf(
        stderr, "usage: http_load [-p PORT] [-n REQUESTS] PATH... | http_load [-p PORT] -b PATH\n");
    return 2;
  }
  if (body_only) requests = 1;

  std::vector<std::string> request;
  std::vector<std::vector<double>> latency(static_cast<size_t>(paths));
  for (int i = 0; i < paths; ++i) {
    request.push_back(std::string("GET ") + argv[optind + i] +
                      " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    latency[static_cast<size_t>(i)].reserve(static_cast<size_t>(requests));
  }

  const auto server = static_cast<unsigned short>(port);
  int fd = connect_server(server);
  bool fresh = true;
  for (long done = 0; done < requests * paths;) {
    const auto path = static_cast<size_t>(done % paths);
    const double t0 = now_us();
    reply r = exchange(fd, request[path]);
    if (!r.ok) {
      // The server closed an idle connection: reconnect, not counted. A new
      // connection closed without a reply is a server that does not answer.
      if (fresh) die("the server closed the connection without a reply");
      close(fd);
      fd = connect_server(server);
      fresh = true;
      continue;
    }
    fresh = false;
    latency[path].push_back(now_us() - t0);
    ++done;
    if (body_only) {
      return std::fwrite(r.body.data(), 1, r.body.size(), stdout) == r.body.size() ? 0 : 1;
    }
    if (r.close) {
      close(fd);
      fd = connect_server(server);
      fresh = true;
    }
  }
  close(fd);

  for (int i = 0; i < paths; ++i) {
    std::vector<double>& l = latency[static_cast<size_t>(i)];
    std::sort(l.begin(), l.end());
    double sum = 0;
    for (const double v : l) sum += v;
    const size_t n = l.size();
    std::printf("%s requests %zu median_us %.0f mean_us %.0f p90_us %.0f\n", argv[optind + i], n,
                l[n / 2], sum / static_cast<double>(n), l[n * 9 / 10]);
  }
  return 0;
}
