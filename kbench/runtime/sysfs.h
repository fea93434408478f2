/* SPDX-License-Identifier: GPL-2.0 */
// Classes, class devices and attribute files on the bench. Tests reach the
// attributes as user space would: a read gets the page the show callback
// filled, a write hands the store callback a NUL-terminated copy, and the
// mode and callbacks decide what may be opened.
#ifndef KBENCH_RUNTIME_SYSFS_H
#define KBENCH_RUNTIME_SYSFS_H

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

struct device;

namespace kb::sysfs {

// A class device by class and device name, or nullptr.
device* find(std::string_view cls, std::string_view name);
// The class devices of a class, in creation order.
std::vector<device*> devices(std::string_view cls);
size_t live_devices();  // over all classes
size_t live_classes();
bool class_exists(std::string_view cls);
// Attribute files of a device, in creation order.
std::vector<std::string> attributes(const device* dev);
// The attribute files the device had when its "add" uevent went out: what
// udev saw. Files created later appear after the event.
std::vector<std::string> attributes_at_add(const device* dev);
// The octal mode of an attribute, or -1 when the device has no such file.
int mode(const device* dev, std::string_view attr);

struct Read {
  ssize_t ret;       // what show returned, or -EACCES / -ENOENT
  std::string text;  // the first ret bytes of the page
};
Read read(device* dev, std::string_view attr);
// What store returned, 0 without calling it for an empty write, or
// -EACCES / -ENOENT / -E2BIG as the VFS would answer.
ssize_t write(device* dev, std::string_view attr, std::string_view text);

// The next device_create fails with error (once).
void fail_next_device_create(int error);
// The next device_create_file of that attribute name fails (once).
void fail_next_create_file(std::string_view attr, int error);

}  // namespace kb::sysfs

#endif
