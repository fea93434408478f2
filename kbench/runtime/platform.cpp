// SPDX-License-Identifier: GPL-2.0
// Platform bus and device-tree nodes behind linux/platform_device.h and
// linux/of.h.
#include <linux/io.h>
#include <linux/of.h>
#include <linux/platform_device.h>
#include <linux/version.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "kbench.h"
#include "internal.h"
#include "platform.h"

struct device_node {
  kb::platform::Node node;
};

namespace kb::platform {
namespace {

struct Driver {
  platform_driver* drv;
  int version;  // LINUX_VERSION_CODE the driver was built for
};

struct Dev {
  platform_device pdev{};
  std::string name;
  std::unique_ptr<device_node> node;
  std::vector<resource> res;
  const Driver* driver = nullptr;  // bound to
  std::optional<int> probe_result;
};

struct Model {
  std::vector<std::unique_ptr<Dev>> devices;
  std::vector<std::unique_ptr<Driver>> drivers;
};

Model& model() {
  static Model m;
  return m;
}

detail::ResetHook hook([] { model() = Model(); });

Dev* find(const platform_device* pdev) {
  for (auto& d : model().devices)
    if (&d->pdev == pdev) return d.get();
  return nullptr;
}

Dev& known(const platform_device* pdev) {
  Dev* d = find(pdev);
  if (!d) throw std::logic_error("not a bench platform device");
  return *d;
}

bool table_end(const of_device_id* id) {
  return !id->name[0] && !id->type[0] && !id->compatible[0];
}

// The driver core's order: device-tree compatible, then the driver name.
bool matches(const Driver& drv, const Dev& d) {
  if (const of_device_id* id = drv.drv->driver.of_match_table; id && d.node)
    if (of_match_node(id, d.node.get())) return true;
  return drv.drv->driver.name && d.name == drv.drv->driver.name;
}

// What must hold whenever a driver callback returns.
void check_context(const char* callback) {
  if (locks_held() > 0) detail::violation(std::string(callback) + " returned with a spinlock held");
  if (!irqs_enabled()) detail::violation(std::string(callback) + " returned with interrupts off");
  if (preempt_count() > 0)
    detail::violation(std::string(callback) + " returned with preemption off");
}

void cleanup(Dev& d) {
  devres_release_all(&d.pdev.dev);
  dev_set_drvdata(&d.pdev.dev, nullptr);
  d.driver = nullptr;
}

int probe(Dev& d, const Driver& drv) {
  d.driver = &drv;  // as dev->driver, already set while probe runs
  int ret = drv.drv->probe ? drv.drv->probe(&d.pdev) : 0;
  check_context("probe");
  d.probe_result = ret;
  if (ret) cleanup(d);
  return ret;
}

void do_unbind(Dev& d) {
  if (!d.driver) return;
  platform_driver* drv = d.driver->drv;
  if (d.driver->version >= KERNEL_VERSION(6, 11, 0)) {
    // Built against a kernel whose remove returns nothing.
    // (through void (*)(void), the generic function pointer type)
    auto remove =
        reinterpret_cast<void (*)(platform_device*)>(reinterpret_cast<void (*)(void)>(drv->remove));
    if (remove) remove(&d.pdev);
  } else if (drv->remove) {
    if (int ret = drv->remove(&d.pdev))
      detail::violation("remove returned " + std::to_string(ret) + " (ignored by the kernel)");
  } else if (drv->remove_new) {
    drv->remove_new(&d.pdev);
  }
  check_context("remove");
  cleanup(d);
}

void try_bind(Dev& d) {
  for (auto& drv : model().drivers) {
    if (!matches(*drv, d)) continue;
    probe(d, *drv);
    return;
  }
}

}  // namespace

platform_device* add(const DeviceDesc& desc) {
  auto d = std::make_unique<Dev>();
  d->name = desc.name;
  if (desc.of_node) {
    d->node = std::make_unique<device_node>();
    d->node->node = *desc.of_node;
  }
  for (const Mem& m : desc.mem) {
    resource r{};
    r.start = m.start;
    r.end = m.start + m.size - 1;
    r.name = d->name.c_str();
    r.flags = IORESOURCE_MEM;
    d->res.push_back(r);
  }
  d->pdev.name = d->name.c_str();
  d->pdev.id = -1;
  d->pdev.num_resources = u32(d->res.size());
  d->pdev.resource = d->res.empty() ? nullptr : d->res.data();
  d->pdev.dev.init_name = d->name.c_str();
  d->pdev.dev.of_node = d->node.get();
  d->pdev.dev.devt = desc.devt;
  Dev& ref = *d;
  model().devices.push_back(std::move(d));
  try_bind(ref);
  return &ref.pdev;
}

void remove(platform_device* pdev) {
  Dev& d = known(pdev);
  do_unbind(d);
  auto& devs = model().devices;
  devs.erase(std::find_if(devs.begin(), devs.end(), [&](auto& p) { return p.get() == &d; }));
}

std::optional<int> probe_result(const platform_device* pdev) { return known(pdev).probe_result; }
bool bound(const platform_device* pdev) { return known(pdev).driver != nullptr; }

int bind(platform_device* pdev) {
  Dev& d = known(pdev);
  if (d.driver) return -EBUSY;
  for (auto& drv : model().drivers)
    if (matches(*drv, d)) return probe(d, *drv);
  return -ENODEV;
}

void unbind(platform_device* pdev) { do_unbind(known(pdev)); }

// The driver's dev_pm_ops win over the legacy callbacks, as in the kernel.
int suspend(platform_device* pdev) {
  Dev& d = known(pdev);
  if (!d.driver) return 0;
  const platform_driver* drv = d.driver->drv;
  int ret = 0;
  if (drv->driver.pm && drv->driver.pm->suspend) {
    ret = drv->driver.pm->suspend(&pdev->dev);
  } else if (drv->suspend) {
    pm_message_t msg{PM_EVENT_SUSPEND};
    ret = drv->suspend(pdev, msg);
  }
  check_context("suspend");
  return ret;
}

int resume(platform_device* pdev) {
  Dev& d = known(pdev);
  if (!d.driver) return 0;
  const platform_driver* drv = d.driver->drv;
  int ret = 0;
  if (drv->driver.pm && drv->driver.pm->resume)
    ret = drv->driver.pm->resume(&pdev->dev);
  else if (drv->resume)
    ret = drv->resume(pdev);
  check_context("resume");
  return ret;
}

size_t drivers() { return model().drivers.size(); }

const std::vector<std::string>* node_clocks(const device_node* np) {
  return np ? &np->node.clocks : nullptr;
}

}  // namespace kb::platform

