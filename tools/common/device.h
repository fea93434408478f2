/* SPDX-License-Identifier: GPL-2.0 */
// A tool's device: the device node and its ioctls, and what a tool gets
// from its caller: the console and the way to open its device, so that tests
// can hand it the driver in the kernel bench instead.
#ifndef TOOLS_COMMON_DEVICE_H
#define TOOLS_COMMON_DEVICE_H

#include <functional>
#include <memory>
#include <string>

#include "cli.h"

namespace devtools {

class DeviceFile {
 public:
  // Opens path (close-on-exec); ok() tells whether it worked, error() why not.
  DeviceFile(const std::string& path, int flags);
  ~DeviceFile();
  DeviceFile(DeviceFile&& other) noexcept;
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;
  DeviceFile& operator=(DeviceFile&&) = delete;

  bool ok() const { return fd_ >= 0; }
  int error() const { return error_; }
  // Issues cmd with arg; 0, or the errno of the failed call.
  int ioctl(unsigned long cmd, void* arg) const;

 private:
  int fd_;
  int error_ = 0;
};

// The seam between a tool and its device: ioctls whose argument is a Record
// (or null for commands without one). The program uses the device node;
// tests use the driver itself.
template <class Record>
class Device {
 public:
  virtual ~Device() = default;
  // Issues cmd with record; 0, or the errno of the failed call.
  virtual int ioctl(unsigned cmd, Record* record) = 0;
};

template <class Record>
class FileDevice final : public Device<Record> {
 public:
  explicit FileDevice(DeviceFile file) : file_(std::move(file)) {}
  int ioctl(unsigned cmd, Record* record) override { return file_.ioctl(cmd, record); }

 private:
  DeviceFile file_;
};

// Opens the device node path with flags; on failure returns null and sets
// error to errno.
template <class Record>
std::unique_ptr<Device<Record>> open_device(const std::string& path, int flags, int& error) {
  DeviceFile file(path, flags);
  if (!file.ok()) {
    error = file.error();
    return nullptr;
  }
  return std::make_unique<FileDevice<Record>>(std::move(file));
}

// What a tool's run() gets: its console and the way to open a device node
// (null with error set when it cannot).
template <class Device>
struct DeviceEnv {
  Console console;
  std::function<std::unique_ptr<Device>(const std::string& path, int& error)> open;
};

}  // namespace devtools

#endif
