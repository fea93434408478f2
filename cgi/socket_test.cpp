// SPDX-License-Identifier: GPL-2.0
#include "socket.h"

#include "process.h"
#include "test/capture.h"
#include "test/visca_peer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> packed(const std::string &text) {
  std::array<unsigned char, kPacketSize> buf{};
  const int n = pack_cmd(text.c_str(), buf.data(), static_cast<int>(text.size()));
  EXPECT_EQ(buf[n], 0) << text;
  return {buf.begin(), buf.begin() + n};
}

TEST(PackCmd, TurnsPairsIntoBytesAndAppendsTerminator) {
  using bytes = std::vector<unsigned char>;
  EXPECT_EQ(packed("8101040700"), (bytes{0x81, 0x01, 0x04, 0x07, 0x00, 0xFF}));
  EXPECT_EQ(packed("8101060117100203"),
            (bytes{0x81, 0x01, 0x06, 0x01, 0x17, 0x10, 0x02, 0x03, 0xFF}));
  EXPECT_EQ(packed("abAB"), (bytes{0xAB, 0xAB, 0xFF}));
  EXPECT_EQ(packed("g1zz"), (bytes{0x01, 0x00, 0xFF}));
  EXPECT_EQ(packed(""), (bytes{0xFF}));
  EXPECT_EQ(packed("810"), (bytes{0x81, 0x00, 0xFF}));
  EXPECT_EQ(packed("8"), (bytes{0x80, 0xFF}));
}

TEST(PackCmd, CutsOverlongTextAtNinetyEightPairs) {
  const std::string text(300, '7');
  const auto bytes = packed(text);
  ASSERT_EQ(bytes.size(), kMaxPairs + 1);
  EXPECT_EQ(bytes[kMaxPairs - 1], 0x77);
  EXPECT_EQ(bytes[kMaxPairs], 0xFF);
  EXPECT_EQ(packed(std::string(196, '1')).size(), 99u);
}

TEST(Judge, ClassifiesBySecondByte) {
  const unsigned char inquiry[] = {0x81, 0x09, 0x06, 0x12, 0xFF};
  const unsigned char command[] = {0x81, 0x01, 0x06, 0x04, 0xFF};
  const unsigned char other[] = {0x00, 0x00, 0xFF};
  EXPECT_EQ(judge(inquiry), 1);
  EXPECT_EQ(judge(command), 0);
  EXPECT_EQ(judge(other), -1);
}

TEST(CharaToDecimalism, HexDigitsAndEverythingElse) {
  const std::string digits = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(chara_to_decimalism(digits[i]), i);
    EXPECT_EQ(chara_to_decimalism(static_cast<char>(std::toupper(digits[i]))), i);
  }
  for (char c : std::string("gG/:@`\0 -\xff", 10)) EXPECT_EQ(chara_to_decimalism(c), 0) << int(c);
}

std::string unpacked(const std::vector<unsigned char> &reply, std::size_t length) {
  std::array<unsigned char, kPacketSize> buf{};
  std::copy(reply.begin(), reply.end(), buf.begin());
  output_capture out;
  unpack_cmd(buf.data(), length);
  return out.text();
}

TEST(UnpackCmd, PrintsBytesUpToTerminatorThenEmptyLine) {
  EXPECT_EQ(unpacked({0x90, 0x41, 0xFF}, 3), "90\n41\n\n");
  EXPECT_EQ(unpacked({0x90, 0x50, 0x02, 0xFF}, 4), "90\n50\n2\n\n");
  EXPECT_EQ(unpacked({0xFF, 0x01, 0xFF}, 3), "ff\n1\n\n");
  // Bytes after the terminator (left from an earlier reply) stay hidden.
  EXPECT_EQ(unpacked({0x90, 0x51, 0xFF, 0x02, 0xFF}, 3), "90\n51\n\n");
}

TEST(UnpackCmd, StopsAtEndOfReceivedData) {
  EXPECT_EQ(unpacked({0x90, 0x41, 0xFF}, 0), "\n");
  EXPECT_EQ(unpacked({0x90, 0x41, 0x33}, 2), "90\n41\n\n");
  const std::vector<unsigned char> full(kPacketSize, 0x12);
  std::string expected;
  for (std::size_t i = 0; i < kPacketSize; ++i) expected += "12\n";
  EXPECT_EQ(unpacked(full, 500), expected + "\n");
}

// In-process exchanges; the port is set directly so no port file is read.
std::string exchanged(const visca_peer &server, const char *text) {
  s_wSerPort = server.port();
  output_capture out;
  udp_socket(text);
  s_wSerPort = 0;
  return out.text();
}

TEST(UdpSocket, InquiryAwaitsOneReplyAndCommandTwo) {
  const visca_peer server(visca::fault::none);
  ASSERT_TRUE(server.ok());
  // The head at rest: pan and tilt 0. The one reply ends the wait.
  const long long start = monotonic_ms();
  EXPECT_EQ(exchanged(server, "81090612"), "90\n50\n0\n0\n0\n0\n0\n0\n0\n0\n\n");
  EXPECT_LT(monotonic_ms() - start, kReplyTimeoutMs / 2);
  EXPECT_EQ(exchanged(server, "8101040700"), "90\n41\n\n90\n51\n\n");
  const std::vector<visca::bytes> expected = {{0x81, 0x09, 0x06, 0x12, 0xFF},
                                              {0x81, 0x01, 0x04, 0x07, 0x00, 0xFF}};
  EXPECT_EQ(server.received(), expected);
}

TEST(UdpSocket, OtherPacketKindsEndTheProcessUnsent) {
  EXPECT_EXIT(udp_socket(""), ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(udp_socket("00000000"), ::testing::ExitedWithCode(0), "");
}

}  // namespace
