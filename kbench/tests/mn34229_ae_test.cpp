// SPDX-License-Identifier: GPL-2.0
// MN34229 driver: exposure, gain and frame rate, and the notification that
// writes them to the sensor.
#include <cmath>

#include "mn34229_test_util.h"

namespace mn34229_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Row = std::pair<uint16_t, uint16_t>;

std::vector<uint16_t> bytes(const reg_entry* e, size_t n) {
  std::vector<uint16_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back(e[i].data);
  return out;
}

class AeTest : public Mn34229Test {
 protected:
  // One pad, up, in the given mode.
  void mode(unsigned index, unsigned pad = 0) {
    ASSERT_EQ(h(pad).ops.set_video_res(&h(pad), index), 0);
  }
  std::vector<uint16_t> expo() { return bytes(priv().expo_regs, 3); }
  std::vector<uint16_t> gain() { return bytes(priv().gain_regs, 2); }
  std::vector<uint16_t> vts() { return bytes(priv().vts_regs, 2); }
  void notify(uint32_t status = 1) { ASSERT_EQ(h().ops.ae_status_notify(&h(), status), 0); }
};

struct ExposureCase {
  unsigned mode;
  uint32_t us;
  uint32_t lines;
  std::vector<uint16_t> expo;
  std::vector<uint16_t> vts;
  uint32_t reported_us;
};

std::ostream& operator<<(std::ostream& os, const ExposureCase& c) {
  return os << "mode " << c.mode << ", " << c.us << " us";
}

class ExposureTest : public AeTest, public ::testing::WithParamInterface<ExposureCase> {};

TEST_P(ExposureTest, MicrosecondsBecomeLinesAndStretchTheFrame) {
  const ExposureCase& c = GetParam();
  up(1);
  mode(c.mode);
  EXPECT_EQ(h().ops.set_ae_usecs(&h(), c.us), 0);
  EXPECT_EQ(priv().expo_lines, c.lines);
  EXPECT_EQ(expo(), c.expo);
  EXPECT_EQ(vts(), c.vts);
  EXPECT_EQ(priv().vts, 1125u) << "a long exposure stretches the frame, not vts";
  EXPECT_EQ(priv().ae_dirty, 1);
  uint32_t us = 0;
  EXPECT_EQ(h().ops.get_ae_usecs(&h(), &us), 0);
  EXPECT_EQ(us, c.reported_us);
  EXPECT_THAT(sensorfw::calls(), IsEmpty()) << "setters never touch the bus";
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExposureTest,
    ::testing::Values(ExposureCase{1, 0, 1, {0x00, 0x00, 0x01}, {0x04, 0x65}, 14},
                      ExposureCase{0, 0, 1, {0x00, 0x00, 0x01}, {0x04, 0x65}, 29},
                      ExposureCase{0, 10000, 337, {0x00, 0x01, 0x51}, {0x04, 0x65}, 9984},
                      ExposureCase{1, 40000, 2702, {0x00, 0x0A, 0x8E}, {0x0A, 0x90}, 39989},
                      ExposureCase{0, 333333, 11250, {0x00, 0x2B, 0xF2}, {0x2B, 0xF4}, 333326},
                      ExposureCase{1, 333333, 22522, {0x00, 0x57, 0xFA}, {0x57, 0xFC}, 333325},
                      // At the frame length the exposure still fits: 1123 + 2 = 1125.
                      ExposureCase{1, 16635, 1123, {0x00, 0x04, 0x63}, {0x04, 0x65}, 16620},
                      ExposureCase{1, 16650, 1125, {0x00, 0x04, 0x65}, {0x04, 0x67}, 16650},
                      // Beyond the limits the exposure is clamped to what the longest
                      // frame (16-bit register) holds, 65533 lines, and us * 1000 never
                      // wraps.
                      ExposureCase{0, 1941650, 65532, {0x00, 0xFF, 0xFC}, {0xFF, 0xFE}, 1941647},
                      ExposureCase{0, 1941710, 65533, {0x00, 0xFF, 0xFD}, {0xFF, 0xFF}, 1941677},
                      ExposureCase{1, 1000000, 65533, {0x00, 0xFF, 0xFD}, {0xFF, 0xFF}, 969888},
                      ExposureCase{1, 2000000, 65533, {0x00, 0xFF, 0xFD}, {0xFF, 0xFF}, 969888},
                      // The first exposure whose us * 1000 would wrap (to 704 ns, 1 line).
                      ExposureCase{1, 4294968, 65533, {0x00, 0xFF, 0xFD}, {0xFF, 0xFF}, 969888},
                      ExposureCase{0, 5000000, 65533, {0x00, 0xFF, 0xFD}, {0xFF, 0xFF}, 1941677},
                      ExposureCase{
                          1, 0xFFFFFFFF, 65533, {0x00, 0xFF, 0xFD}, {0xFF, 0xFF}, 969888}));

