// SPDX-License-Identifier: GPL-2.0
#include "head.h"

#include <gtest/gtest.h>

namespace visca {
namespace {

constexpr micros kSecond = 1000000;

pan_tilt_drive drive(int pan_speed, int tilt_speed, pan_direction p, tilt_direction t) {
  return {pan_speed, tilt_speed, p, t};
}

TEST(Head, PanAndTiltMoveAtTheirSpeedsUntilStopped) {
  head_model head(0);
  head.apply(drive(0x17, 0x10, pan_direction::right, tilt_direction::stop), 0);
  head_state s = head.state(kSecond / 10);
  EXPECT_EQ(s.pan, 230);  // 0x17 * 100 units/s for 0.1 s
  EXPECT_EQ(s.tilt, 0);
  EXPECT_TRUE(s.pan_moving);
  EXPECT_FALSE(s.tilt_moving);

  // The stop carries speeds; they do not move anything.
  head.apply(drive(0x17, 0x10, pan_direction::stop, tilt_direction::stop), kSecond / 5);
  s = head.state(kSecond);
  EXPECT_EQ(s.pan, 460);
  EXPECT_FALSE(s.pan_moving);

  head.apply(drive(0x09, 0x07, pan_direction::left, tilt_direction::down), kSecond);
  s = head.state(kSecond + kSecond / 2);
  EXPECT_EQ(s.pan, 460 - 450);
  EXPECT_EQ(s.tilt, -350);
  EXPECT_TRUE(s.pan_moving && s.tilt_moving);
}

TEST(Head, AxesStopAtTheirLimits) {
  struct {
    pan_tilt_drive d;
    int pan;
    int tilt;
  } const cases[] = {
      {drive(0x18, 0x17, pan_direction::right, tilt_direction::up), kPanMax, kTiltMax},
      {drive(0x18, 0x17, pan_direction::left, tilt_direction::down), kPanMin, kTiltMin},
  };
  for (const auto &c : cases) {
    head_model head(0);
    head.apply(c.d, 0);
    const head_state s = head.state(10 * kSecond);
    EXPECT_EQ(s.pan, c.pan);
    EXPECT_EQ(s.tilt, c.tilt);
    EXPECT_FALSE(s.pan_moving);
    EXPECT_FALSE(s.tilt_moving);
  }
}

TEST(Head, SpeedsOutsideTheRangeAreClamped) {
  head_model head(0);
  head.apply(drive(0x00, 0x99, pan_direction::right, tilt_direction::up), 0);
  const head_state s = head.state(kSecond / 10);
  EXPECT_EQ(s.pan, 10);                   // speed 1
  EXPECT_EQ(s.tilt, kTiltSpeedMax * 10);  // speed 0x17
}

TEST(Head, HomeReturnsBothAxesToZeroAndStops) {
  head_model head(0);
  head.apply(drive(0x10, 0x05, pan_direction::left, tilt_direction::up), 0);
  head.apply(pan_tilt_home{}, kSecond);  // pan -1600, tilt +500
  head_state s = head.state(kSecond + kSecond / 2);
  EXPECT_EQ(s.pan, -1600 + 1200);  // at 0x18 * 100 units/s
  EXPECT_EQ(s.tilt, 0);            // got there after 500 / 2300 s
  EXPECT_TRUE(s.pan_moving);
  EXPECT_FALSE(s.tilt_moving);
  s = head.state(3 * kSecond);
  EXPECT_EQ(s.pan, 0);
  EXPECT_FALSE(s.pan_moving);

  head.apply(pan_tilt_home{}, 4 * kSecond);  // already there
  EXPECT_FALSE(head.state(4 * kSecond).pan_moving);
}

TEST(Head, ZoomMovesBetweenWideAndTele) {
  head_model head(0);
  head.apply(zoom_drive{zoom_direction::tele, 4}, 0);
  EXPECT_EQ(head.state(kSecond).zoom, 5 * 512);
  head.apply(zoom_drive{zoom_direction::stop, 0}, kSecond);
  EXPECT_EQ(head.state(2 * kSecond).zoom, 5 * 512);

  head.apply(zoom_drive{zoom_direction::tele, 8}, 2 * kSecond);  // taken as 7
  EXPECT_EQ(head.state(2 * kSecond + kSecond / 4).zoom, 5 * 512 + 1024);
  EXPECT_EQ(head.state(20 * kSecond).zoom, kZoomMax);
  EXPECT_FALSE(head.state(20 * kSecond).zoom_moving);

  head.apply(zoom_drive{zoom_direction::wide, -1}, 20 * kSecond);  // standard
  EXPECT_EQ(head.state(21 * kSecond).zoom, kZoomMax - 4 * 512);
  EXPECT_EQ(head.state(60 * kSecond).zoom, kZoomMin);
}

TEST(Head, Describe) {
  EXPECT_EQ(describe(head_state{12, -4, 0, true, false, false}),
            "pan +12 tilt -4 zoom 0 (moving: pan)");
  EXPECT_EQ(describe(head_state{0, 0, 300, false, true, true}),
            "pan 0 tilt 0 zoom 300 (moving: tilt, zoom)");
}

}  // namespace
}  // namespace visca
