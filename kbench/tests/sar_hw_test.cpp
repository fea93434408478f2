// SPDX-License-Identifier: GPL-2.0
// The converter layer: register addressing, masked writes, initialisation,
// conversions and their serialisation.
#include <algorithm>
#include <climits>
#include <map>

#include "sar_fixture.h"

namespace sar_test {
namespace {

using kb::SarConverter;

// Plain 32-bit bus words, so the upper half a register does not have can
// be made visible.
struct BusWords : kb::mmio::Device {
  std::map<uint32_t, uint32_t> words;
  uint32_t read(uint32_t offset, unsigned) override { return words[offset]; }
  void write(uint32_t offset, uint32_t value, unsigned) override { words[offset] = value; }
};

class SarRegisterTest : public SarTest {
 protected:
  static constexpr uint64_t kWordsBase = 0x20000000;
  void SetUp() override {
    SarTest::SetUp();
    kb::mmio::attach(kWordsBase, 0x1000, &bus);
    kb::platform::DeviceDesc desc = board_spec();
    desc.mem = {{kWordsBase, 0x1000}};
    bind_ok(desc);
  }
  BusWords bus;
};

TEST_F(SarRegisterTest, AddressesReachTheLowHalfOfTheirBusWord) {
  const struct {
    uint32_t addr;
    uint32_t bus;
  } cases[] = {
      {0x00, 0x000},  {0x01, 0x000},  {0x02, 0x004},  {0x22, 0x044},  {0x23, 0x044}, {0x80, 0x100},
      {0x82, 0x104},  {0x84, 0x108},  {0x86, 0x10c},  {0x87, 0x10c},  {0xfe, 0x1fc}, {0xff, 0x1fc},
      {0x100, 0x200}, {0x101, 0x200}, {0x17e, 0x2fc}, {0x7fe, 0xffc},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "register " << std::hex << c.addr);
    kb::mmio::clear();
    EXPECT_EQ(HAL_SAR_Write2Byte(c.addr, 0xbeef), 1);
    bus.words[c.bus] |= 0xa5a50000;  // noise in the half the register lacks
    EXPECT_EQ(HAL_SAR_Read2Byte(c.addr), 0xbeef);

    const auto& acc = kb::mmio::accesses();
    ASSERT_EQ(acc.size(), 2u);
    EXPECT_TRUE(acc[0].write);
    EXPECT_EQ(acc[0].value, 0xbeefu);  // zero-extended store
    EXPECT_FALSE(acc[1].write);
    for (const auto& a : acc) {
      EXPECT_EQ(a.offset, c.bus);
      EXPECT_EQ(a.width, 32u);
      EXPECT_TRUE(a.relaxed);
    }
  }
}

TEST_F(SarRegisterTest, MaskedWriteIsOneReadAndOneWholeWrite) {
  const struct {
    uint16_t old, value, mask, result;
  } cases[] = {
      {0x0a20, 0x4000, 0x4000, 0x4a20}, {0x0a20, 0x0000, 0x4000, 0x0a20},
      {0x4a20, 0x0000, 0x4000, 0x0a20}, {0xffff, 0x0000, 0x00f0, 0xff0f},
      {0x0000, 0xffff, 0x0f00, 0x0f00}, {0x1234, 0xabcd, 0x0000, 0x1234},
      {0x0001, 0x0004, 0x0004, 0x0005}, {0x8001, 0x7ffe, 0xffff, 0x7ffe},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.old << " " << c.value << " " << c.mask);
    bus.words[0x044] = 0xffff0000u | c.old;
    kb::mmio::clear();
    EXPECT_EQ(HAL_SAR_Write2ByteMask(0x22, c.value, c.mask), 1);
    const auto& acc = kb::mmio::accesses();
    ASSERT_EQ(acc.size(), 2u);
    EXPECT_FALSE(acc[0].write);
    EXPECT_TRUE(acc[1].write);
    EXPECT_EQ(acc[1].offset, 0x044u);
    // Only the 16 register bits go back, the upper half as zero.
    EXPECT_EQ(acc[1].value, c.result);
  }
}

