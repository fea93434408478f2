// SPDX-License-Identifier: GPL-2.0
// MN34229 driver: power sequences, initialisation tables, modes, orientation.
#include <set>

#include "mn34229_test_util.h"

namespace mn34229_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using Row = std::pair<uint16_t, uint16_t>;

// Calls as "<time in µs> <call>", to check order and timing at once.
std::vector<std::string> timed_calls() {
  std::vector<std::string> out;
  for (const auto& c : sensorfw::calls())
    out.push_back(std::to_string(c.time_ns / 1000) + " " + c.text);
  return out;
}

using PowerTest = Mn34229Test;

TEST_F(PowerTest, PowerOnStepsLinesClockAndReceiverWithItsDelays) {
  for (unsigned pad : {0u, 2u}) {
    SCOPED_TRACE(pad);
    kb::reset();
    up(1u << pad);
    const uint64_t t0 = kb::now_ns();
    ASSERT_EQ(t0, 0u);
    EXPECT_EQ(h(pad).ops.poweron(&h(pad), pad), 0);
    const std::string p = std::to_string(pad);
    EXPECT_THAT(
        timed_calls(),
        ElementsAre("0 set_pwdn(" + p + ", 1)", "0 set_reset(" + p + ", 1)",
                    "0 if_setup_1(" + p + ", 1, 4)", "0 if_setup_2(" + p + ", 4)",
                    "0 if_setup_3(" + p + ", 4, 1)", "0 if_setup_4(" + p + ", 0, 0x1c00, 0)",
                    "0 set_pwdn(" + p + ", 0)", "0 CamOsUsDelay(1)", "1 set_mclk(" + p + ", 1, 5)",
                    "1 CamOsUsDelay(100)", "101 set_reset(" + p + ", 0)", "101 CamOsUsDelay(100)",
                    "201 set_reset(" + p + ", 1)", "201 CamOsUsDelay(100)",
                    "301 set_reset(" + p + ", 0)"));
    EXPECT_EQ(kb::now_ns(), 301000u);
    EXPECT_EQ(priv(pad).pad_id, pad);
    EXPECT_TRUE(sensorfw::transfers(pad).empty()) << "power-on writes no register";
    EXPECT_EQ(sensorfw::lines(pad).pwdn, 0);
    EXPECT_EQ(sensorfw::lines(pad).reset, 0);
    EXPECT_EQ(sensorfw::lines(pad).mclk, 1);
    kb::unload(kModule);
  }
}

TEST_F(PowerTest, PowerOnStoresThePadItIsGiven) {
  up(1);
  h().ops.poweron(&h(), 3);
  EXPECT_EQ(priv().pad_id, 3u);
  EXPECT_EQ(sensorfw::call_texts({"set_mclk"}), std::vector<std::string>{"set_mclk(3, 1, 5)"});
}

struct LevelCase {
  uint32_t pwdn_level;
  uint32_t reset_level;
  int pwdn_neg;
  int reset_neg;
};

std::ostream& operator<<(std::ostream& os, const LevelCase& c) {
  return os << "pwdn_level " << c.pwdn_level << ", reset_level " << c.reset_level;
}

class PowerLevelTest : public Mn34229Test, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(PowerLevelTest, LinesGoToTheirLevelAndItsNegation) {
  const LevelCase& c = GetParam();
  up(1);
  h().pwdn_level = c.pwdn_level;
  h().reset_level = c.reset_level;
  h().ops.poweron(&h(), 0);
  const std::string pw = std::to_string(int(c.pwdn_level)), rs = std::to_string(int(c.reset_level));
  const std::string pwn = std::to_string(c.pwdn_neg), rsn = std::to_string(c.reset_neg);
  EXPECT_THAT(sensorfw::call_texts({"set_pwdn", "set_reset"}),
              ElementsAre("set_pwdn(0, " + pw + ")", "set_reset(0, " + rs + ")",
                          "set_pwdn(0, " + pwn + ")", "set_reset(0, " + rsn + ")",
                          "set_reset(0, " + rs + ")", "set_reset(0, " + rsn + ")"));
  sensorfw::clear_calls();
  h().ops.poweroff(&h(), 0);
  EXPECT_THAT(sensorfw::call_texts({"set_pwdn", "set_reset"}),
              ElementsAre("set_pwdn(0, " + pw + ")", "set_reset(0, " + rs + ")"));
}

