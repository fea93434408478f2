// SPDX-License-Identifier: GPL-2.0
// Classes, class devices and attribute files behind linux/device/class.h
// and linux/sysfs.h.
#include <linux/device.h>
#include <linux/err.h>
#include <linux/errno.h>

#include <algorithm>
#include <cstddef>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "kbench.h"
#include "internal.h"
#include "sysfs.h"

namespace kb::sysfs {
namespace {

struct Class {
  struct kb_class cls {};
  std::string name;
};

struct ClassDevice {
  struct device dev {};
  std::string name;
  struct kb_class* cls;
};

struct Model {
  std::vector<std::unique_ptr<Class>> classes;
  std::vector<std::unique_ptr<ClassDevice>> devices;
  // Attribute files of any device, class device or not.
  std::map<const device*, std::vector<const device_attribute*>> attrs;
  std::map<const device*, std::vector<std::string>> attrs_at_add;
  std::optional<int> fail_create;
  std::map<std::string, int, std::less<>> fail_file;
};

Model& model() {
  static Model m;
  return m;
}

detail::ResetHook hook([] { model() = Model(); });

Class* find_class(const struct kb_class* cls) {
  for (auto& c : model().classes)
    if (&c->cls == cls) return c.get();
  return nullptr;
}

const device_attribute* find_attr(const device* dev, std::string_view name) {
  auto it = model().attrs.find(dev);
  if (it == model().attrs.end()) return nullptr;
  for (const device_attribute* a : it->second)
    if (name == a->attr.name) return a;
  return nullptr;
}

void check_sleepable(const char* fn) {
  if (detail::atomic_context()) detail::violation(std::string(fn) + " in atomic context");
}

void unregister(std::vector<std::unique_ptr<ClassDevice>>::iterator it) {
  model().attrs.erase(&(*it)->dev);
  model().attrs_at_add.erase(&(*it)->dev);
  model().devices.erase(it);
}

}  // namespace

device* find(std::string_view cls, std::string_view name) {
  for (auto& d : model().devices)
    if (d->name == name && find_class(d->cls)->name == cls) return &d->dev;
  return nullptr;
}

std::vector<device*> devices(std::string_view cls) {
  std::vector<device*> out;
  for (auto& d : model().devices)
    if (find_class(d->cls)->name == cls) out.push_back(&d->dev);
  return out;
}

size_t live_devices() { return model().devices.size(); }
size_t live_classes() { return model().classes.size(); }

bool class_exists(std::string_view cls) {
  return std::any_of(model().classes.begin(), model().classes.end(),
                     [&](auto& c) { return c->name == cls; });
}

std::vector<std::string> attributes(const device* dev) {
  std::vector<std::string> out;
  auto it = model().attrs.find(dev);
  if (it != model().attrs.end())
    for (const device_attribute* a : it->second) out.emplace_back(a->attr.name);
  return out;
}

std::vector<std::string> attributes_at_add(const device* dev) {
  auto it = model().attrs_at_add.find(dev);
  return it == model().attrs_at_add.end() ? std::vector<std::string>{} : it->second;
}

int mode(const device* dev, std::string_view attr) {
  const device_attribute* a = find_attr(dev, attr);
  return a ? a->attr.mode : -1;
}

Read read(device* dev, std::string_view attr) {
  const device_attribute* a = find_attr(dev, attr);
  if (!a) return {-ENOENT, ""};
  if (!(a->attr.mode & 0444) || !a->show) return {-EACCES, ""};
  // Exactly one page, so a show that overruns it is caught by the sanitizer.
  auto page = std::make_unique<char[]>(PAGE_SIZE);
  ssize_t ret = a->show(dev, const_cast<device_attribute*>(a), page.get());
  if (ret < 0) return {ret, ""};
  if (size_t(ret) > PAGE_SIZE) {
    detail::violation(std::string("show of ") + a->attr.name + " returned more than a page");
    ret = PAGE_SIZE;
  }
  return {ret, std::string(page.get(), size_t(ret))};
}

ssize_t write(device* dev, std::string_view attr, std::string_view text) {
  const device_attribute* a = find_attr(dev, attr);
  if (!a) return -ENOENT;
  if (!(a->attr.mode & 0222) || !a->store) return -EACCES;
  if (text.empty()) return 0;
  if (text.size() > PAGE_SIZE) return -E2BIG;
  // The kernel hands store a private copy with a NUL after the data.
  auto copy = std::make_unique<char[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), copy.get());
  copy[text.size()] = '\0';
  return a->store(dev, const_cast<device_attribute*>(a), copy.get(), text.size());
}

void fail_next_device_create(int error) { model().fail_create = error; }

void fail_next_create_file(std::string_view attr, int error) {
  model().fail_file[std::string(attr)] = error;
}

}  // namespace kb::sysfs

namespace ks = kb::sysfs;

