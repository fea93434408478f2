// SPDX-License-Identifier: GPL-2.0
// camera_ctl: the virtual camera's test hook. The host's end-to-end tests
// reach the guest only through its web server, so this program, served as
// /board/ctl beside the gateway (never installed on a real board), lets them
// restart the VISCA head simulator with other options and read back what the
// head did.
//
//   camera_ctl ACTION [ARG...]          from a shell
//   GET /board/ctl?ACTION+ARG+...       as a CGI program
//
//   sim [visca_sim options]   (re)start the simulator, its log emptied
//   log                       the simulator's packet log
//   inquire HEX               send one VISCA packet, print the reply in hex
//   memory                    the gateway's speed memory file
//
// Exit status (shell) or HTTP status (CGI): 0/200 done, 1/500 failed,
// 2/400 usage.

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kSim = "/usr/bin/visca_sim";
constexpr const char* kSimLog = "/run/camera/visca_sim.log";
constexpr const char* kSimPid = "/run/camera/visca_sim.pid";
constexpr const char* kPortFile = "/tmp/viscaport.txt";
constexpr const char* kSpeedMemory = "/usr/lib/ptz-gateway/cgi-bin/vv_ww.config";

struct Result {
  int status = 0;  // 0 done, 1 failed, 2 usage
  std::string text;
};

Result failed(const std::string& why) { return {1, "camera_ctl: " + why + "\n"}; }

std::string read_file(const char* path) {
  std::string text;
  if (FILE* f = std::fopen(path, "rb")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

void sleep_ms(int ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&ts, nullptr);
}

void stop_sim() {
  const long pid = std::strtol(read_file(kSimPid).c_str(), nullptr, 10);
  if (pid > 1) kill(static_cast<pid_t>(pid), SIGTERM);
  unlink(kSimPid);
}

// Starts the simulator detached from the caller (a CGI's output pipe must
// close when the CGI ends) and waits until it has bound its port, which it
// shows by writing the port file. The old one may hold the port for a
// moment after SIGTERM: a start that fails to bind is tried again.
Result start_sim(const std::vector<std::string>& options) {
  stop_sim();
  for (int attempt = 0; attempt < 20; ++attempt) {
    // The file shows the new simulator's start only if the old one's is gone.
    if (unlink(kPortFile) != 0 && errno != ENOENT)
      return failed(std::string("cannot remove ") + kPortFile + ": " + std::strerror(errno));
    const pid_t pid = fork();
    if (pid < 0) return failed(std::string("fork: ") + std::strerror(errno));
    if (pid == 0) {
      setsid();
      const int log = open(kSimLog, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (log < 0) _exit(126);
      dup2(log, 1);
      dup2(log, 2);
      const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (null < 0) {
        std::printf("camera_ctl: /dev/null: %s\n", std::strerror(errno));
        _exit(126);
      }
      dup2(null, 0);
      std::vector<const char*> argv = {kSim, "--port", "1259", "--port-file", kPortFile};
      for (const auto& o : options) argv.push_back(o.c_str());
      argv.push_back(nullptr);
      execv(kSim, const_cast<char* const*>(argv.data()));
      std::printf("camera_ctl: %s: %s\n", kSim, std::strerror(errno));
      _exit(127);
    }
    for (int waited = 0; waited < 2000; waited += 10) {
      if (read_file(kPortFile).size() == 2) {
        if (FILE* f = std::fopen(kSimPid, "w")) {
          std::fprintf(f, "%d\n", static_cast<int>(pid));
          std::fclose(f);
        }
        return {0, "visca_sim " + std::to_string(pid) + " on 127.0.0.1:1259\n"};
      }
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) break;  // exited: try again
      sleep_ms(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    sleep_ms(100);
  }
  return failed("visca_sim did not start; its log:\n" + read_file(kSimLog));
}

// The simulator's port, from the file the gateway reads too.
int sim_port() {
  const std::string raw = read_file(kPortFile);
  if (raw.size() < 2) return 1259;
  return static_cast<unsigned char>(raw[0]) | static_cast<unsigned char>(raw[1]) << 8;
}

Result inquire(const std::string& hex) {
  std::vector<unsigned char> packet;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const std::string byte = hex.substr(i, 2);
    char* end = nullptr;
    const long v = std::strtol(byte.c_str(), &end, 16);
    if (byte.size() != 2 || *end != '\0') return {2, "camera_ctl: not hex: " + hex + "\n"};
    packet.push_back(static_cast<unsigned char>(v));
  }
  if (packet.empty()) return {2, "camera_ctl: inquire needs a packet\n"};
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return failed(std::string("socket: ") + std::strerror(errno));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(sim_port()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  pollfd p{fd, POLLIN, 0};
  unsigned char reply[64];
  ssize_t n = -1;
  if (poll(&p, 1, 2000) == 1) n = recv(fd, reply, sizeof(reply), 0);
  close(fd);
  if (n <= 0) return failed("no reply to the inquiry");
  std::string text;
  char byte[4];
  for (ssize_t i = 0; i < n; ++i) {
    std::snprintf(byte, sizeof(byte), i ? " %02X" : "%02X", reply[i]);
    text += byte;
  }
  return {0, text + "\n"};
}

Result run(const std::vector<std::string>& words) {
  if (words.empty()) return {2, "usage: camera_ctl sim [OPTION...] | log | inquire HEX | memory\n"};
  const std::string& action = words[0];
  if (action == "sim") return start_sim({words.begin() + 1, words.end()});
  if (action == "log" && words.size() == 1) return {0, read_file(kSimLog)};
  if (action == "memory" && words.size() == 1) return {0, read_file(kSpeedMemory)};
  if (action == "inquire" && words.size() == 2) return inquire(words[1]);
  return run({});
}

}  // namespace

int main(int argc, char** argv) {
  const char* query = std::getenv("QUERY_STRING");
  const bool cgi = std::getenv("REQUEST_METHOD") != nullptr;
  std::vector<std::string> words;
  if (cgi) {
    // ACTION+ARG+...: the query's own "+" separate the words.
    std::string q = query ? query : "";
    std::size_t start = 0;
    while (start <= q.size() && !q.empty()) {
      const std::size_t end = q.find('+', start);
      words.push_back(q.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  } else {
    words.assign(argv + 1, argv + argc);
  }
  const Result r = run(words);
  if (cgi) {
    static const char* const kStatus[] = {"200 OK", "500 Internal Server Error", "400 Bad Request"};
    std::printf("Status: %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n\r\n%s",
                kStatus[r.status], r.text.size(), r.text.c_str());
    return 0;
  }
  std::fputs(r.text.c_str(), r.status == 0 ? stdout : stderr);
  return r.status;
}
