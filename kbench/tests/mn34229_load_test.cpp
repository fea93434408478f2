// SPDX-License-Identifier: GPL-2.0
// MN34229 driver: module load and unload, parameters, and the sensor handle.
#include <cstring>
#include <regex>

#include "mn34229_test_util.h"

namespace mn34229_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using LoadTest = Mn34229Test;

TEST_F(LoadTest, DeclaresLicenceDescriptionAndParameters) {
  const kb::ModuleInfo* info = kb::module_info(kModule);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->tag("license"), "Proprietary");
  EXPECT_EQ(info->tag("description"), "Sensor_MN34229_MIPI");

  struct Expected {
    const char* name;
    const char* type;
    unsigned perm;
    const char* description;
  };
  const Expected expected[] = {
      {"sensor_module_version", "charp", 0444, ""},
      {"mclk", "charp", 0660, "Assign MCLK"},
      {"chmap", "int", 0660, "VIF channel mapping"},
      {"i2c_slave_id", "int", 0660, "sensor i2c slave id"},
      {"hdr_lane_num", "int", 0660, "sensor output lane number"},
      {"lane_num", "int", 0660, "sensor output lane number"},
  };
  ASSERT_EQ(info->params.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(info->params[i].name, expected[i].name);
    EXPECT_EQ(info->params[i].type, expected[i].type);
    EXPECT_EQ(info->params[i].perm, expected[i].perm);
    EXPECT_EQ(info->params[i].description, expected[i].description);
  }

  auto int_param = [&](size_t i) { return *static_cast<int*>(info->params[i].value); };
  auto text_param = [&](size_t i) {
    return std::string(*static_cast<char**>(info->params[i].value));
  };
  EXPECT_EQ(text_param(1), "use default parameter");
  EXPECT_EQ(int_param(2), 0);
  EXPECT_EQ(int_param(3), 0);
  EXPECT_EQ(int_param(4), 4);
  EXPECT_EQ(int_param(5), 2);
  // Opening marker, build id, tags, build time, the marker reversed.
  EXPECT_EQ(text_param(0), "QVStest[sensor_module][ build.202612081530]SVQ");
}

// A load that registers nothing says so, once.
TEST_F(LoadTest, ChmapWithoutPadsRegistersNothing) {
  for (const char* chmap : {"", "0x30"}) {
    SCOPED_TRACE(chmap);
    kb::reset();
    if (*chmap) {
      ASSERT_TRUE(kb::set_param(kModule, "chmap", chmap));
    }
    ASSERT_EQ(kb::load(kModule), 0);
    EXPECT_THAT(sensorfw::call_texts(),
                ElementsAre("DrvSensorHandleVer(2, 2) = 0", "DrvSensorIFVer(2, 1) = 0",
                            "DrvSensorI2CVer(1, 1) = 0"));
    EXPECT_THAT(kb::log_texts(),
                ElementsAre("MN34229: chmap selects no sensor pad, none registered\n"));
    for (const auto& line : kb::log()) EXPECT_EQ(line.level, 6);

    sensorfw::clear_calls();
    kb::unload(kModule);
    EXPECT_THAT(sensorfw::call_texts(), IsEmpty());
  }
}

struct PadCase {
  const char* chmap;
  const char* slave_id;
  std::vector<std::pair<unsigned, int>> pads;  // registered pad, slave id
};

std::ostream& operator<<(std::ostream& os, const PadCase& c) {
  return os << "chmap " << c.chmap << ", i2c_slave_id " << c.slave_id;
}

class RegistrationTest : public Mn34229Test, public ::testing::WithParamInterface<PadCase> {};

