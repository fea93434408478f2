/* SPDX-License-Identifier: GPL-2.0 */
// VISCA client: sends one command text as a UDP datagram to the local VISCA
// server and prints its replies on standard output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>

// Server port in host order; 0 until looked up.
extern std::uint16_t s_wSerPort;

inline constexpr const char kPortFilePath[] = "/tmp/viscaport.txt";
inline constexpr std::uint16_t kDefaultPort = 1259;
inline constexpr std::size_t kPacketSize = 100;
inline constexpr std::size_t kMaxPairs = kPacketSize - 2;
inline constexpr int kReplyTimeoutMs = 2000;    // per awaited datagram
inline constexpr int kExchangeBudgetMs = 5000;  // whole exchange, within the request's budget

// The datagram traffic of an exchange. The program uses UDP; tests and the
// fuzzer put their own server in place so that a request runs in-process.
class visca_transport {
 public:
  // A descriptor, or -1 with errno set.
  virtual int open() = 0;
  // Sends to the server, whose datagrams alone are received after it.
  virtual void send(int fd, const unsigned char *packet, std::size_t length,
                    const sockaddr *address, socklen_t address_length) = 0;
  // Whether a datagram may be received within timeout_ms. A transport that
  // bounds the receive itself says true, and its receive fails with
  // ETIMEDOUT when nothing came in time.
  virtual bool wait_readable(int fd, int timeout_ms) = 0;
  // The length of the datagram received into `buffer`, or -1 with errno
  // set.
  virtual long receive(int fd, unsigned char *buffer, std::size_t size) = 0;
  virtual void close(int fd) = 0;

 protected:
  ~visca_transport() = default;
};

// Null restores UDP.
void set_visca_transport(visca_transport *transport);

// Sends `text` (hex digit pairs) as one VISCA packet and prints the replies.
// Ends the process with status 0 when the packet is neither a command nor an
// inquiry, and with status 1 when no socket can be made.
void udp_socket(const char *text);
// Writes the packet for `text` (at most kMaxPairs bytes, then 0xFF and 0)
// into `buffer` of kPacketSize bytes; returns the byte count up to 0xFF.
int pack_cmd(const char *text, unsigned char *buffer, int length);
// Sends the packet once, unless a newer command of its axis has gone out
// already (order.h), then receives and prints one reply (flag != 0) or two
// (flag == 0), each wait bounded.
void cmd_send_to_server(int socket, const unsigned char *packet, int packet_length,
                        const sockaddr *address, socklen_t address_length, int flag);
// Prints the `length` received bytes of one reply, one "%x" line per byte up
// to the terminating 0xFF, then an empty line.
void unpack_cmd(const unsigned char *reply, std::size_t length);
// 1 for an inquiry packet, 0 for a command, -1 otherwise.
int judge(const unsigned char *packet);
// Value of one hex digit; any other character counts as 0.
int chara_to_decimalism(char character);
