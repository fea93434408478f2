// SPDX-License-Identifier: GPL-2.0
#include "cli.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace devtools {
namespace {

TEST(ParseNumber, AcceptsDecimalAndHexWithinTheLimit) {
  const struct {
    const char* text;
    unsigned long max;
    std::optional<unsigned long> want;
  } cases[] = {
      {"0", 255, 0},
      {"255", 255, 255},
      {"256", 255, std::nullopt},
      {"0xff", 255, 255},
      {"0XFE", 255, 254},
      {"0x100", 255, std::nullopt},
      {"010", 255, 10},  // not octal
      {"3", 3, 3},
      {"4", 3, std::nullopt},  // a digit above a small limit
      {"0x9", 3, std::nullopt},
      {"0x", 255, std::nullopt},
      {"", 255, std::nullopt},
      {"-1", 255, std::nullopt},
      {"+1", 255, std::nullopt},
      {" 1", 255, std::nullopt},
      {"1 ", 255, std::nullopt},
      {"12a", 255, std::nullopt},
      {"0xg", 255, std::nullopt},
      {"4294967295", 4294967295ul, 4294967295ul},
      {"99999999999999999999999", 4294967295ul, std::nullopt},  // no wrap-around
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parse_number(c.text, c.max), c.want);
  }
}

TEST(Format, HexByteAndErrorText) {
  EXPECT_EQ(hex_byte(0x5a), "0x5a");
  EXPECT_EQ(hex_byte(0), "0x00");
  EXPECT_EQ(hex_byte(0x1ff), "0xff");
  EXPECT_EQ(hex2(0xa), "0a");
  EXPECT_EQ(error_text(EFAULT), "Bad address");
}

}  // namespace
}  // namespace devtools
