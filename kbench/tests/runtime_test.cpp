// SPDX-License-Identifier: GPL-2.0
// The bench's own behaviour, checked through a small sample module.
#include <gtest/gtest.h>

#include <linux/delay.h>
#include <linux/gpio.h>
#include <linux/miscdevice.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>

#include <cstring>

#include "kbench.h"

namespace {

constexpr unsigned kDouble = 1;
constexpr unsigned kSleepLocked = 2;

class Runtime : public ::testing::Test {
 protected:
  void SetUp() override { kb::reset(); }
  void TearDown() override {
    const kb::ModuleInfo* info = kb::module_info("kbench_sample");
    if (info && info->loaded) kb::unload("kbench_sample");
  }
};

std::vector<uint8_t> word(uint32_t v) {
  std::vector<uint8_t> out(4);
  std::memcpy(out.data(), &v, 4);
  return out;
}

TEST_F(Runtime, ModuleInfoAndParameters) {
  const kb::ModuleInfo* info = kb::module_info("kbench_sample");
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->tag("license"), "GPL");
  EXPECT_EQ(info->tag("description"), "bench sample");
  ASSERT_EQ(info->params.size(), 2u);
  EXPECT_EQ(info->params[0].description, "multiplier");

  EXPECT_FALSE(kb::set_param("kbench_sample", "sample_factor", "x"));
  EXPECT_FALSE(kb::set_param("kbench_sample", "nope", "1"));
  ASSERT_TRUE(kb::set_param("kbench_sample", "sample_factor", "3"));
  ASSERT_TRUE(kb::set_param("kbench_sample", "sample_label", "custom"));
  ASSERT_EQ(kb::load("kbench_sample"), 0);
  EXPECT_EQ(kb::log().back().text, "sample loaded, factor 3\n");
  EXPECT_EQ(kb::log().back().level, 6);
  EXPECT_EQ(kb::gpio::line(5).label, "custom");
  kb::unload("kbench_sample");
  EXPECT_EQ(kb::log().back().level, kb::kLevelDefault);

  // reset() restores the values the module was built with.
  kb::reset();
  ASSERT_EQ(kb::load("kbench_sample"), 0);
  EXPECT_EQ(kb::log().back().text, "sample loaded, factor 2\n");
  EXPECT_EQ(kb::gpio::line(5).label, "sample");
}

TEST_F(Runtime, LoadFailuresUnwind) {
  kb::fail_next_misc_register(-EBUSY);
  EXPECT_EQ(kb::load("kbench_sample"), -EBUSY);
  EXPECT_FALSE(kb::module_info("kbench_sample")->loaded);
  EXPECT_EQ(kb::mem::live(), 0u);
  EXPECT_EQ(kb::gpio::request_log(), (std::vector<std::string>{"+5", "-5"}));

  kb::mem::fail_nth(1);
  EXPECT_EQ(kb::load("kbench_sample"), -ENOMEM);

  ASSERT_EQ(gpio_request(5, "other"), 0);
  EXPECT_EQ(kb::load("kbench_sample"), -EBUSY);
  EXPECT_TRUE(kb::violations().empty());
}

TEST_F(Runtime, IoctlThroughMiscDevice) {
  ASSERT_EQ(kb::load("kbench_sample"), 0);
  ASSERT_EQ(kb::misc_devices().size(), 1u);
  EXPECT_EQ(kb::misc_devices()[0].minor, 63);
  kb::MiscFile f("kbench_sample");
  ASSERT_TRUE(f.ok());

  uintptr_t arg = kb::user::map(word(21));
  EXPECT_EQ(f.ioctl(kDouble, arg), 0);
  EXPECT_EQ(kb::user::read(arg, 4), word(42));
  EXPECT_EQ(kb::now_ns(), 5000u);
  EXPECT_EQ(kb::gpio::level(5), 1);
  ASSERT_EQ(kb::lock_events().size(), 2u);
  EXPECT_EQ(kb::lock_events()[0].name, "sample_lock");
  EXPECT_EQ(kb::locks_held(), 0);
  EXPECT_TRUE(kb::violations().empty());

  kb::MiscFile missing("nothing");
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.open_result(), -ENODEV);
  EXPECT_EQ(f.read(arg, 4), -EINVAL);
}