TEST_P(RegistrationTest, RegistersSelectedPadsInOrder) {
  const PadCase& c = GetParam();
  ASSERT_EQ(load(c.chmap, c.slave_id), 0);

  std::vector<std::string> calls = {"DrvSensorHandleVer(2, 2) = 0", "DrvSensorIFVer(2, 1) = 0",
                                    "DrvSensorI2CVer(1, 1) = 0"};
  std::vector<std::string> log;
  char text[96];
  for (auto [pad, id] : c.pads) {
    calls.push_back("CamOsMemAlloc(" + std::to_string(sizeof(mn34229_priv)) + ") = ok");
    calls.push_back("DrvRegisterSensorDriverEx(" + std::to_string(pad) + ") = 0");
    std::snprintf(text, sizeof(text), "DrvRegisterSensorI2CSlaveID(%u, 0x%02x) = 0", pad, id);
    calls.push_back(text);
    log.push_back("Connect MN34229_MIPI_init_driver linear to sensor pad " + std::to_string(pad) +
                  "\n");
  }
  EXPECT_THAT(sensorfw::call_texts(), ElementsAreArray(calls));
  EXPECT_THAT(kb::log_texts(), ElementsAreArray(log));
  for (const auto& line : kb::log()) EXPECT_EQ(line.level, 6) << "Connect lines are info";

  for (unsigned pad = 0; pad < sensorfw::kPads; ++pad) {
    const auto& reg = sensorfw::registration(pad);
    bool expected = false;
    for (auto [p, id] : c.pads) expected = expected || p == pad;
    EXPECT_EQ(reg.registered, expected) << "pad " << pad;
    if (expected) {
      EXPECT_NE(reg.private_data, nullptr);
      EXPECT_EQ(sensorfw::create_handle(pad), 0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Chmaps, RegistrationTest,
    ::testing::Values(PadCase{"5", "0", {{0, 0}, {2, 0}}},
                      PadCase{"0x35", "0", {{0, 0}, {2, 0}}},  // bits 4 and up ignored
                      PadCase{"3", "0x6C6C", {{0, 0x6C}, {1, 0x6C}}},
                      PadCase{"15", "0x44332211", {{0, 0x11}, {1, 0x22}, {2, 0x33}, {3, 0x44}}},
                      PadCase{"8", "0x12345678", {{3, 0x12}}},
                      PadCase{"-1", "-1", {{0, 0xFF}, {1, 0xFF}, {2, 0xFF}, {3, 0xFF}}}));

struct VersionCase {
  sensorfw::Interface refused;
  std::vector<std::string> calls;
};

std::ostream& operator<<(std::ostream& os, const VersionCase& c) {
  return os << "refused " << c.calls.back();
}

class VersionTest : public Mn34229Test, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTest, FailingCheckEndsLoadSilently) {
  sensorfw::refuse_version(GetParam().refused);
  EXPECT_EQ(load("15", "0x6C6C6C6C"), -ENODEV);
  EXPECT_THAT(sensorfw::call_texts(), ElementsAreArray(GetParam().calls));
  EXPECT_THAT(kb::log_texts(), IsEmpty());
  EXPECT_FALSE(kb::module_info(kModule)->loaded);
  EXPECT_EQ(kb::mem::live(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, VersionTest,
    ::testing::Values(VersionCase{sensorfw::Interface::Handle, {"DrvSensorHandleVer(2, 2) = -1"}},
                      VersionCase{sensorfw::Interface::SensorIf,
                                  {"DrvSensorHandleVer(2, 2) = 0", "DrvSensorIFVer(2, 1) = -1"}},
                      VersionCase{sensorfw::Interface::I2c,
                                  {"DrvSensorHandleVer(2, 2) = 0", "DrvSensorIFVer(2, 1) = 0",
                                   "DrvSensorI2CVer(1, 1) = -1"}}));

TEST_F(LoadTest, FailedAllocationSkipsOnlyThatPad) {
  kb::mem::fail_nth(2);  // the second private record
  ASSERT_EQ(load("7"), 0);
  EXPECT_TRUE(sensorfw::registration(0).registered);
  EXPECT_FALSE(sensorfw::registration(1).registered);
  EXPECT_TRUE(sensorfw::registration(2).registered);
  EXPECT_THAT(kb::log_texts(),
              ElementsAre("Connect MN34229_MIPI_init_driver linear to sensor pad 0\n",
                          "MN34229: no memory for sensor pad 1, pad skipped\n",
                          "Connect MN34229_MIPI_init_driver linear to sensor pad 2\n"));
  EXPECT_EQ(kb::log()[1].level, 3);

  sensorfw::clear_calls();
  kb::unload(kModule);
  EXPECT_THAT(sensorfw::call_texts({"DrvSensorRelease"}),
              ElementsAre("DrvSensorRelease(0) = 0", "DrvSensorRelease(2) = 0"));
}

TEST_F(LoadTest, UnloadReleasesWhatLoadRegisteredWhateverChmapHoldsNow) {
  for (const char* chmap_at_unload : {"5", "0", "2", "15"}) {
    SCOPED_TRACE(chmap_at_unload);
    kb::reset();
    ASSERT_EQ(load("5"), 0);
    ASSERT_TRUE(kb::set_param(kModule, "chmap", chmap_at_unload));
    sensorfw::clear_calls();
    kb::unload(kModule);
    EXPECT_THAT(sensorfw::call_texts(),
                ElementsAre("DrvSensorRelease(0) = 0", "CamOsMemRelease(ptr)",
                            "DrvSensorRelease(2) = 0", "CamOsMemRelease(ptr)"));
    for (unsigned pad = 0; pad < sensorfw::kPads; ++pad)
      EXPECT_FALSE(sensorfw::registration(pad).registered) << "pad " << pad;
    EXPECT_EQ(kb::mem::live(), 0u);
  }
}

TEST_F(LoadTest, RefusedPadIsFreedAtLoadAndNeverReleased) {
  sensorfw::refuse_registration(1);
  ASSERT_EQ(load("3"), 0);
  EXPECT_FALSE(sensorfw::registration(1).registered);
  EXPECT_THAT(kb::log_texts(),
              ElementsAre("Connect MN34229_MIPI_init_driver linear to sensor pad 0\n",
                          "MN34229: sensor pad 1 refused by the framework (-1), pad skipped\n"));
  EXPECT_EQ(kb::mem::live(), 1u);
  sensorfw::clear_calls();
  kb::unload(kModule);
  EXPECT_THAT(sensorfw::call_texts({"DrvSensorRelease", "CamOsMemRelease"}),
              ElementsAre("DrvSensorRelease(0) = 0", "CamOsMemRelease(ptr)"));
}

TEST_F(LoadTest, ReloadAfterUnloadRegistersAgain) {
  ASSERT_EQ(load("1"), 0);
  kb::unload(kModule);
  ASSERT_EQ(kb::load(kModule), 0);
  EXPECT_TRUE(sensorfw::registration(0).registered);
  EXPECT_EQ(sensorfw::create_handle(0), 0);
}

TEST_F(LoadTest, LaneAndClockParametersChangeNothing) {
  auto run = [this](bool odd_params) {
    kb::reset();
    if (odd_params) {
      EXPECT_TRUE(kb::set_param(kModule, "lane_num", "1"));
      EXPECT_TRUE(kb::set_param(kModule, "hdr_lane_num", "8"));
      EXPECT_TRUE(kb::set_param(kModule, "mclk", "27M"));
    }
    up(1);
    h().ops.poweron(&h(), 0);
    h().ops.init(&h());
    auto calls = sensorfw::call_texts();
    EXPECT_EQ(h().mipi_lane_count, 4u);
    EXPECT_EQ(h().mclk_id, 5u);
    kb::unload(kModule);
    return calls;
  };
  const auto plain = run(false);
  EXPECT_EQ(run(true), plain);
}

using HandleTest = Mn34229Test;

TEST_F(HandleTest, InitialisationFillsTheHandle) {
  ASSERT_EQ(load("1"), 0);
  kb::clear_log();
  ASSERT_EQ(sensorfw::create_handle(0), 0);
  const camsensor_handle& hd = h();

  EXPECT_STREQ(hd.model_name, "MN34229_MIPI");
  EXPECT_EQ(hd.i2c_cfg.i2c_mode, 1u);
  EXPECT_EQ(hd.i2c_cfg.i2c_fmt, 1u);
  EXPECT_EQ(hd.i2c_cfg.i2c_speed, 300000u);
  EXPECT_EQ(hd.i2c_cfg.i2c_addr, 0x6C);
  const uint32_t fixed[] = {hd.cfg_1, hd.cfg_2, hd.cfg_3,  hd.cfg_4,  hd.cfg_5,  hd.cfg_6, hd.cfg_7,
                            hd.cfg_8, hd.cfg_9, hd.cfg_10, hd.cfg_11, hd.cfg_12, hd.cfg_13};
  EXPECT_THAT(fixed, ElementsAre(1u, 2u, 1u, 1u, 1u, 0u, 3u, 4u, 1u, 0u, 0u, 0u, 1024u));
  EXPECT_EQ(hd.reset_level, 1u);
  EXPECT_EQ(hd.pwdn_level, 1u);
  EXPECT_EQ(hd.bayer_id, 1u);
  EXPECT_EQ(hd.if_mode, 1u);
  EXPECT_EQ(hd.orient, 0u);
  EXPECT_EQ(hd.res_count, 2u);
  EXPECT_EQ(hd.cur_res, 0u);
  EXPECT_EQ(hd.mipi_lane_count, 4u);
  EXPECT_EQ(hd.if_aux_flag, 0u);
  EXPECT_EQ(hd.mclk_id, 5u);
  // The framework's own fields are left as the framework set them.
  EXPECT_EQ(hd.pad, 0u);
  EXPECT_EQ(hd.framework_data, nullptr);

  for (unsigned i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const res_entry& r = hd.res_table[i];
    EXPECT_EQ(r.width, 1920u);
    EXPECT_EQ(r.height, 1080u);
    EXPECT_EQ(r.max_fps, i == 0 ? 30u : 60u);
    EXPECT_EQ(r.min_fps, 3u);
    EXPECT_EQ(r.offset_x, 0u);
    EXPECT_EQ(r.offset_y, 0u);
    EXPECT_EQ(r.output_width, 1956u);
    EXPECT_EQ(r.output_height, 1092u);
    EXPECT_STREQ(r.desc, i == 0 ? "1920x1080@30fps" : "1920x1080@60fps");
  }
  EXPECT_EQ(hd.res_table[2].width, 0u) << "entries past res_count stay untouched";

  const camsensor_ops& ops = hd.ops;
  EXPECT_EQ(ops.poweron, &pCus_poweron);
  EXPECT_EQ(ops.poweroff, &pCus_poweroff);
  EXPECT_EQ(ops.init, &pCus_init_mipi4lane_linear);
  EXPECT_EQ(ops.release, &cus_camsensor_release_handle);
  EXPECT_EQ(ops.set_pattern_mode, &MN34229_SetPatternMode);
  EXPECT_EQ(ops.get_sensor_id, &pCus_GetSensorID);
  EXPECT_EQ(ops.get_video_res, &pCus_GetVideoRes);
  EXPECT_EQ(ops.get_cur_video_res, &pCus_GetCurVideoRes);
  EXPECT_EQ(ops.set_video_res, &pCus_SetVideoRes);
  EXPECT_EQ(ops.get_orien, &pCus_GetOrien);
  EXPECT_EQ(ops.set_orien, &pCus_SetOrien);
  EXPECT_EQ(ops.ae_status_notify, &pCus_AEStatusNotify);
  EXPECT_EQ(ops.get_ae_usecs, &pCus_GetAEUSecs);
  EXPECT_EQ(ops.set_ae_usecs, &pCus_SetAEUSecs);
  EXPECT_EQ(ops.get_ae_gain, &pCus_GetAEGain);
  EXPECT_EQ(ops.set_ae_gain, &pCus_SetAEGain);
  EXPECT_EQ(ops.get_ae_min_max_usecs, &pCus_GetAEMinMaxUSecs);
  EXPECT_EQ(ops.get_ae_min_max_gain, &pCus_GetAEMinMaxGain);
  EXPECT_EQ(ops.get_fps, &pCus_GetFPS);
  EXPECT_EQ(ops.set_fps, &pCus_SetFPS);
  EXPECT_EQ(ops.get_shutter_info, &MN34229_GetShutterInfo);
  EXPECT_EQ(ops.get_video_res_num, &pCus_GetVideoResNum);
  EXPECT_EQ(ops.try_ae_gain, &pCus_TryAEGain);
  // Slots of the framework's that this sensor does not offer.
  EXPECT_EQ(ops.suspend, nullptr);
  EXPECT_EQ(ops.resume, nullptr);
  EXPECT_EQ(ops.get_sensor_temp, nullptr);
  EXPECT_EQ(ops.set_ae_gain_delay, nullptr);
  EXPECT_EQ(ops.custom_cmd, nullptr);

  const mn34229_priv& p = priv();
  EXPECT_EQ(p.vts, 1125u);
  EXPECT_EQ(p.fps, 60u);
  EXPECT_EQ(p.expo_lines, 673u);
  EXPECT_EQ(p.gain, 0u);
  EXPECT_EQ(p.ae_dirty, 0);
  EXPECT_EQ(p.orient_dirty, 0);
  auto entries = [](const reg_entry* e, size_t n) {
    std::vector<std::pair<uint16_t, uint16_t>> out;
    for (size_t i = 0; i < n; ++i) out.emplace_back(e[i].reg, e[i].data);
    return out;
  };
  using Row = std::pair<uint16_t, uint16_t>;
  EXPECT_THAT(entries(p.vts_regs, 2), ElementsAre(Row{0x0340, 0x04}, Row{0x0341, 0x65}));
  EXPECT_THAT(entries(p.gain_regs, 2), ElementsAre(Row{0x0204, 0x00}, Row{0x0205, 0x01}));
  EXPECT_THAT(entries(p.expo_regs, 3),
              ElementsAre(Row{0x0220, 0x00}, Row{0x0202, 0x04}, Row{0x0203, 0x65}));

  ASSERT_EQ(kb::log().size(), 1u);
  EXPECT_EQ(kb::log()[0].text, "sensor init bayer id = 1\n");
  EXPECT_EQ(kb::log()[0].level, kb::kLevelDefault);
  // Filling the handle touches no hardware.
  EXPECT_TRUE(sensorfw::transfers(0).empty());
}

TEST_F(HandleTest, InitialisationRefusesMissingHandleOrRecord) {
  ASSERT_EQ(load("1"), 0);
  camsensor_init_fn init = sensorfw::registration(0).init;
  kb::clear_log();
  sensorfw::clear_calls();

  EXPECT_EQ(init(nullptr), -1);
  EXPECT_THAT(kb::log_texts(), IsEmpty());
  EXPECT_THAT(sensorfw::call_texts(), IsEmpty());

  camsensor_handle bare{};
  std::memset(&bare, 0x5A, sizeof(bare));
  bare.private_data = nullptr;
  // Byte for byte, padding included: a byte copy, not an assignment.
  camsensor_handle before;
  std::memcpy(&before, &bare, sizeof(bare));
  EXPECT_EQ(init(&bare), -1);
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  EXPECT_EQ(std::memcmp(&bare, &before, sizeof(bare)), 0) << "handle changed";
  EXPECT_THAT(
      sensorfw::call_texts(),
      ElementsAre("CamOsPrintf([cus_camsensor_init_handle_linear] Private data is empty!)"));
}

TEST_F(HandleTest, ReleaseDoesNothing) {
  up(1);
  camsensor_handle before;
  std::memcpy(&before, &h(), sizeof(before));
  EXPECT_EQ(h().ops.release(&h()), 0);
  // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
  EXPECT_EQ(std::memcmp(&h(), &before, sizeof(before)), 0);
  EXPECT_THAT(sensorfw::call_texts(), IsEmpty());
}

}  // namespace
}  // namespace mn34229_test