INSTANTIATE_TEST_SUITE_P(Levels, PowerLevelTest,
                         ::testing::Values(LevelCase{1, 1, 0, 0}, LevelCase{0, 0, 1, 1},
                                           LevelCase{0, 1, 1, 0}, LevelCase{2, 0, 0, 1}));

TEST_F(PowerTest, PowerOffStopsEverythingAtOnceAndResetsOrientation) {
  up(1);
  h().ops.set_orien(&h(), 2);
  const uint64_t t = kb::now_ns();
  sensorfw::clear_calls();
  EXPECT_EQ(h().ops.poweroff(&h(), 0), 0);
  EXPECT_THAT(sensorfw::call_texts(), ElementsAre("set_pwdn(0, 1)", "set_reset(0, 1)",
                                                  "set_mclk(0, 0, 5)", "if_setup_2(0, -1)"));
  EXPECT_EQ(kb::now_ns(), t) << "power-off has no delays";
  EXPECT_EQ(h().orient, 0u);
  EXPECT_EQ(priv().orient_dirty, 1) << "the pending orientation survives power-off";
}

TEST_F(PowerTest, AuxInterfaceCallOnlyWhenFlagged) {
  up(1);
  h().if_aux_flag = 1;
  h().ops.poweron(&h(), 0);
  h().ops.poweroff(&h(), 0);
  EXPECT_THAT(sensorfw::call_texts({"if_setup_4", "if_aux", "set_pwdn", "if_setup_2"}),
              ElementsAre("set_pwdn(0, 1)", "if_setup_2(0, 4)", "if_setup_4(0, 0, 0x1c00, 0)",
                          "if_aux(0, 1, 1)", "set_pwdn(0, 0)", "set_pwdn(0, 1)",
                          "if_setup_2(0, -1)", "if_aux(0, 1, 0)"));
  sensorfw::clear_calls();
  h().if_aux_flag = 2;  // only 1 means "present"
  h().ops.poweron(&h(), 0);
  h().ops.poweroff(&h(), 0);
  EXPECT_THAT(sensorfw::call_texts({"if_aux"}), IsEmpty());
}

// The two tables as they must reach the sensor, from the data files.
std::vector<Row> rows_30() { return load_rows("mn34229_init_30fps.txt"); }
std::vector<Row> rows_60() {
  std::vector<Row> rows = rows_30();
  for (const RowChange& c : load_changes("mn34229_init_60fps_changes.txt"))
    rows.at(c.row).second = c.value_60;
  return rows;
}

TEST(Mn34229Data, ExpectedTablesAreConsistent) {
  const auto rows = rows_30();
  ASSERT_EQ(rows.size(), 155u);
  const auto changes = load_changes("mn34229_init_60fps_changes.txt");
  ASSERT_EQ(changes.size(), 16u);
  for (const RowChange& c : changes) {
    EXPECT_EQ(rows[c.row], Row(c.reg, c.value_30)) << "row " << c.row;
    EXPECT_NE(c.value_30, c.value_60);
  }
  // Rows that identify the tables.
  EXPECT_THAT(
      std::vector<Row>(rows.begin(), rows.begin() + 4),
      ElementsAre(Row{0x3022, 0x00}, Row{0x3023, 0x33}, Row{0x300E, 0x01}, Row{0x300F, 0x00}));
  EXPECT_THAT(
      std::vector<Row>(rows.begin() + 24, rows.begin() + 34),
      ElementsAre(Row{0x0202, 0x04}, Row{0x0203, 0x63}, Row{0x0204, 0x01}, Row{0x0205, 0xC0},
                  Row{0x3036, 0x00}, Row{0x3039, 0x2E}, Row{0x0340, 0x04}, Row{0x0341, 0x65},
                  Row{0x0342, 0x08}, Row{0x0343, 0x98}));
  EXPECT_THAT(std::vector<Row>(rows.begin() + 38, rows.begin() + 40),
              ElementsAre(Row{0x034E, 0x04}, Row{0x034F, 0x44}));
  EXPECT_THAT(
      std::vector<Row>(rows.begin() + 151, rows.end()),
      ElementsAre(Row{0x3000, 0x00}, Row{0x3001, 0xD3}, Row{0x0100, 0x01}, Row{0x0101, 0x00}));
  // Registers written more than once, at these rows only.
  const std::map<uint16_t, std::vector<unsigned>> repeated = {
      {0x3000, {8, 20, 151}}, {0x3001, {9, 21, 152}}, {0x300E, {2, 22}},
      {0x300F, {3, 23}},      {0x3036, {28, 42}},     {0x3039, {29, 43}}};
  std::map<uint16_t, std::vector<unsigned>> seen;
  for (unsigned i = 0; i < rows.size(); ++i) seen[rows[i].first].push_back(i);
  for (const auto& [reg, at] : seen)
    if (at.size() > 1) {
      EXPECT_EQ(repeated.count(reg), 1u) << std::hex << reg;
    }
  for (const auto& [reg, at] : repeated) EXPECT_EQ(seen[reg], at) << std::hex << reg;
}