TEST_F(Runtime, UserCopiesFailWhereMemoryEnds) {
  struct Case {
    const char* name;
    size_t mapped;      // bytes mapped at the address
    size_t fault_from;  // or SIZE_MAX
    size_t not_copied;  // expected for a 8-byte copy
  };
  const Case cases[] = {
      {"all mapped", 8, SIZE_MAX, 0},
      {"ends after 5", 5, SIZE_MAX, 3},
      {"faults after 2", 8, 2, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kb::reset();
    uintptr_t addr = kb::user::map(std::vector<uint8_t>(c.mapped, 0xAA));
    if (c.fault_from != SIZE_MAX) kb::user::fault_from(addr, c.fault_from);
    uint8_t buf[8];
    std::memset(buf, 0x55, sizeof(buf));
    EXPECT_EQ(copy_from_user(buf, reinterpret_cast<void*>(addr), 8), c.not_copied);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(buf[i], i < 8 - c.not_copied ? 0xAA : 0) << i;
    EXPECT_EQ(copy_to_user(reinterpret_cast<void*>(addr), buf, 8), c.not_copied);
  }

  uint8_t buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(copy_from_user(buf, nullptr, 4), 4u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_FALSE(kb_access_ok(reinterpret_cast<void*>(kb::user::kTaskSize - 2), 4));
  EXPECT_TRUE(kb_access_ok(reinterpret_cast<void*>(kb::user::kTaskSize - 4), 4));
}

TEST_F(Runtime, ClockMovesOnlyWithDelays) {
  EXPECT_EQ(kb::now_ns(), 0u);
  ndelay(7);
  udelay(3);
  mdelay(2);
  msleep(1);
  usleep_range(10, 20);
  EXPECT_EQ(kb::now_ns(), 7u + 3000u + 2000000u + 1000000u + 10000u);
  ASSERT_EQ(kb::delays().size(), 5u);
  EXPECT_EQ(kb::delays()[1].fn, "udelay");
  EXPECT_EQ(kb::delays()[1].ns, 3000u);
  EXPECT_TRUE(kb::violations().empty());
}

TEST_F(Runtime, AtomicContextRulesAreEnforced) {
  ASSERT_EQ(kb::load("kbench_sample"), 0);
  kb::MiscFile f("kbench_sample");
  uintptr_t arg = kb::user::map(word(1));
  EXPECT_EQ(f.ioctl(kSleepLocked, arg), 0);
  ASSERT_EQ(kb::violations().size(), 1u);
  EXPECT_NE(kb::violations()[0].find("msleep"), std::string::npos);

  kb::reset();
  spinlock_t lock;
  spin_lock_init(&lock);
  spin_lock(&lock);
  EXPECT_TRUE(kb::held(&lock));
  spin_lock(&lock);
  uint8_t b;
  copy_from_user(&b, reinterpret_cast<void*>(kb::user::map(1)), 1);
  spin_unlock(&lock);
  spin_unlock(&lock);
  EXPECT_EQ(kb::violations().size(), 3u) << testing::PrintToString(kb::violations());

  unsigned long flags;
  spin_lock_irqsave(&lock, flags);
  EXPECT_FALSE(kb::irqs_enabled());
  spin_unlock_irqrestore(&lock, flags);
  EXPECT_TRUE(kb::irqs_enabled());
  ASSERT_EQ(kb::irq_events().size(), 2u);
}

TEST_F(Runtime, GpioLevelsResolveAgainstHardware) {
  using kb::gpio::Source;
  std::vector<std::pair<unsigned, Source>> seen;
  kb::gpio::add_listener([&](unsigned n, Source s) { seen.emplace_back(n, s); });
  gpio_desc* d = gpio_to_desc(9);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(gpio_to_desc(kb::gpio::kLines), nullptr);

  EXPECT_EQ(gpiod_direction_input(d), 0);
  EXPECT_EQ(gpiod_get_raw_value(d), 1);  // pulled up
  kb::gpio::drive(9, 0);
  EXPECT_EQ(gpiod_get_raw_value(d), 0);
  kb::gpio::set_active_low(9, true);
  EXPECT_EQ(gpiod_get_value(d), 1);
  EXPECT_EQ(gpiod_get_raw_value(d), 0);
  kb::gpio::drive(9, std::nullopt);
  EXPECT_EQ(gpiod_direction_output_raw(d, 1), 0);
  EXPECT_EQ(kb::gpio::level(9), 1);
  EXPECT_EQ(kb::gpio::samples(9), 4u);
  const std::vector<std::pair<unsigned, Source>> expected = {
      {9, Source::Soc},    {9, Source::Sample}, {9, Source::External}, {9, Source::Sample},
      {9, Source::Sample}, {9, Source::Sample}, {9, Source::External}, {9, Source::Soc}};
  EXPECT_EQ(seen, expected);

  kb::gpio::fail_direction(9, -EIO);
  EXPECT_EQ(gpiod_direction_input(d), -EIO);
  EXPECT_TRUE(kb::gpio::line(9).output);
  EXPECT_EQ(gpiod_direction_input(d), 0);

  // The SoC driving against the hardware is recorded with its duration.
  kb::gpio::drive(9, 0);
  EXPECT_EQ(gpiod_direction_output_raw(d, 1), 0);
  udelay(2);
  EXPECT_EQ(gpiod_direction_input(d), 0);
  ASSERT_EQ(kb::gpio::contentions().size(), 1u);
  EXPECT_EQ(kb::gpio::contentions()[0].start_ns, 0u);
  EXPECT_EQ(kb::gpio::contentions()[0].end_ns, 2000u);

  gpio_free(9);
  EXPECT_EQ(kb::violations().size(), 1u);  // never requested
}

TEST_F(Runtime, ChangesMadeByListenersArriveInOrder) {
  // A model answering an edge must not overtake the edge in other listeners.
  kb::gpio::add_listener([](unsigned n, kb::gpio::Source s) {
    if (n == 1 && s == kb::gpio::Source::Soc) kb::gpio::drive(2, 0);
  });
  std::vector<unsigned> order;
  kb::gpio::add_listener([&](unsigned n, kb::gpio::Source) { order.push_back(n); });
  gpio_direction_output(1, 0);
  EXPECT_EQ(order, (std::vector<unsigned>{1, 2}));
}

TEST_F(Runtime, RemovedListenersHearNothingAndStaleIdsAreIgnored) {
  std::vector<char> heard;
  const kb::gpio::ListenerId a =
      kb::gpio::add_listener([&](unsigned, kb::gpio::Source) { heard.push_back('a'); });
  kb::gpio::add_listener([&](unsigned, kb::gpio::Source) { heard.push_back('b'); });
  kb::gpio::remove_listener(a);
  kb::gpio::remove_listener(a);  // twice: nothing else goes
  gpio_direction_output(1, 0);
  EXPECT_EQ(heard, (std::vector<char>{'b'}));

  // An id from before a reset (a model outliving its test) never matches a
  // listener added since.
  kb::reset();
  heard.clear();
  kb::gpio::add_listener([&](unsigned, kb::gpio::Source) { heard.push_back('c'); });
  kb::gpio::remove_listener(a);
  gpio_direction_output(1, 1);
  EXPECT_EQ(heard, (std::vector<char>{'c'}));
}
TEST_F(Runtime, KfreeChecksOwnership) {
  void* p = kmalloc(8, GFP_KERNEL);
  EXPECT_EQ(kb::mem::live(), 1u);
  kfree(p);
  kfree(nullptr);
  EXPECT_EQ(kb::mem::live(), 0u);
  int not_heap = 0;
  kfree(&not_heap);
  EXPECT_EQ(kb::violations().size(), 1u);

  device dev{};
  dev.init_name = "dev0";
  std::vector<int> order;
  devm_kzalloc(&dev, 4, GFP_KERNEL);
  devm_add_action(
      &dev, [](void* o) { static_cast<std::vector<int>*>(o)->push_back(1); }, &order);
  EXPECT_EQ(kb::mem::live(), 1u);
  kb::devres_release_all(&dev);
  EXPECT_EQ(kb::mem::live(), 0u);
  EXPECT_EQ(order, std::vector<int>{1});
  dev_err(&dev, "bad %d\n", 3);
  EXPECT_EQ(kb::log().back().text, "dev0: bad 3\n");
  EXPECT_EQ(kb::log().back().level, 3);
}

}  // namespace