TEST_F(AeTest, ShorterExposureReturnsTheFrameToVts) {
  up(1);
  mode(1);
  h().ops.set_ae_usecs(&h(), 40000);
  EXPECT_EQ(vts(), (std::vector<uint16_t>{0x0A, 0x90}));
  h().ops.set_ae_usecs(&h(), 1000);
  EXPECT_EQ(vts(), (std::vector<uint16_t>{0x04, 0x65}));
}

TEST_F(AeTest, AnotherPadsModeLeavesThisPadsExposureAlone) {
  up(3);
  mode(0, 0);
  mode(1, 1);
  h(0).ops.set_ae_usecs(&h(0), 10000);
  uint32_t us = 0;
  h(0).ops.get_ae_usecs(&h(0), &us);
  EXPECT_EQ(us, 9984u);
}

// Gain per 0.375 dB step, written down from the sensor's gain curve.
constexpr uint32_t kGainCurve[81] = {
    1024,  1070,  1116,  1166,  1217,  1271,  1327,  1386,  1446,  1511,  1577,  1647,
    1719,  1796,  1874,  1958,  2043,  2135,  2227,  2327,  2428,  2537,  2647,  2766,
    2886,  3015,  3146,  3287,  3430,  3583,  3739,  3907,  4077,  4259,  4444,  4643,
    4845,  5062,  5282,  5518,  5758,  6016,  6278,  6558,  6844,  7150,  7461,  7795,
    8134,  8498,  8867,  9264,  9667,  10100, 10539, 11010, 11489, 12003, 12526, 13086,
    13655, 14266, 14887, 15552, 16229, 16955, 17693, 18484, 19289, 20151, 21028, 21968,
    22925, 23950, 24992, 26110, 27246, 28464, 29703, 31031, 32382};

TEST(Mn34229Data, GainCurveFollowsTheDecibelRule) {
  for (unsigned i = 0; i < 81; ++i) {
    const double exact = 1024.0 * std::pow(10.0, 0.375 * i / 20.0);
    if (i % 2 == 0) {
      EXPECT_EQ(kGainCurve[i], uint32_t(std::lround(exact))) << i;
    } else {
      EXPECT_TRUE(kGainCurve[i] >= exact && kGainCurve[i] <= exact + 18) << i;
    }
    if (i) {
      EXPECT_GT(kGainCurve[i], kGainCurve[i - 1]);
    }
  }
}

struct GainCase {
  uint32_t gain;
  uint32_t code;
  uint32_t stored;
  uint32_t applied;
};

std::ostream& operator<<(std::ostream& os, const GainCase& c) { return os << "gain " << c.gain; }

class GainTest : public AeTest, public ::testing::WithParamInterface<GainCase> {};

