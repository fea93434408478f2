// SPDX-License-Identifier: GPL-2.0
// gpio_i2c's bus primitives on their own: waits, line states, bits, and
// what happens when the GPIO calls fail.
#include <functional>

#include "gpio_i2c_fixture.h"
#include "gpio_i2c_shim.h"

namespace gpio_i2c_test {
namespace {

using Bus = GpioI2cBench;

constexpr uint64_t kUs = 1000;

// Interrupts-off time between two instants, from the recorded changes.
uint64_t irq_off_ns(uint64_t from, uint64_t to) {
  uint64_t off = 0, since = 0;
  bool enabled = true;
  for (const auto& e : kb::irq_events()) {
    if (e.time_ns < from) continue;
    if (!e.enabled)
      since = e.time_ns;
    else if (!enabled)
      off += e.time_ns - since;
    enabled = e.enabled;
  }
  if (!enabled) off += to - since;
  return off;
}

struct LineState {
  int scl;  // SCL is always a driven output
  bool sda_output;
  int sda;  // level when driven
};

void expect_lines(const LineState& want) {
  EXPECT_TRUE(kb::gpio::line(kScl).output);
  EXPECT_EQ(kb::gpio::line(kScl).out_level, want.scl);
  EXPECT_EQ(kb::gpio::line(kSda).output, want.sda_output);
  if (want.sda_output) {
    EXPECT_EQ(kb::gpio::line(kSda).out_level, want.sda);
  }
}

TEST_F(Bus, EachPrimitiveWaitsExactlyItsTimeAndLeavesTheLinesAsDocumented) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    std::function<void()> run;
    uint64_t waits_us;
    uint64_t irq_off_us;
    LineState after;
  };
  const Case cases[] = {
      {"start", [] {}, [] { shim_i2c_start(); }, 6, 0, {1, true, 0}},
      {"stop", [] {}, [] { shim_i2c_stop(); }, 12, 0, {1, true, 1}},
      {"send byte", [] {}, [] { shim_i2c_send_byte(0xA5); }, 82, 82, {0, true, 1}},
      {"send byte, bit 0 low", [] {}, [] { shim_i2c_send_byte(0xA4); }, 82, 82, {0, true, 0}},
      {"acknowledged at once",
       [] { kb::gpio::drive(kSda, 0); },
       [] { EXPECT_EQ(shim_i2c_wait_ack(), 0); },
       12,
       0,
       {0, false, 0}},
      {"never acknowledged",
       [] {},
       [] { EXPECT_EQ(shim_i2c_wait_ack(), 1); },
       20,
       0,
       {0, false, 0}},
      {"read byte", [] {}, [] { shim_i2c_read_byte(); }, 66, 64, {0, false, 0}},
      {"no-acknowledge", [] {}, [] { shim_i2c_send_nack(); }, 14, 0, {0, true, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    load();
    c.setup();
    uint64_t t0 = kb::now_ns();
    size_t first_delay = kb::delays().size();
    c.run();
    EXPECT_EQ(kb::now_ns() - t0, c.waits_us * kUs);
    EXPECT_EQ(irq_off_ns(t0, kb::now_ns()), c.irq_off_us * kUs);
    // Every wait is a busy-wait of whole 2 us units.
    for (size_t i = first_delay; i < kb::delays().size(); ++i) {
      EXPECT_EQ(kb::delays()[i].fn, "udelay");
      EXPECT_EQ(kb::delays()[i].ns % (2 * kUs), 0u);
    }
    expect_lines(c.after);
    EXPECT_TRUE(kb::irqs_enabled());
    kb::unload(kModule);
  }
}

TEST_F(Bus, OnlyTheLowEightBitsGoOnTheWireMostSignificantFirst) {
  load();
  const std::vector<int> d0 = {1, 1, 0, 1, 0, 0, 0, 0};
  for (int value : {0xD0, 0x1D0, -0x30}) {
    SCOPED_TRACE(value);
    kb::models::Waveform w({{kScl, "scl"}, {kSda, "sda"}});
    shim_i2c_send_byte(value);
    EXPECT_EQ(bits_on_wire(w), d0);
  }
}

TEST_F(Bus, EachSentBitHoldsClockLowSixAndHighFourMicroseconds) {
  load();
  kb::models::Waveform w({{kScl, "scl"}, {kSda, "sda"}});
  uint64_t t0 = kb::now_ns();
  shim_i2c_send_byte(0x55);
  std::vector<uint64_t> scl_edges, sda_edges;
  for (const auto& c : w.changes())
    (c.signal == 0 ? scl_edges : sda_edges).push_back(c.time_ns - t0);
  // From the idle bus SCL first falls at 2 us; then per bit SDA settles at
  // 4, SCL rises at 6 and falls at 10 (the next bit's own fall finds it low).
  ASSERT_EQ(scl_edges.size(), 17u);
  EXPECT_EQ(scl_edges[0], 2 * kUs);
  for (size_t bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(scl_edges[2 * bit + 1], (10 * bit + 6) * kUs);
    EXPECT_EQ(scl_edges[2 * bit + 2], (10 * bit + 10) * kUs);
  }
  // 0x55 alternates, so SDA changes for every bit, 2 us before SCL rises.
  ASSERT_EQ(sda_edges.size(), 8u);
  for (size_t bit = 0; bit < 8; ++bit) EXPECT_EQ(sda_edges[bit], (10 * bit + 4) * kUs);
}

TEST_F(Bus, ReadByteTakesWhatTheLineHolds) {
  struct Case {
    const char* name;
    std::optional<int> held;
    unsigned char expected;
  };
  const Case cases[] = {
      {"pulled up", std::nullopt, 0xFF}, {"held high", 1, 0xFF}, {"held low", 0, 0x00}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    load();
    shim_i2c_wait_ack();  // releases SDA, as before every read
    kb::gpio::drive(kSda, c.held);
    EXPECT_EQ(shim_i2c_read_byte(), c.expected);
    EXPECT_EQ(kb::gpio::samples(kSda), 7u + 8u);
    kb::gpio::drive(kSda, std::nullopt);
    kb::unload(kModule);
  }
}

TEST_F(Bus, AcknowledgePollingSamplesUpToSevenTimes) {
  struct Case {
    const char* name;
    unsigned ack_at;  // sample that sees SDA low, 0 for never
    int result;
    unsigned samples;
    uint64_t waits_us;
  };
  const Case cases[] = {
      {"first sample", 1, 0, 1, 12},
      {"fourth sample", 4, 0, 4, 18},
      {"seventh sample", 7, 0, 7, 24},
      {"never", 0, 1, 7, 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    load();
    unsigned seen = 0;
    kb::gpio::add_listener([&](unsigned gpio, kb::gpio::Source s) {
      if (gpio == kSda && s == kb::gpio::Source::Sample && ++seen == c.ack_at)
        kb::gpio::drive(kSda, 0);
    });
    uint64_t t0 = kb::now_ns();
    EXPECT_EQ(shim_i2c_wait_ack(), c.result);
    EXPECT_EQ(kb::gpio::samples(kSda), c.samples);
    EXPECT_EQ(kb::now_ns() - t0, c.waits_us * kUs);
    // SCL stays high while polling, with at most 12 us between first and last sample.
    expect_lines({0, false, 0});
    kb::gpio::drive(kSda, std::nullopt);
    kb::unload(kModule);
  }
}

TEST_F(Bus, FailedInputSwitchReadsAsOnesAndAsAcknowledge) {
  load();
  kb::gpio::fail_direction(kSda, -EIO, /*persistent=*/true);
  const kb::LogLine expected{kb::kLevelDefault, "[gpio_dev_in 58]gpio_direction_input fail!\n", 0};

  EXPECT_EQ(shim_gpio_dev_in(), -EIO);
  EXPECT_EQ(shim_i2c_wait_ack(), 0);  // the -5 is not 1
  EXPECT_EQ(shim_i2c_read_byte(), 0xFF);
  // One message per sample: one poll, eight bits; the ack's own switch is silent.
  ASSERT_EQ(kb::log().size(), 10u);
  for (const auto& line : kb::log()) {
    EXPECT_EQ(line.level, expected.level);
    EXPECT_EQ(line.text, expected.text);
  }
}

TEST_F(Bus, FailedOutputSwitchIsLoggedAndTheSequenceRunsOn) {
  load();
  EXPECT_EQ(shim_gpio_dev_out(kScl, 0), 0);
  kb::gpio::fail_direction(kScl, -EIO);
  EXPECT_EQ(shim_gpio_dev_out(kScl, 1), -EIO);
  ASSERT_EQ(kb::log().size(), 1u);
  EXPECT_EQ(kb::log()[0].level, 3);
  EXPECT_EQ(kb::log()[0].text, "[gpio_dev_out 75]gpio_direction_output fail!\n");

  // A start whose SCL rise fails still lowers SDA and takes its 6 us.
  kb::clear_log();
  kb::gpio::fail_direction(kScl, -EIO);
  uint64_t t0 = kb::now_ns();
  shim_i2c_start();
  EXPECT_EQ(kb::now_ns() - t0, 6 * kUs);
  EXPECT_EQ(kb::log().size(), 1u);
  EXPECT_EQ(kb::gpio::level(kScl), 0);
  EXPECT_EQ(kb::gpio::level(kSda), 0);
}

TEST_F(Bus, WaveformIsWrittenAsVcd) {
  load();
  shim_i2c_start();
  shim_i2c_send_byte(0xD0);
  std::string vcd = wave_->vcd();
  EXPECT_NE(vcd.find("$timescale 1 ns $end"), std::string::npos);
  EXPECT_NE(vcd.find("$var wire 1 ! scl $end"), std::string::npos);
  EXPECT_NE(vcd.find("$var wire 1 \" sda $end"), std::string::npos);
  // Start condition: SDA falls at 4 us while SCL stays high from the load.
  EXPECT_NE(vcd.find("#4000\n0\"\n"), std::string::npos);
  // The start, 17 clock edges and the four SDA changes of 1101 0000.
  EXPECT_EQ(wave_->changes().size(), 1u + 17u + 4u);
}

}  // namespace
}  // namespace gpio_i2c_test