TEST_F(SarTest, InitWritesTheControlRegisterOnceUntilSuspend) {
  platform_device* pdev = bind_ok();
  qv_sar_hw_init();
  qv_sar_hw_init();
  // The control register read (for a running conversion), one whole write.
  ASSERT_EQ(kb::mmio::accesses().size(), 2u);
  EXPECT_EQ(kb::mmio::accesses()[1].offset, kCtrl);
  EXPECT_TRUE(kb::mmio::accesses()[1].write);
  EXPECT_EQ(kb::mmio::accesses()[1].value, 0x0a20u);

  // Suspend forgets it even before resume; resume itself writes nothing.
  // Initialised again while a conversion runs, the start bit stays.
  EXPECT_EQ(kb::platform::suspend(pdev), 0);
  EXPECT_EQ(kb::platform::resume(pdev), 0);
  EXPECT_EQ(kb::mmio::accesses().size(), 2u);
  adc.poke(kCtrl, kb::SarConverter::kStart);
  qv_sar_hw_init();
  qv_sar_hw_init();
  EXPECT_EQ(writes_at(kCtrl, 0x4a20), 1u);
  EXPECT_EQ(kb::mmio::accesses().size(), 4u);
}

TEST_F(SarTest, ConversionStartsWaitsSelectsAndReads) {
  bind_ok();
  qv_sar_hw_init();
  adc.set_busy_reads(2);
  adc.set_input(1, 0x0123);
  kb::mmio::clear();
  const size_t delays = kb::delays().size();
  const uint64_t t0 = kb::now_ns();

  EXPECT_EQ(qv_sar_get(1), 0x0123);

  const struct {
    bool write;
    uint32_t offset;
    uint32_t value;
  } expected[] = {
      {false, kCtrl, 0x0a20},
      {true, kCtrl, 0x4a20},  // start, other bits kept
      {false, kCtrl, 0x4a20},
      {false, kCtrl, 0x4a20},
      {false, kCtrl, 0x0a20},
      {false, kChan, 0x0000},
      {true, kChan, 0x0002},  // select channel 1
      {false, SarConverter::data(1), 0x0123},
  };
  const auto& acc = kb::mmio::accesses();
  ASSERT_EQ(acc.size(), std::size(expected));
  for (size_t i = 0; i < acc.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(acc[i].write, expected[i].write);
    EXPECT_EQ(acc[i].offset, expected[i].offset);
    EXPECT_EQ(acc[i].value, expected[i].value);
  }
  // One microsecond between polls, none after the last.
  ASSERT_EQ(kb::delays().size() - delays, 2u);
  EXPECT_EQ(kb::delays().back().fn, "udelay");
  EXPECT_EQ(kb::delays().back().ns, 1000u);
  EXPECT_EQ(kb::now_ns() - t0, 2000u);
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(SarTest, ConverterThatNeverFinishesIsPolledExactly100001Times) {
  bind_ok();
  adc.set_busy_reads(std::nullopt);
  adc.poke(SarConverter::data(0), 0x0bcd);
  const size_t delays = kb::delays().size();
  const uint64_t t0 = kb::now_ns();

  EXPECT_EQ(qv_sar_get(0), 0x0bcd);  // no error: the stale result is read

  const auto& acc = kb::mmio::accesses();
  size_t start = 0;
  while (start < acc.size() && !(acc[start].write && acc[start].offset == kCtrl)) ++start;
  ASSERT_LT(start, acc.size());
  size_t polls = 0;
  for (size_t i = start + 1; i < acc.size(); ++i) polls += !acc[i].write && acc[i].offset == kCtrl;
  EXPECT_EQ(polls, 100001u);
  ASSERT_EQ(kb::delays().size() - delays, 100000u);
  EXPECT_EQ(kb::now_ns() - t0, 100000u * 1000u);
  EXPECT_EQ(adc.peek(kChan), 0x1);
  EXPECT_TRUE(adc.busy());
  EXPECT_TRUE(kb::log().empty());

  // Later callers find it still busy and do not wait again.
  const uint64_t t1 = kb::now_ns();
  EXPECT_EQ(qv_sar_get(0), 0);
  EXPECT_EQ(kb::now_ns(), t1);
  EXPECT_EQ(kb::log_texts(), std::vector<std::string>{"converter busy\n"});
}

TEST_F(SarTest, ChannelOutsideZeroToThreeStillConvertsThenReturnsZero) {
  bind_ok();
  for (int channel : {4, 5, -1, -4, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(channel);
    kb::mmio::clear();
    kb::clear_log();
    const unsigned starts = adc.starts();
    EXPECT_EQ(qv_sar_get(channel), 0);
    EXPECT_EQ(adc.starts(), starts + 1);
    EXPECT_FALSE(adc.busy());  // waited for
    EXPECT_TRUE(at(kChan).empty());
    for (unsigned n = 0; n < SarConverter::kChannels; ++n)
      EXPECT_TRUE(at(SarConverter::data(n)).empty());
    ASSERT_EQ(kb::log().size(), 1u);
    EXPECT_EQ(kb::log()[0].level, 3);
    EXPECT_EQ(kb::log()[0].text, kErrChannel);
  }
}

TEST_F(SarTest, SelectBitsAccumulateAndReadingsStayUnsigned) {
  bind_ok();
  adc.set_input(0, 0x0000);
  adc.set_input(2, 0xffff);
  adc.set_input(3, 0x8000);
  EXPECT_EQ(qv_sar_get(0), 0);
  EXPECT_EQ(adc.peek(kChan), 0x1);
  EXPECT_EQ(qv_sar_get(2), 65535);
  EXPECT_EQ(adc.peek(kChan), 0x5);
  EXPECT_EQ(qv_sar_get(3), 32768);
  EXPECT_EQ(adc.peek(kChan), 0xd);
}

// A conversion for user space waits with interrupts on, no spinlock held,
// sleeping between polls; the exports' callers may be atomic and busy-wait
// with interrupts off.
TEST_F(SarTest, UserSpaceConversionSleepsExportsBusyWait) {
  bind_ok();
  adc.set_busy_reads(3);
  EXPECT_EQ(kb::sysfs::read(class_device(), "value").text, "0\n");
  ASSERT_FALSE(kb::mmio::accesses().empty());
  for (const auto& a : kb::mmio::accesses()) EXPECT_EQ(a.irqs_enabled, a.locks_held == 0);
  EXPECT_EQ(kb::delays().back().fn, "usleep_range");

  kb::mmio::clear();
  adc.set_busy_reads(3);
  qv_sar_get(2);
  for (const auto& a : kb::mmio::accesses()) EXPECT_FALSE(a.irqs_enabled);
  EXPECT_EQ(kb::delays().back().fn, "udelay");
  EXPECT_EQ(kb::locks_held(), 0);
  EXPECT_TRUE(kb::irqs_enabled());
}

// An exported call that comes while user space's conversion waits (from an
// interrupt, or another CPU) shares it: each reads its channel of it.
TEST_F(SarTest, ExportCallDuringUserSpaceConversionSharesIt) {
  bind_ok();
  adc.set_busy_reads(3);
  adc.set_input(1, 0x111);
  adc.set_input(2, 0x222);
  std::optional<int> nested;
  kb::mmio::on_access([&](const kb::mmio::Access& a) {
    if (!nested && !a.locks_held && adc.busy()) nested = qv_sar_get(2);
  });
  ASSERT_EQ(kb::sysfs::write(class_device(), "channel", "1"), 1);
  EXPECT_EQ(kb::sysfs::read(class_device(), "value").text, "273\n");
  EXPECT_EQ(nested, 0x222);
  EXPECT_EQ(adc.starts(), 1u);
  EXPECT_EQ(adc.peek(kChan), 0x6);
  EXPECT_TRUE(kb::log().empty());
}

TEST_F(SarTest, ExportsTouchNoRegistersWhileNoConverterIsBound) {
  ASSERT_EQ(kb::load("sar_adc"), 0);  // driver registered, no device yet
  qv_sar_hw_init();
  EXPECT_EQ(qv_sar_get(0), 0);

  platform_device* pdev = kb::platform::add(board_spec());
  ASSERT_EQ(kb::platform::probe_result(pdev), 0);
  kb::platform::unbind(pdev);
  EXPECT_EQ(qv_sar_get(1), 0);

  EXPECT_TRUE(kb::mmio::accesses().empty());
  EXPECT_EQ(kb::log_texts(),
            (std::vector<std::string>{"no converter bound\n", "no converter bound\n",
                                      "no converter bound\n"}));
}

}  // namespace
}  // namespace sar_test