TEST_P(GainTest, GainBecomesTheCodeOfTheHighestStepNotAbove) {
  const GainCase& c = GetParam();
  up(1);
  EXPECT_EQ(h().ops.try_ae_gain(&h(), c.gain), c.applied);
  EXPECT_EQ(priv().ae_dirty, 0) << "trying changes nothing";
  EXPECT_EQ(gain(), (std::vector<uint16_t>{0x00, 0x01}));

  EXPECT_EQ(h().ops.set_ae_gain(&h(), c.gain), 0);
  EXPECT_EQ(gain(), (std::vector<uint16_t>{uint16_t(c.code >> 8), uint16_t(c.code & 0xFF)}));
  uint32_t got = 0;
  EXPECT_EQ(h().ops.get_ae_gain(&h(), &got), 0);
  EXPECT_EQ(got, c.stored);
  EXPECT_EQ(priv().ae_dirty, 1);
  EXPECT_THAT(sensorfw::calls(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Examples, GainTest,
    ::testing::Values(GainCase{0, 0x100, 1024, 1024}, GainCase{1024, 0x100, 1024, 1024},
                      GainCase{1069, 0x100, 1069, 1024}, GainCase{1070, 0x104, 1070, 1070},
                      GainCase{8000, 0x1BC, 8000, 7795}, GainCase{32381, 0x23C, 32381, 31031},
                      GainCase{32382, 0x240, 32382, 32382}, GainCase{100000, 0x240, 32382, 32382},
                      GainCase{0xFFFFFFFF, 0x240, 32382, 32382}));

TEST_F(AeTest, EveryStepOfTheCurve) {
  up(1);
  for (unsigned step = 0; step < 81; ++step) {
    SCOPED_TRACE(step);
    const uint32_t code = 0x100 + 4 * step;
    EXPECT_EQ(h().ops.try_ae_gain(&h(), kGainCurve[step]), kGainCurve[step]);
    h().ops.set_ae_gain(&h(), kGainCurve[step]);
    EXPECT_EQ(gain(), (std::vector<uint16_t>{uint16_t(code >> 8), uint16_t(code & 0xFF)}));
    if (step) {
      EXPECT_EQ(h().ops.try_ae_gain(&h(), kGainCurve[step] - 1), kGainCurve[step - 1]);
      h().ops.set_ae_gain(&h(), kGainCurve[step] - 1);
      EXPECT_EQ(priv().gain_regs[1].data, (code - 4) & 0xFF);
    }
  }
}

struct FpsCase {
  unsigned mode;
  uint32_t fps;
  int result;
  uint32_t vts;       // after the call
  uint32_t reported;  // pCus_GetFPS afterwards
};

std::ostream& operator<<(std::ostream& os, const FpsCase& c) {
  return os << "mode " << c.mode << ", fps " << c.fps;
}

class FpsTest : public AeTest, public ::testing::WithParamInterface<FpsCase> {};

TEST_P(FpsTest, RateBecomesFrameLength) {
  const FpsCase& c = GetParam();
  up(1);
  mode(c.mode);
  const uint32_t fps_before = priv().fps;
  EXPECT_EQ(h().ops.set_fps(&h(), c.fps), c.result);
  EXPECT_EQ(priv().vts, c.vts);
  EXPECT_EQ(vts(), (std::vector<uint16_t>{uint16_t(c.vts >> 8), uint16_t(c.vts & 0xFF)}));
  EXPECT_EQ(priv().fps, c.result == 0 ? c.fps : fps_before);
  EXPECT_EQ(priv().ae_dirty, c.result == 0 ? 1 : 0);
  EXPECT_EQ(h().ops.get_fps(&h()), c.reported);
  EXPECT_THAT(sensorfw::calls(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Examples, FpsTest,
    ::testing::Values(FpsCase{1, 25, 0, 2700, 25}, FpsCase{1, 3, 0, 22500, 3},
                      FpsCase{1, 3000, 0, 22500, 3000}, FpsCase{1, 59940, 0, 1126, 59946},
                      FpsCase{1, 60, 0, 1125, 60}, FpsCase{1, 60000, 0, 1125, 60000},
                      FpsCase{0, 29970, 0, 1126, 29973}, FpsCase{0, 30, 0, 1125, 30},
                      FpsCase{0, 7, 0, 4821, 7},          // 4821.4: nearest line
                      FpsCase{0, 23976, 0, 1408, 23970},  // 1407.66: rounded up
                      FpsCase{1, 61, -1, 1125, 60}, FpsCase{1, 2999, -1, 1125, 60},
                      FpsCase{1, 2, -1, 1125, 60}, FpsCase{1, 0, -1, 1125, 60},
                      FpsCase{1, 60001, -1, 1125, 60}, FpsCase{0, 31, -1, 1125, 30},
                      FpsCase{0, 30001, -1, 1125, 30}));

TEST_F(AeTest, RateRightAfterInitialisationIsThirty) {
  up(1);
  EXPECT_EQ(h().ops.get_fps(&h()), 30u);
}

TEST_F(AeTest, RateReflectsTheStretchedFrame) {
  up(1);
  mode(1);
  h().ops.set_ae_usecs(&h(), 40000);
  EXPECT_EQ(h().ops.get_fps(&h()), 24u);  // 67500 / 2704
  EXPECT_EQ(h().ops.set_fps(&h(), 60), 0);
  EXPECT_EQ(vts(), (std::vector<uint16_t>{0x0A, 0x90})) << "the exposure still stretches it";
  EXPECT_EQ(h().ops.set_fps(&h(), 25), 0);  // vts 2700, still below 2702 + 2
  EXPECT_EQ(vts(), (std::vector<uint16_t>{0x0A, 0x90}));
  EXPECT_EQ(h().ops.get_fps(&h()), 24u);
  h().ops.set_ae_usecs(&h(), 1000);
  EXPECT_EQ(vts(), (std::vector<uint16_t>{0x0A, 0x8C}));
  EXPECT_EQ(h().ops.get_fps(&h()), 25u);
}

TEST_F(AeTest, RateNeverDividesByZero) {
  up(1);
  priv().vts_regs[0].data = 0;
  priv().vts_regs[1].data = 0;
  EXPECT_EQ(h().ops.get_fps(&h()), 0u);
}

TEST_F(AeTest, Limits) {
  up(1);
  mode(0);
  uint32_t min = 0, max = 0;
  EXPECT_EQ(h().ops.get_ae_min_max_usecs(&h(), &min, &max), 0);
  EXPECT_EQ(min, 1u);
  EXPECT_EQ(max, 333333u);
  EXPECT_EQ(h().ops.get_ae_min_max_gain(&h(), &min, &max), 0);
  EXPECT_EQ(min, 1024u);
  EXPECT_EQ(max, 32382u);
  shutter_info info{0xAB, 0, 0, 0};
  EXPECT_EQ(h().ops.get_shutter_info(&h(), &info), 0);
  EXPECT_EQ(info.size, 0xABu) << "the framework's word is left alone";
  EXPECT_EQ(info.max_shutter_ns, 333333333u);
  EXPECT_EQ(info.min_shutter_ns, kLine30);
  EXPECT_EQ(info.shutter_step_ns, kLine30);
}

using NotifyTest = AeTest;

std::vector<std::string> bus() {
  return sensorfw::call_texts({"write_table", "write_reg", "read_reg"});
}

TEST_F(NotifyTest, OnlyStatusOneWithSomethingPendingTouchesTheBus) {
  up(1);
  notify(1);
  EXPECT_THAT(sensorfw::calls(), IsEmpty()) << "nothing pending";
  h().ops.set_ae_gain(&h(), 8000);
  h().ops.set_orien(&h(), 2);
  for (uint32_t status : {0u, 2u, 3u, 0xFFFFFFFFu}) {
    notify(status);
    EXPECT_THAT(sensorfw::calls(), IsEmpty()) << status;
    EXPECT_EQ(priv().ae_dirty, 1);
    EXPECT_EQ(priv().orient_dirty, 1);
  }
}

TEST_F(NotifyTest, WritesExposureGainFrameLengthThenOrientation) {
  up(1);
  mode(1);
  sensorfw::preset(0, 0x0101, 0x01);
  h().ops.set_ae_usecs(&h(), 40000);
  h().ops.set_ae_gain(&h(), 8000);
  h().ops.set_orien(&h(), 2);
  notify();
  EXPECT_THAT(bus(), ElementsAre("write_table(0, 3)", "write_reg(0, 0x0220, 0x00) = 0",
                                 "write_reg(0, 0x0202, 0x0a) = 0", "write_reg(0, 0x0203, 0x8e) = 0",
                                 "write_table(0, 2)", "write_reg(0, 0x0204, 0x01) = 0",
                                 "write_reg(0, 0x0205, 0xbc) = 0", "write_table(0, 2)",
                                 "write_reg(0, 0x0340, 0x0a) = 0", "write_reg(0, 0x0341, 0x90) = 0",
                                 "read_reg(0, 0x0101) = 0", "write_reg(0, 0x0101, 0x03) = 0"));
  EXPECT_EQ(priv().ae_dirty, 0);
  EXPECT_EQ(priv().orient_dirty, 0);
  sensorfw::clear_calls();
  notify();
  EXPECT_THAT(sensorfw::calls(), IsEmpty()) << "everything was written";
}

TEST_F(NotifyTest, ExposureBeforeAnyGainWritesTheTemplateGain) {
  up(1);
  mode(0);
  h().ops.set_ae_usecs(&h(), 10000);
  notify();
  EXPECT_THAT(
      sensorfw::written(0),
      ElementsAre(Row{0x0220, 0x00}, Row{0x0202, 0x01}, Row{0x0203, 0x51}, Row{0x0204, 0x00},
                  Row{0x0205, 0x01}, Row{0x0340, 0x04}, Row{0x0341, 0x65}));
}

TEST_F(NotifyTest, OrientationAloneRewritesExposureAndOrientationOnly) {
  up(1);
  sensorfw::preset(0, 0x0101, 0x03);
  h().ops.set_orien(&h(), 0);
  notify();
  EXPECT_THAT(bus(), ElementsAre("write_table(0, 3)", "write_reg(0, 0x0220, 0x00) = 0",
                                 "write_reg(0, 0x0202, 0x04) = 0", "write_reg(0, 0x0203, 0x65) = 0",
                                 "read_reg(0, 0x0101) = 0", "write_reg(0, 0x0101, 0x01) = 0"));
}

TEST_F(NotifyTest, SettingsBetweenNotificationsMerge) {
  up(1);
  mode(0);
  h().ops.set_ae_usecs(&h(), 1000);
  h().ops.set_ae_gain(&h(), 2000);
  h().ops.set_fps(&h(), 15);
  h().ops.set_ae_usecs(&h(), 10000);
  h().ops.set_ae_gain(&h(), 8000);
  h().ops.set_fps(&h(), 25);  // vts 1350
  notify();
  EXPECT_THAT(
      sensorfw::written(0),
      ElementsAre(Row{0x0220, 0x00}, Row{0x0202, 0x01}, Row{0x0203, 0x51}, Row{0x0204, 0x01},
                  Row{0x0205, 0xBC}, Row{0x0340, 0x05}, Row{0x0341, 0x46}));
}

TEST_F(NotifyTest, BusErrorsAreIgnoredAndFlagsStillClear) {
  up(1);
  h().ops.set_ae_gain(&h(), 8000);
  sensorfw::fail_writes(0, 0x0204, 1);
  notify();
  EXPECT_EQ(priv().ae_dirty, 0);
  EXPECT_EQ(sensorfw::transfers(0).size(), 7u) << "every entry is still attempted";
}

// A setter that runs while a notification writes (another context of the
// framework) must reach the sensor at the next notification.
TEST_F(NotifyTest, SetterDuringTheWritesIsNotLost) {
  for (uint16_t during : {0x0220, 0x0204, 0x0340}) {
    SCOPED_TRACE(during);
    kb::reset();
    up(1);
    mode(0);
    h().ops.set_ae_usecs(&h(), 10000);
    bool fired = false;
    sensorfw::on_write_table([&](unsigned pad, uint16_t first_reg) {
      if (fired || first_reg != during) return;
      fired = true;
      h(pad).ops.set_ae_gain(&h(pad), 8000);
    });
    notify();
    ASSERT_TRUE(fired);
    EXPECT_EQ(priv().ae_dirty, 1) << "the racing change is still pending";
    sensorfw::clear_calls();
    notify();
    EXPECT_THAT(sensorfw::call_texts({"write_reg"}),
                ElementsAre("write_reg(0, 0x0220, 0x00) = 0", "write_reg(0, 0x0202, 0x01) = 0",
                            "write_reg(0, 0x0203, 0x51) = 0", "write_reg(0, 0x0204, 0x01) = 0",
                            "write_reg(0, 0x0205, 0xbc) = 0", "write_reg(0, 0x0340, 0x04) = 0",
                            "write_reg(0, 0x0341, 0x65) = 0"));
    EXPECT_EQ(sensorfw::reg(0, 0x0205), 0xBC);
    sensorfw::on_write_table(nullptr);
    kb::unload(kModule);
  }
}

TEST_F(NotifyTest, OrientationChangeDuringTheWritesIsNotLost) {
  up(1);
  h().ops.set_orien(&h(), 2);
  bool fired = false;
  sensorfw::on_write_table([&](unsigned pad, uint16_t) {
    if (fired) return;
    fired = true;
    h(pad).ops.set_orien(&h(pad), 0);
  });
  notify();
  EXPECT_EQ(sensorfw::reg(0, 0x0101), 0x02) << "the orientation the notification took";
  EXPECT_EQ(priv().orient_dirty, 1);
  sensorfw::on_write_table(nullptr);
  sensorfw::preset(0, 0x0101, 0x02);
  notify();
  EXPECT_EQ(priv().orient_dirty, 0);
  EXPECT_EQ(sensorfw::reg(0, 0x0101), 0x00);
}

// What the sensor holds: exposure lines, gain code, frame length.
struct Setting {
  uint32_t lines, gain_code, frame;
  bool operator==(const Setting& o) const {
    return lines == o.lines && gain_code == o.gain_code && frame == o.frame;
  }
};

std::ostream& operator<<(std::ostream& os, const Setting& s) {
  return os << std::hex << "lines 0x" << s.lines << ", gain 0x" << s.gain_code << ", frame 0x"
            << s.frame;
}

Setting sensor_setting() {
  auto r = [](uint16_t reg) { return uint32_t(sensorfw::reg(0, reg)); };
  return {r(0x0220) << 16 | r(0x0202) << 8 | r(0x0203), r(0x0204) << 8 | r(0x0205),
          r(0x0340) << 8 | r(0x0341)};
}

// Setters may run in any context, also while a notification has the
// templates on the bus. Each notification writes the whole setting it found
// when it began, never part of a newer one (0x04FF lines going to 0x0500
// must not reach the sensor as 0x0400 or 0x05FF), and the newer one follows
// at the next.
TEST_F(NotifyTest, SetterDuringATableWriteTearsNoValue) {
  const Setting before{0x04FF, 0x1BC, 0x0501}, after{0x0500, 0x200, 0x0502};
  for (uint16_t during : {0x0220, 0x0202, 0x0203, 0x0204, 0x0205, 0x0340, 0x0341}) {
    SCOPED_TRACE(during);
    kb::reset();
    up(1);
    mode(1);
    h().ops.set_ae_usecs(&h(), 18930);  // 1279 lines
    h().ops.set_ae_gain(&h(), 8000);
    bool fired = false;
    sensorfw::on_table_entry([&](unsigned pad, uint16_t reg) {
      if (fired || reg != during) return;
      fired = true;
      h(pad).ops.set_ae_usecs(&h(pad), 18944);  // 1280 lines
      h(pad).ops.set_ae_gain(&h(pad), 16229);
    });
    notify();
    ASSERT_TRUE(fired);
    EXPECT_EQ(sensor_setting(), before);
    notify();
    EXPECT_EQ(sensor_setting(), after);
    sensorfw::on_table_entry(nullptr);
    kb::unload(kModule);
  }
}

}  // namespace
}  // namespace mn34229_test