struct TableCase {
  unsigned mode;
  const char* finished;
};

std::ostream& operator<<(std::ostream& os, const TableCase& c) { return os << "mode " << c.mode; }

class InitTableTest : public Mn34229Test, public ::testing::WithParamInterface<TableCase> {};

TEST_P(InitTableTest, WritesEveryRowInOrder) {
  const TableCase& c = GetParam();
  up(1);
  ASSERT_EQ(h().ops.set_video_res(&h(), c.mode), 0);
  EXPECT_EQ(h().ops.init(&h()), 0);
  const auto expected = c.mode == 0 ? rows_30() : rows_60();
  EXPECT_THAT(sensorfw::written(0), ElementsAreArray(expected));
  EXPECT_EQ(sensorfw::transfers(0).size(), 155u) << "no retries, no reads";
  EXPECT_THAT(kb::log_texts(), ElementsAre(c.finished));
  EXPECT_EQ(kb::log()[0].level, kb::kLevelDefault);
  EXPECT_EQ(kb::now_ns(), 0u) << "no delay markers in the shipped tables";
  // The register file ends with the last value of every register.
  EXPECT_EQ(sensorfw::reg(0, 0x3001), 0xD3);
  EXPECT_EQ(sensorfw::reg(0, 0x0101), 0x00);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, InitTableTest,
    ::testing::Values(TableCase{0, "Sensor MN34229 1080P30 Linear MODE Initial Finished\n"},
                      TableCase{1, "Sensor MN34229 1080P60 Linear MODE Initial Finished\n"}));

TEST_F(PowerTest, TablesDifferInExactlyTheSixteenRows) {
  up(3);
  h(0).ops.set_video_res(&h(0), 0);
  h(1).ops.set_video_res(&h(1), 1);
  ASSERT_EQ(h(0).ops.init(&h(0)), 0);
  ASSERT_EQ(h(1).ops.init(&h(1)), 0);
  const auto w30 = sensorfw::written(0), w60 = sensorfw::written(1);
  ASSERT_EQ(w30.size(), 155u);
  ASSERT_EQ(w60.size(), 155u);
  std::map<unsigned, RowChange> changes;
  for (const RowChange& c : load_changes("mn34229_init_60fps_changes.txt")) changes[c.row] = c;
  for (unsigned row = 0; row < 155; ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(w30[row].first, w60[row].first) << "same register in both tables";
    auto it = changes.find(row);
    if (it == changes.end()) {
      EXPECT_EQ(w30[row].second, w60[row].second);
    } else {
      EXPECT_EQ(w30[row], Row(it->second.reg, it->second.value_30));
      EXPECT_EQ(w60[row], Row(it->second.reg, it->second.value_60));
    }
  }
}

TEST_F(PowerTest, InitBeforeAnyModeSelectionWritesTheSixtyFpsTable) {
  up(1);
  EXPECT_EQ(h().cur_res, 0u);
  EXPECT_EQ(h().ops.init(&h()), 0);
  EXPECT_THAT(sensorfw::written(0), ElementsAreArray(rows_60()));
}

struct RetryCase {
  unsigned mode;
  uint16_t reg;  // register of the failing row (written once per table)
  unsigned row;
  unsigned failures;
  int result;
  const char* message;
};

std::ostream& operator<<(std::ostream& os, const RetryCase& c) {
  return os << "mode " << c.mode << ", row " << c.row << ", " << c.failures << " failures";
}

class InitRetryTest : public Mn34229Test, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(InitRetryTest, RetriesAFailingRowUpToTenCalls) {
  const RetryCase& c = GetParam();
  up(1);
  h().ops.set_video_res(&h(), c.mode);
  sensorfw::fail_writes(0, c.reg, c.failures);
  EXPECT_EQ(h().ops.init(&h()), c.result);

