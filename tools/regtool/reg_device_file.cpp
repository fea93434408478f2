// RegDevice over the device node.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "reg_device.h"

namespace regtool {
namespace {

class FileRegDevice : public RegDevice {
 public:
  explicit FileRegDevice(int fd) : fd_(fd) {}
  ~FileRegDevice() override { ::close(fd_); }
  FileRegDevice(const FileRegDevice&) = delete;
  FileRegDevice& operator=(const FileRegDevice&) = delete;

  int transfer(unsigned cmd, gpioi2c_block& block) override {
    return ::ioctl(fd_, cmd, &block) < 0 ? errno : 0;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<RegDevice> open_reg_device(const std::string& path, int& error) {
  // The driver ignores the open mode; read-write states the intent.
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<FileRegDevice>(fd);
}

}  // namespace regtool