extern "C" {

struct kb_class* kb_class_create(struct module* owner, const char* name) {
  ks::check_sleepable("class_create");
  if (ks::class_exists(name)) return static_cast<struct kb_class*>(ERR_PTR(-EEXIST));
  auto c = std::make_unique<ks::Class>();
  c->name = name;
  c->cls.name = c->name.c_str();
  c->cls.owner = owner;
  ks::model().classes.push_back(std::move(c));
  return &ks::model().classes.back()->cls;
}

void class_destroy(struct kb_class* cls) {
  if (!cls || IS_ERR(cls)) return;
  auto& classes = ks::model().classes;
  auto it = std::find_if(classes.begin(), classes.end(), [&](auto& c) { return &c->cls == cls; });
  if (it == classes.end()) {
    kb::detail::violation("class_destroy of an unknown class");
    return;
  }
  if (!ks::devices((*it)->name).empty())
    kb::detail::violation("class " + (*it)->name + " destroyed with devices left in it");
  auto& devs = ks::model().devices;
  for (auto d = devs.begin(); d != devs.end();)
    if ((*d)->cls == cls) {
      ks::model().attrs.erase(&(*d)->dev);
      ks::model().attrs_at_add.erase(&(*d)->dev);
      d = devs.erase(d);
    } else {
      ++d;
    }
  classes.erase(it);
}

namespace {

// device_create_with_groups: the groups' files exist before the uevent, and
// a file that cannot be created fails the whole device.
struct device* create(struct kb_class* cls, struct device* parent, dev_t devt, void* drvdata,
                      const struct attribute_group** groups, const char* fmt, va_list ap) {
  ks::check_sleepable("device_create");
  if (!cls || IS_ERR(cls)) return static_cast<struct device*>(ERR_PTR(-ENODEV));
  if (!ks::find_class(cls)) {
    kb::detail::violation("device_create in an unknown class");
    return static_cast<struct device*>(ERR_PTR(-ENODEV));
  }
  if (auto error = ks::model().fail_create) {
    ks::model().fail_create.reset();
    return static_cast<struct device*>(ERR_PTR(*error));
  }
  char name[64];
  std::vsnprintf(name, sizeof(name), fmt, ap);
  if (ks::find(cls->name, name)) return static_cast<struct device*>(ERR_PTR(-EEXIST));
  auto d = std::make_unique<ks::ClassDevice>();
  d->name = name;
  d->cls = cls;
  d->dev.init_name = d->name.c_str();
  d->dev.parent = parent;
  d->dev.devt = devt;
  d->dev.driver_data = drvdata;
  ks::model().devices.push_back(std::move(d));
  struct device* dev = &ks::model().devices.back()->dev;
  for (; groups && *groups; ++groups) {
    if ((*groups)->name) kb::detail::violation("named attribute groups are not modelled");
    for (struct attribute** a = (*groups)->attrs; a && *a; ++a) {
      static_assert(offsetof(device_attribute, attr) == 0);
      // The attribute is the first member of its device_attribute.
      auto* da = reinterpret_cast<const device_attribute*>(*a);
      if (int error = device_create_file(dev, da)) {
        device_unregister(dev);
        return static_cast<struct device*>(ERR_PTR(error));
      }
    }
  }
  ks::model().attrs_at_add[dev] = ks::attributes(dev);
  return dev;
}

}  // namespace

struct device* device_create(struct kb_class* cls, struct device* parent, dev_t devt, void* drvdata,
                             const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  struct device* dev = create(cls, parent, devt, drvdata, nullptr, fmt, ap);
  va_end(ap);
  return dev;
}

struct device* device_create_with_groups(struct kb_class* cls, struct device* parent, dev_t devt,
                                         void* drvdata, const struct attribute_group** groups,
                                         const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  struct device* dev = create(cls, parent, devt, drvdata, groups, fmt, ap);
  va_end(ap);
  return dev;
}

// As the kernel: the first device of the class with that number.
void device_destroy(struct kb_class* cls, dev_t devt) {
  auto& devs = ks::model().devices;
  auto it = std::find_if(devs.begin(), devs.end(),
                         [&](auto& d) { return d->cls == cls && d->dev.devt == devt; });
  if (it != devs.end()) ks::unregister(it);
}

void device_unregister(struct device* dev) {
  ks::check_sleepable("device_unregister");
  auto& devs = ks::model().devices;
  auto it = std::find_if(devs.begin(), devs.end(), [&](auto& d) { return &d->dev == dev; });
  if (it == devs.end()) {
    kb::detail::violation("device_unregister of a device that is not registered");
    return;
  }
  ks::unregister(it);
}

int device_create_file(struct device* dev, const struct device_attribute* attr) {
  if (!dev) return 0;
  ks::check_sleepable("device_create_file");
  std::string name = attr->attr.name;
  if ((attr->attr.mode & 0222) && !attr->store)
    kb::detail::violation("attribute " + name + ": write permission without store");
  if ((attr->attr.mode & 0444) && !attr->show)
    kb::detail::violation("attribute " + name + ": read permission without show");
  auto& fails = ks::model().fail_file;
  if (auto it = fails.find(name); it != fails.end()) {
    int error = it->second;
    fails.erase(it);
    return error;
  }
  if (ks::find_attr(dev, name)) return -EEXIST;
  ks::model().attrs[dev].push_back(attr);
  return 0;
}

void device_remove_file(struct device* dev, const struct device_attribute* attr) {
  auto it = ks::model().attrs.find(dev);
  if (it == ks::model().attrs.end()) return;
  auto& list = it->second;
  list.erase(std::remove(list.begin(), list.end(), attr), list.end());
}

int sysfs_emit(char* buf, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, PAGE_SIZE, fmt, ap);
  va_end(ap);
  return n < 0 ? 0 : std::min<int>(n, PAGE_SIZE - 1);
}

}  // extern "C"