namespace kp = kb::platform;

extern "C" {

int kb_platform_driver_register(struct platform_driver* drv, struct module*, int version) {
  auto& drivers = kp::model().drivers;
  for (auto& d : drivers)
    if (d->drv == drv) {
      kb::detail::violation("platform driver registered twice");
      return -EBUSY;
    }
  drivers.push_back(std::make_unique<kp::Driver>(kp::Driver{drv, version}));
  // The driver core probes every unbound matching device; a failed probe
  // does not fail the registration.
  for (auto& d : kp::model().devices)
    if (!d->driver && kp::matches(*drivers.back(), *d)) kp::probe(*d, *drivers.back());
  return 0;
}

void platform_driver_unregister(struct platform_driver* drv) {
  auto& drivers = kp::model().drivers;
  auto it = std::find_if(drivers.begin(), drivers.end(), [&](auto& d) { return d->drv == drv; });
  if (it == drivers.end()) {
    kb::detail::violation("unregistering a platform driver that is not registered");
    return;
  }
  for (auto& d : kp::model().devices)
    if (d->driver == it->get()) kp::do_unbind(*d);
  drivers.erase(it);
}

struct resource* platform_get_resource(struct platform_device* pdev, unsigned int type,
                                       unsigned int num) {
  for (u32 i = 0; i < pdev->num_resources; ++i) {
    struct resource* r = &pdev->resource[i];
    if ((r->flags & (IORESOURCE_IO | IORESOURCE_MEM | IORESOURCE_IRQ)) == type && num-- == 0)
      return r;
  }
  return nullptr;
}

void __iomem* devm_platform_ioremap_resource(struct platform_device* pdev, unsigned int index) {
  return devm_ioremap_resource(&pdev->dev, platform_get_resource(pdev, IORESOURCE_MEM, index));
}

int of_device_is_compatible(const struct device_node* node, const char* compat) {
  if (!node || !compat) return 0;
  const auto& list = node->node.compatible;
  return std::find(list.begin(), list.end(), compat) != list.end();
}

const struct of_device_id* of_match_node(const struct of_device_id* matches,
                                         const struct device_node* node) {
  if (!matches || !node) return nullptr;
  for (const of_device_id* id = matches; !kp::table_end(id); ++id)
    if (id->compatible[0] && of_device_is_compatible(node, id->compatible)) return id;
  return nullptr;
}

const struct of_device_id* of_match_device(const struct of_device_id* matches,
                                           const struct device* dev) {
  return dev ? of_match_node(matches, dev->of_node) : nullptr;
}

const void* of_device_get_match_data(const struct device* dev) {
  const kp::Dev* d = nullptr;
  for (auto& p : kp::model().devices)
    if (&p->pdev.dev == dev) d = p.get();
  if (!d || !d->driver) return nullptr;
  const of_device_id* id = of_match_device(d->driver->drv->driver.of_match_table, dev);
  return id ? id->data : nullptr;
}

}  // extern "C"
