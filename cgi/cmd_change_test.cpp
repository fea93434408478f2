// SPDX-License-Identifier: GPL-2.0
#include "cmd_change.h"

#include "process.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(IntToStr, PadsToWidthAndNeverCuts) {
  struct {
    int value, width;
    const char *text;
  } const cases[] = {
      {1710, 4, "1710"}, {110, 4, "0110"}, {0, 4, "0000"},      {7, 4, "0007"},
      {5, 1, "5"},       {0, 1, "0"},      {12345, 4, "12345"}, {2147483647, 4, "2147483647"},
  };
  for (const auto &c : cases) {
    char out[kIntTextSize];
    EXPECT_EQ(int_to_str(c.value, out, c.width), static_cast<int>(std::strlen(c.text)));
    EXPECT_STREQ(out, c.text);
  }
}

TEST(JudgeOrientation, RangesOfEveryClass) {
  struct {
    int v, cls;
  } const cases[] = {
      {9999, kClassUpRight},   {5151, kClassUpRight},   {9950, kClassRight},   {5150, kClassRight},
      {9901, kClassDownRight}, {5149, kClassDownRight}, {5001, kClassDown},    {5049, kClassDown},
      {4901, kClassDownLeft},  {101, kClassDownLeft},   {150, kClassLeft},     {4950, kClassLeft},
      {151, kClassUpLeft},     {4999, kClassUpLeft},    {5051, kClassUp},      {5099, kClassUp},
      {5050, kClassStop},      {51, kClassZoomTele},    {99, kClassZoomTele},  {1, kClassZoomWide},
      {49, kClassZoomWide},    {50, kClassZoomStop},    {0, kClassInvalid},    {-1, kClassInvalid},
      {10000, kClassInvalid},  {5100, kClassInvalid},   {5000, kClassInvalid}, {100, kClassInvalid},
      {9900, kClassInvalid},
  };
  for (const auto &c : cases) EXPECT_EQ(judge_orientation(c.v), c.cls) << c.v;
}

TEST(CtrlcmdToViscacmd, ZoomAndHomeCommands) {
  struct {
    const char *command;
    int selector;
    const char *visca;
  } const cases[] = {
      {"Z75", kSelectZoom, "8101040724"},
      {"Z99", kSelectZoom, "8101040728"},
      {"Z01", kSelectZoom, "8101040738"},
      {"Z50", kSelectZoom, "8101040700"},
      {"Z5", kSelectZoom, "8101040737"},
      {"Zoom", kSelectZoom, "00000000"},
      {"Z", kSelectZoom, "00000000"},
      {"Z-5", kSelectZoom, "00000000"},
      {"PTS0050", kSelectPanTilt, "8101040700"},
      {"PTS50", kSelectPanTilt, "8101040700"},
      {"PTS0075", kSelectPanTilt, "8101040724"},
      {"PTS5100", kSelectPanTilt, "00000000"},
      {"PTS%355050", kSelectPanTilt, "00000000"},
      {"PTS", kSelectPanTilt, "00000000"},
      {"APC80008000", kSelectHome, "81010604"},
      {"APCxyz", kSelectHome, "81010604"},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(ctrlcmd_to_viscacmd(c.command, c.selector), c.visca) << c.command;
  EXPECT_EQ(ctrlcmd_to_viscacmd("Z75", 2), nullptr);
}

TEST(ViscaPackCmd, JoinsPartsWithinItsBuffer) {
  EXPECT_STREQ(visca_pack_cmd("81010601", 110, nullptr, "0203", 1, 4), "8101060101100203");
  EXPECT_STREQ(visca_pack_cmd("81010601", 0, "", "0303", 0, 0), "810106010303");
  EXPECT_STREQ(visca_pack_cmd(nullptr, 0, "ab", nullptr, 0, 0), "ab");
  const std::string long_text(200, 'x');
  EXPECT_EQ(std::strlen(visca_pack_cmd("81", 0, long_text.c_str(), "00", 0, 0)), 49u);
}

// The speed memory through its seam: what is stored and loaded, and that
// every way out, the failures that end the request included, gives the lock
// back and closes the file.
class memory_fake final : public speed_memory_io {
 public:
  std::string stored;
  bool refuse_open = false;
  bool short_write = false;
  int held = 0;
  int open_files = 0;

  void lock() override { ++held; }
  int unlock() override {
    --held;
    return 0;
  }
  int open(const char *, int, unsigned) override {
    if (refuse_open) return -1;
    ++open_files;
    return 3;
  }
  long read(int, char *buffer, std::size_t size) override {
    const std::size_t n = std::min(size, stored.size());
    stored.copy(buffer, n);
    return static_cast<long>(n);
  }
  long write(int, const char *text, std::size_t length) override {
    if (short_write) return static_cast<long>(length) - 1;
    stored.assign(text, length);
    return static_cast<long>(length);
  }
  void trim(int, std::size_t) override {}  // write() replaces the whole string
  void close(int) override { --open_files; }
};

struct request_ended {
  int status;
};

[[noreturn]] void throw_end(int status) { throw request_ended{status}; }

class SpeedMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    set_speed_memory_io(&memory);
    set_process_ender(&throw_end);
  }
  void TearDown() override {
    set_process_ender(nullptr);
    set_speed_memory_io(nullptr);
    EXPECT_EQ(memory.held, 0);
    EXPECT_EQ(memory.open_files, 0);
  }
  // The exit status the store ended the request with, or -1.
  int store(int value) {
    try {
      VV_WW_from_or_to_file(value, 1, nullptr, 4);
    } catch (const request_ended &e) {
      return e.status;
    }
    return -1;
  }
  memory_fake memory;
};

TEST_F(SpeedMemory, StoresFourDigitsAndLoadsThemBack) {
  EXPECT_EQ(store(110), -1);
  EXPECT_EQ(memory.stored, "0110");
  char loaded[kIntTextSize] = {};
  EXPECT_EQ(VV_WW_from_or_to_file(0, 0, loaded, 4), 0);
  EXPECT_STREQ(loaded, "0110");
}

TEST_F(SpeedMemory, FailedStoresEndTheRequestWithTheLockGivenBack) {
  memory.refuse_open = true;
  EXPECT_EQ(store(1710), 1);
  memory.refuse_open = false;
  memory.short_write = true;
  EXPECT_EQ(store(1710), 1);
  EXPECT_EQ(memory.stored, "");
}

TEST_F(SpeedMemory, StopWithoutStoredSpeedsGoesOutAtTheLowest) {
  memory.refuse_open = true;
  EXPECT_STREQ(ctrlcmd_to_viscacmd("PTS5050", kSelectPanTilt), "8101060101010303");
}

}  // namespace
