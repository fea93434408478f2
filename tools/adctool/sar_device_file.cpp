// SarDevice over the device node.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "sar_device.h"

namespace adctool {
namespace {

class FileSarDevice : public SarDevice {
 public:
  explicit FileSarDevice(int fd) : fd_(fd) {}
  ~FileSarDevice() override { ::close(fd_); }
  FileSarDevice(const FileSarDevice&) = delete;
  FileSarDevice& operator=(const FileSarDevice&) = delete;

  int command(unsigned cmd, sar_ioctl_data* data) override {
    return ::ioctl(fd_, cmd, data) < 0 ? errno : 0;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<SarDevice> open_sar_device(const std::string& path, int& error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<FileSarDevice>(fd);
}

}  // namespace adctool
