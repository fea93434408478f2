// SPDX-License-Identifier: GPL-2.0
#include "ptz_cgi.h"

#include "test/capture.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string decoded(const char *query) {
  std::array<char, kCommandBufferSize> out{};
  EXPECT_TRUE(decode(query, out.data(), static_cast<int>(std::strlen(query))));
  return out.data();
}

TEST(Decode, TakesTextAfterFirstEscapeUpToAmpersand) {
  struct {
    const char *query;
    const char *command;
  } const cases[] = {
      {"cmd=%23PTS5050&res=1", "PTS5050"},
      {"cmd=%23PTS9950", "PTS9950"},
      {"%23&", ""},
      {"%23PTS%355050&", "PTS%355050"},
      {"%2", ""},
      {"x%23123456789012&y", "123456789012"},
  };
  for (const auto &c : cases) EXPECT_EQ(decoded(c.query), c.command) << c.query;
}

TEST(Decode, LengthLimitsTheSearch) {
  std::array<char, kCommandBufferSize> out{};
  EXPECT_FALSE(decode("ab%23APC", out.data(), 2));
  EXPECT_STREQ(out.data(), "");
  EXPECT_TRUE(decode("%23APCxyz", out.data(), 6));
  EXPECT_STREQ(out.data(), "APC");
}

TEST(Decode, RefusesQueriesWithoutEscape) {
  for (const char *query : {"cmd=PTS5050", ""}) {
    std::array<char, kCommandBufferSize> out{};
    EXPECT_FALSE(decode(query, out.data(), static_cast<int>(std::strlen(query)))) << query;
    EXPECT_STREQ(out.data(), "") << query;
  }
}

TEST(Decode, RefusesCommandsLongerThanTwelve) {
  std::array<char, kCommandBufferSize> out{};
  const char query[] = "%231234567890123&";
  EXPECT_FALSE(decode(query, out.data(), static_cast<int>(std::strlen(query))));
  EXPECT_STREQ(out.data(), "");
}

TEST(JudgeHead, ClassifiesByCaseSensitiveHead) {
  struct {
    const char *command;
    int kind;
  } const cases[] = {
      {"APC", kKindPositionQuery},
      {"APC80008000", kKindAbsolutePosition},
      {"APCx", kKindAbsolutePosition},
      {"GZ", kKindZoomQuery},
      {"GZ123", kKindZoomQuery},
      {"PTS5050", kKindPanTiltSpeed},
      {"PTS", kKindPanTiltSpeed},
      {"AXZ555", kKindAbsoluteZoom},
      {"Z75", kKindZoomSpeed},
      {"Zoom", kKindZoomSpeed},
      {"Z", kKindZoomSpeed},
      {"pts5050", kKindNone},
      {"AP", kKindNone},
      {"G", kKindNone},
      {"", kKindNone},
      {"ZGZ", kKindZoomSpeed},
  };
  for (const auto &c : cases) EXPECT_EQ(judge_head(c.command), c.kind) << c.command;
}

TEST(InsertChar, InsertsBeforeIndexOrNotAtAll) {
  char dst[32];
  EXPECT_EQ(insert_char("z75", dst, 'S', 1), 3);
  EXPECT_STREQ(dst, "zS75");
  EXPECT_EQ(insert_char("abc", dst, 'S', 0), 3);
  EXPECT_STREQ(dst, "Sabc");
  EXPECT_EQ(insert_char("z", dst, 'S', 1), 1);
  EXPECT_STREQ(dst, "z");
  EXPECT_EQ(insert_char("", dst, 'S', 1), 0);
  EXPECT_STREQ(dst, "");
}

TEST(LowerCase, ChangesOnlyTheLeadingCharacters) {
  char a[] = "PTS5050";
  EXPECT_EQ(ABC_to_aBC(a), a);
  EXPECT_STREQ(a, "pTS5050");
  char b[] = "AXZABC";
  ABC_to_abc(b, 3);
  EXPECT_STREQ(b, "axzABC");
  char c[] = "1X";
  ABC_to_aBC(c);
  EXPECT_STREQ(c, "1X");
  char d[] = "\xC9Z";
  ABC_to_aBC(d);
  EXPECT_STREQ(d, "\xC9Z");
}

TEST(Response, PrintsHeadersThenBody) {
  output_capture out;
  response("pTS5050", 7);
  EXPECT_EQ(out.text(), "Status:200\r\nContent-type:Text/plain\r\nContent-length:7\r\n\r\npTS5050");
}

std::string served(const char *command) {
  std::array<char, kCommandBufferSize> buf{};
  std::strcpy(buf.data(), command);
  output_capture out;
  input_command_judge(buf.data());
  return out.text();
}

TEST(InputCommandJudge, AnswersQueriesWithoutTheCamera) {
  const std::string head = "Status:200\r\nContent-type:Text/plain\r\nContent-length:";
  struct {
    const char *command;
    std::string output;
  } const cases[] = {
      {"APC", head + "12\r\n\r\naPC800080000"},
      {"GZ", head + "5\r\n\r\nGZ555"},
      {"GZ123", head + "8\r\n\r\nGZ123555"},
      {"GZ3456789012", head + "15\r\n\r\nGZ3456789012555"},
      {"AXZ555", head + "6\r\n\r\naxz555"},
      {"pts5050", ""},
      {"", ""},
  };
  for (const auto &c : cases) EXPECT_EQ(served(c.command), c.output) << c.command;
}

}  // namespace
