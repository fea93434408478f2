// SPDX-License-Identifier: GPL-2.0
// Misc devices: the registry, and the VFS side through which tests open a
// device and call its file operations.
#include <linux/miscdevice.h>

#include <fcntl.h>

#include <bitset>

#include "kbench.h"
#include "internal.h"

namespace kb {
namespace {

// Dynamic minors as drivers/char/misc.c keeps them: bit i of a bitmap
// stands for minor 63 - i and is set only by a dynamic registration. A fixed
// minor has only to be free of registered devices. Deregistering clears the
// bit of the device's minor however it got it, and leaves misc->minor as it
// is, so a device registered again without resetting it asks for that fixed
// minor.
constexpr int kDynamicMinors = 64;
std::bitset<kDynamicMinors> dynamic_used;

std::vector<MiscRecord> registry;
int fail_next_register = 0;
detail::ResetHook hook([] {
  registry.clear();
  dynamic_used.reset();
  fail_next_register = 0;
});

int dynamic_bit(int minor) { return kDynamicMinors - 1 - minor; }

void release_dynamic(int minor) {
  int bit = dynamic_bit(minor);
  if (bit >= 0 && bit < kDynamicMinors) dynamic_used.reset(size_t(bit));
}

}  // namespace

std::vector<MiscRecord> misc_devices() { return registry; }

miscdevice* find_misc(std::string_view name) {
  for (const auto& r : registry)
    if (r.misc->name && name == r.misc->name) return r.misc;
  return nullptr;
}

void fail_next_misc_register(int error) { fail_next_register = error; }

struct MiscFile::Impl {
  inode node{};
  file filp{};
  // As the file's f_op: taken at open, so the file keeps working after the
  // device is deregistered and its miscdevice freed.
  const file_operations* fops = nullptr;
};

MiscFile::MiscFile(std::string_view name, unsigned f_flags) : impl_(std::make_unique<Impl>()) {
  misc_ = find_misc(name);
  if (!misc_) {
    open_result_ = -ENODEV;
    return;
  }
  impl_->node.i_rdev = (10u << 20) | unsigned(misc_->minor);
  impl_->filp.f_flags = f_flags;
  unsigned acc = f_flags & O_ACCMODE;
  impl_->filp.f_mode = (acc == O_RDONLY || acc == O_RDWR ? FMODE_READ : 0) |
                       (acc == O_WRONLY || acc == O_RDWR ? FMODE_WRITE : 0);
  // misc_open hands the device to the driver before calling its open.
  impl_->filp.private_data = misc_;
  const file_operations* fops = impl_->fops = misc_->fops;
  open_result_ = fops && fops->open ? fops->open(&impl_->node, &impl_->filp) : 0;
  open_ = open_result_ == 0;
}

MiscFile::~MiscFile() {
  if (open_) release();
}

long MiscFile::ioctl(unsigned cmd, unsigned long arg) {
  if (!open_) return -EBADF;
  const file_operations* fops = impl_->fops;
  if (!fops->unlocked_ioctl) return -ENOTTY;
  return fops->unlocked_ioctl(&impl_->filp, cmd, arg);
}

long MiscFile::read(uintptr_t user_buf, size_t len) {
  if (!open_) return -EBADF;
  const file_operations* fops = impl_->fops;
  if (!fops->read) return -EINVAL;
  return fops->read(&impl_->filp, reinterpret_cast<char*>(user_buf), len, &impl_->filp.f_pos);
}

long MiscFile::write(uintptr_t user_buf, size_t len) {
  if (!open_) return -EBADF;
  const file_operations* fops = impl_->fops;
  if (!fops->write) return -EINVAL;
  return fops->write(&impl_->filp, reinterpret_cast<const char*>(user_buf), len,
                     &impl_->filp.f_pos);
}

int MiscFile::release() {
  if (!open_) return -EBADF;
  open_ = false;
  const file_operations* fops = impl_->fops;
  return fops->release ? fops->release(&impl_->node, &impl_->filp) : 0;
}

}  // namespace kb

extern "C" {

int misc_register(struct miscdevice* misc) {
  if (int err = kb::fail_next_register) {
    kb::fail_next_register = 0;
    return err;
  }
  for (const auto& r : kb::registry) {
    if (r.misc == misc) {
      kb::detail::violation(std::string("misc device registered twice: ") + misc->name);
      return -EBUSY;
    }
  }
  const bool dynamic = misc->minor == MISC_DYNAMIC_MINOR;
  if (dynamic) {
    size_t bit = 0;
    while (bit < kb::dynamic_used.size() && kb::dynamic_used.test(bit)) ++bit;
    if (bit == kb::dynamic_used.size()) return -EBUSY;
    kb::dynamic_used.set(bit);
    misc->minor = kb::kDynamicMinors - 1 - int(bit);
  } else {
    for (const auto& r : kb::registry)
      if (r.minor == misc->minor) return -EBUSY;
  }
  // The class device: its name and its /dev/char/10:minor link must be free.
  int err = 0;
  for (const auto& r : kb::registry) {
    if (r.misc->name && misc->name && std::string_view(r.misc->name) == misc->name) err = -EEXIST;
    if (r.minor == misc->minor) {
      kb::detail::violation("sysfs: cannot create duplicate filename '/dev/char/10:" +
                            std::to_string(misc->minor) + "'");
      err = -EEXIST;
    }
  }
  if (err) {
    if (dynamic) {
      kb::release_dynamic(misc->minor);
      misc->minor = MISC_DYNAMIC_MINOR;
    }
    return err;
  }
  kb::registry.push_back({misc, misc->minor});
  return 0;
}

void misc_deregister(struct miscdevice* misc) {
  for (auto it = kb::registry.begin(); it != kb::registry.end(); ++it) {
    if (it->misc == misc) {
      kb::registry.erase(it);
      kb::release_dynamic(misc->minor);
      return;
    }
  }
  kb::detail::violation("misc_deregister of a device that is not registered");
}

loff_t no_llseek(struct file*, loff_t, int) { return -ESPIPE; }
loff_t noop_llseek(struct file* file, loff_t, int) { return file->f_pos; }

}  // extern "C"
