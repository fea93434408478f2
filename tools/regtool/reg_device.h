// The seam between the register tool and /dev/rjgt102_i2c: one ioctl with
// one block. The program uses the device node; tests use the driver itself.
#ifndef TOOLS_REGTOOL_REG_DEVICE_H
#define TOOLS_REGTOOL_REG_DEVICE_H

#include <linux/rjgt102_i2c.h>

#include <memory>
#include <string>

namespace regtool {

class RegDevice {
 public:
  virtual ~RegDevice() = default;
  // Issues cmd with the block; 0, or the errno of the failed call.
  virtual int transfer(unsigned cmd, gpioi2c_block& block) = 0;
};

// Opens the device node; on failure returns null and sets error to errno.
std::unique_ptr<RegDevice> open_reg_device(const std::string& path, int& error);

}  // namespace regtool

#endif
