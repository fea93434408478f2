// SPDX-License-Identifier: GPL-2.0
// The platform class stand-in, run on the bench as the module it is.
#include <gtest/gtest.h>

#include <linux/device.h>

#include <cerrno>

#include "kbench.h"
#include "sysfs.h"

// qvsys.h says "struct class", which C++ cannot; the same function:
extern "C" struct kb_class* qvsys_get_sysfs_class(void);

namespace {

class QvsysTest : public ::testing::Test {
 protected:
  void SetUp() override { kb::reset(); }
  void TearDown() override {
    const kb::ModuleInfo* info = kb::module_info("qvsys");
    if (info && info->loaded) kb::unload("qvsys");
    EXPECT_EQ(kb::violations(), std::vector<std::string>{});
  }
};

TEST_F(QvsysTest, ServesOneClassFromLoadToUnload) {
  ASSERT_FALSE(kb::sysfs::class_exists("qvsys"));
  ASSERT_EQ(kb::load("qvsys"), 0);
  kb_class* cls = qvsys_get_sysfs_class();
  ASSERT_NE(cls, nullptr);
  ASSERT_FALSE(IS_ERR(cls));
  EXPECT_STREQ(cls->name, "qvsys");
  EXPECT_EQ(qvsys_get_sysfs_class(), cls);
  EXPECT_TRUE(kb::sysfs::class_exists("qvsys"));
  kb::unload("qvsys");
  EXPECT_FALSE(kb::sysfs::class_exists("qvsys"));
  EXPECT_EQ(kb::module_info("qvsys")->tag("license"), "GPL");
}

TEST_F(QvsysTest, LoadFailsWhenTheClassNameIsTaken) {
  kb_class* taken = kb_class_create(nullptr, "qvsys");
  ASSERT_FALSE(IS_ERR(taken));
  EXPECT_EQ(kb::load("qvsys"), -EEXIST);
  EXPECT_FALSE(kb::module_info("qvsys")->loaded);
  class_destroy(taken);
}

}  // namespace