  const auto& t = sensorfw::transfers(0);
  const unsigned attempts = std::min(c.failures + 1, 10u);
  for (unsigned i = 0; i < attempts; ++i) {
    ASSERT_LT(c.row + i, t.size());
    EXPECT_EQ(t[c.row + i].reg, c.reg);
    EXPECT_EQ(t[c.row + i].ret, i < c.failures ? -5 : 0) << "attempt " << i;
  }
  EXPECT_EQ(kb::now_ns(), 0u) << "retries follow at once";
  if (c.result == 0) {
    EXPECT_EQ(t.size(), 155u + c.failures);
    EXPECT_THAT(sensorfw::written(0), ElementsAreArray(c.mode == 0 ? rows_30() : rows_60()));
    EXPECT_THAT(sensorfw::call_texts({"CamOsPrintf"}), IsEmpty());
  } else {
    EXPECT_EQ(t.size(), c.row + 10u) << "nothing is written after the failing row";
    EXPECT_THAT(sensorfw::call_texts({"CamOsPrintf"}),
                ElementsAre(std::string("CamOsPrintf(") + c.message + ")"));
    EXPECT_THAT(kb::log_texts(), ElementsAre(std::string(c.message) + "\n"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, InitRetryTest,
    ::testing::Values(
        RetryCase{0, 0x3022, 0, 9, 0, ""}, RetryCase{1, 0x3247, 123, 9, 0, ""},
        RetryCase{0, 0x3022, 0, 10, -1,
                  "[pCus_init_2m_30fps_mipi4lane_linear:716]Sensor init fail!!"},
        RetryCase{1, 0x0342, 32, 10, -1, "[pCus_init_mipi4lane_linear:669]Sensor init fail!!"},
        RetryCase{1, 0x0101, 154, 25, -1, "[pCus_init_mipi4lane_linear:669]Sensor init fail!!"}));

TEST_F(PowerTest, DelayMarkerSleepsInsteadOfWriting) {
  up(1);
  const reg_entry table[] = {{0x3022, 0x00}, {0xFFFF, 5}, {0x3023, 0x33}};
  EXPECT_EQ(mn34229_test_write_table(&h(), table, 3), 0);
  EXPECT_THAT(timed_calls(), ElementsAre("0 write_reg(0, 0x3022, 0x00) = 0", "0 CamOsMsSleep(5)",
                                         "5000 write_reg(0, 0x3023, 0x33) = 0"));
  ASSERT_EQ(kb::delays().size(), 1u);
  EXPECT_EQ(kb::delays()[0].fn, "msleep");
  EXPECT_EQ(kb::delays()[0].ns, 5000000u);
}

using ModeTest = Mn34229Test;

TEST_F(ModeTest, SelectingAModeSetsTableTimingAndRate) {
  up(1);
  struct {
    unsigned index;
    int (*init)(camsensor_handle*);
    uint32_t fps;
    uint32_t line;
  } const modes[] = {{0, &pCus_init_2m_30fps_mipi4lane_linear, 30, kLine30},
                     {1, &pCus_init_mipi4lane_linear, 60, kLine60},
                     {0, &pCus_init_2m_30fps_mipi4lane_linear, 30, kLine30}};
  for (const auto& m : modes) {
    SCOPED_TRACE(m.index);
    priv().vts = 2700;  // as after a frame-rate change
    EXPECT_EQ(h().ops.set_video_res(&h(), m.index), 0);
    EXPECT_EQ(h().cur_res, m.index);
    EXPECT_EQ(h().ops.init, m.init);
    EXPECT_EQ(priv().vts, 1125u);
    EXPECT_EQ(priv().fps, m.fps);
    EXPECT_EQ(priv().Preview_line_period, m.line);
  }
  EXPECT_THAT(sensorfw::calls(), IsEmpty()) << "mode selection writes no register";
  EXPECT_EQ(priv().ae_dirty, 0);
  EXPECT_EQ(priv().expo_lines, 673u);
}

TEST_F(ModeTest, OutOfRangeModeChangesNothing) {
  up(1);
  h().ops.set_video_res(&h(), 0);
  for (uint32_t index : {2u, 3u, 0xFFFFFFFFu}) {
    EXPECT_EQ(h().ops.set_video_res(&h(), index), -1);
    EXPECT_EQ(h().cur_res, 0u);
    EXPECT_EQ(h().ops.init, &pCus_init_2m_30fps_mipi4lane_linear);
    EXPECT_EQ(priv().fps, 30u);
    EXPECT_EQ(priv().Preview_line_period, kLine30);
  }
}

TEST_F(ModeTest, EachPadKeepsItsOwnLinePeriod) {
  up(3);
  h(0).ops.set_video_res(&h(0), 0);
  h(1).ops.set_video_res(&h(1), 1);
  shutter_info info{};
  h(0).ops.get_shutter_info(&h(0), &info);
  EXPECT_EQ(info.min_shutter_ns, kLine30);
  EXPECT_EQ(priv(1).Preview_line_period, kLine60);
  EXPECT_EQ(h(0).cur_res, 0u);
  EXPECT_EQ(priv(0).fps, 30u);
}

TEST_F(ModeTest, ModeQueries) {
  up(1);
  uint32_t count = 0;
  EXPECT_EQ(h().ops.get_video_res_num(&h(), &count), 0);
  EXPECT_EQ(count, 2u);

  res_entry* entry = nullptr;
  EXPECT_EQ(h().ops.get_video_res(&h(), 1, &entry), 0);
  EXPECT_EQ(entry, &h().res_table[1]);
  res_entry* untouched = reinterpret_cast<res_entry*>(0x1);
  entry = untouched;
  EXPECT_EQ(h().ops.get_video_res(&h(), 2, &entry), -1);
  EXPECT_EQ(entry, untouched);

  uint32_t index = 99;
  EXPECT_EQ(h().ops.get_cur_video_res(&h(), &index, &entry), 0);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(entry, &h().res_table[0]);
  h().cur_res = 5;
  entry = untouched;
  EXPECT_EQ(h().ops.get_cur_video_res(&h(), &index, &entry), -1);
  EXPECT_EQ(index, 5u);
  EXPECT_EQ(entry, untouched);

  EXPECT_EQ(h().ops.set_pattern_mode(&h(), 1), 0);
  uint32_t id = 0xABCD;
  EXPECT_EQ(h().ops.get_sensor_id(&h(), &id), 0);
  EXPECT_EQ(id, 0xABCDu);
  EXPECT_THAT(sensorfw::calls(), IsEmpty());
}

using OrientTest = Mn34229Test;

TEST_F(OrientTest, GetReportsBitOneOfTheRegister) {
  up(1);
  struct {
    uint8_t reg;
    bool read_fails;
    uint32_t reported;
  } const cases[] = {
      {0x03, false, 2}, {0x01, false, 0}, {0x02, false, 2}, {0xFD, false, 0}, {0x03, true, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.reg));
    sensorfw::preset(0, 0x0101, c.reg);
    if (c.read_fails) sensorfw::fail_reads(0, 0x0101, 1);
    uint32_t orient = 77;
    EXPECT_EQ(h().ops.get_orien(&h(), &orient), 0);
    EXPECT_EQ(orient, c.reported);
  }
}

TEST_F(OrientTest, SetWaitsForTheNextNotification) {
  struct {
    uint32_t requested;
    uint8_t before;
    bool read_fails;
    uint8_t after;
    uint32_t orient_after;
  } const cases[] = {
      {2, 0x01, false, 0x03, 2},
      {0, 0x03, false, 0x01, 0},
      {3, 0x03, false, 0x01, 0},
      {2, 0xFD, false, 0xFF, 2},
      // A failed read counts as 0: only the requested bit goes back.
      {2, 0x01, true, 0x02, 2},
      {0, 0x03, true, 0x00, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requested);
    kb::reset();
    up(1);
    sensorfw::preset(0, 0x0101, c.before);
    EXPECT_EQ(h().ops.set_orien(&h(), c.requested), 0);
    EXPECT_EQ(h().orient, c.requested);
    EXPECT_THAT(sensorfw::calls(), IsEmpty());
    if (c.read_fails) sensorfw::fail_reads(0, 0x0101, 1);
    EXPECT_EQ(h().ops.ae_status_notify(&h(), 1), 0);
    EXPECT_EQ(sensorfw::reg(0, 0x0101), c.after);
    EXPECT_EQ(h().orient, c.orient_after);
    EXPECT_EQ(priv().orient_dirty, 0);
    kb::unload(kModule);
  }
}

}  // namespace
}  // namespace mn34229_test
