// The seam between the ADC tool and /dev/sar: one ioctl with an optional
// record. The program uses the device node; tests use the driver itself.
#ifndef TOOLS_ADCTOOL_SAR_DEVICE_H
#define TOOLS_ADCTOOL_SAR_DEVICE_H

#include <linux/tessel_sar.h>

#include <memory>
#include <string>

namespace adctool {

class SarDevice {
 public:
  virtual ~SarDevice() = default;
  // Issues cmd with the record (null for commands without one); 0, or the
  // errno of the failed call.
  virtual int command(unsigned cmd, sar_ioctl_data* data) = 0;
};

// Opens the device node; on failure returns null and sets error to errno.
std::unique_ptr<SarDevice> open_sar_device(const std::string& path, int& error);

}  // namespace adctool

#endif
