// SPDX-License-Identifier: GPL-2.0
// Register windows behind linux/io.h: mappings, device models, the access
// record and the device-managed mapping of a memory resource.
#include <linux/device.h>
#include <linux/err.h>
#include <linux/io.h>

#include <cstdio>
#include <memory>

#include "kbench.h"
#include "internal.h"
#include "mmio.h"

namespace kb::mmio {
namespace {

struct Window {
  uint64_t phys;
  size_t size;
  Device* device;
};

// The cookie handed to the driver points into buf, so its pointer
// arithmetic stays inside a real object.
struct Mapping {
  std::unique_ptr<uint8_t[]> buf;
  size_t size;
  uint64_t phys;
};

struct Region {
  uint64_t start;
  uint64_t size;
};

// What a device-managed mapping must undo.
struct DevmMapping {
  void* cookie;
  uint64_t start;
};

struct Model {
  std::vector<Window> windows;
  std::vector<std::unique_ptr<DevmMapping>> devm;
  std::vector<std::unique_ptr<Mapping>> mappings;
  std::vector<Region> regions;  // claimed by devm_ioremap_resource
  std::vector<Access> accesses;
  std::function<void(const Access&)> hook;
  bool fail_next = false;
};

Model& model() {
  static Model m;
  return m;
}

detail::ResetHook hook([] { model() = Model(); });

std::string hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof(buf), "%#llx", static_cast<unsigned long long>(v));
  return buf;
}

// The mapping and bus address behind a cookie, or nullptr (a violation).
const Mapping* resolve(const volatile void* addr, unsigned width, uint64_t* phys, const char* op) {
  auto p = reinterpret_cast<uintptr_t>(addr);
  for (auto& m : model().mappings) {
    auto base = reinterpret_cast<uintptr_t>(m->buf.get());
    if (p < base || p >= base + m->size) continue;
    if (p + width / 8 > base + m->size) break;
    *phys = m->phys + (p - base);
    return m.get();
  }
  detail::violation(std::string(op) + " through an address no live mapping covers");
  return nullptr;
}

Window* window_at(uint64_t phys, unsigned width, const char* op) {
  for (auto& w : model().windows)
    if (phys >= w.phys && phys + width / 8 <= w.phys + w.size) return &w;
  detail::violation(std::string(op) + " at bus address " + hex(phys) + " where no device sits");
  return nullptr;
}

void record(bool write, unsigned width, uint32_t offset, uint32_t value, bool relaxed) {
  const Access a{write, width, offset, value, relaxed, now_ns(), locks_held(), irqs_enabled()};
  model().accesses.push_back(a);
  if (model().hook) model().hook(a);
}

void* map(uint64_t phys, size_t size) {
  if (model().fail_next) {
    model().fail_next = false;
    return nullptr;
  }
  auto m = std::make_unique<Mapping>();
  m->buf = std::make_unique<uint8_t[]>(size ? size : 1);
  m->size = size;
  m->phys = phys;
  void* cookie = m->buf.get();
  model().mappings.push_back(std::move(m));
  return cookie;
}

bool unmap(const volatile void* addr) {
  auto& maps = model().mappings;
  for (auto it = maps.begin(); it != maps.end(); ++it) {
    if ((*it)->buf.get() == addr) {
      maps.erase(it);
      return true;
    }
  }
  return false;
}

uint32_t mask(unsigned width) { return width == 32 ? 0xffffffffu : (1u << width) - 1; }

}  // namespace

void attach(uint64_t phys, size_t size, Device* device) {
  model().windows.push_back({phys, size, device});
}

const std::vector<Access>& accesses() { return model().accesses; }
void clear() { model().accesses.clear(); }
void on_access(std::function<void(const Access&)> hook) { model().hook = std::move(hook); }
size_t live_mappings() { return model().mappings.size(); }
void fail_next_ioremap() { model().fail_next = true; }

}  // namespace kb::mmio

namespace km = kb::mmio;

namespace {

void devm_unmap(void* data) {
  auto* dm = static_cast<km::DevmMapping*>(data);
  iounmap(dm->cookie);
  auto& regions = km::model().regions;
  for (auto it = regions.begin(); it != regions.end(); ++it) {
    if (it->start == dm->start) {
      regions.erase(it);
      break;
    }
  }
  auto& devm = km::model().devm;
  for (auto it = devm.begin(); it != devm.end(); ++it) {
    if (it->get() == dm) {
      devm.erase(it);
      break;
    }
  }
}

}  // namespace

extern "C" {

u32 kb_mmio_read(const volatile void __iomem* addr, unsigned int width, int relaxed) {
  uint64_t phys;
  if (!km::resolve(addr, width, &phys, "read")) return km::mask(width);
  km::Window* w = km::window_at(phys, width, "read");
  if (!w) return km::mask(width);
  auto offset = uint32_t(phys - w->phys);
  uint32_t value = w->device->read(offset, width) & km::mask(width);
  km::record(false, width, offset, value, relaxed);
  return value;
}

void kb_mmio_write(volatile void __iomem* addr, u32 value, unsigned int width, int relaxed) {
  uint64_t phys;
  if (!km::resolve(addr, width, &phys, "write")) return;
  km::Window* w = km::window_at(phys, width, "write");
  if (!w) return;
  auto offset = uint32_t(phys - w->phys);
  value &= km::mask(width);
  km::record(true, width, offset, value, relaxed);
  w->device->write(offset, value, width);
}

void __iomem* ioremap(phys_addr_t offset, size_t size) { return km::map(offset, size); }

void iounmap(volatile void __iomem* addr) {
  if (!addr) return;
  if (!km::unmap(addr)) kb::detail::violation("iounmap of an address that is not mapped");
}

void __iomem* devm_ioremap(struct device* dev, resource_size_t offset, resource_size_t size) {
  void* cookie = km::map(offset, size);
  if (!cookie) return nullptr;
  if (devm_add_action(
          dev, [](void* c) { iounmap(c); }, cookie)) {
    iounmap(cookie);
    return nullptr;
  }
  return cookie;
}

void __iomem* devm_ioremap_resource(struct device* dev, const struct resource* res) {
  if (!res || !(res->flags & IORESOURCE_MEM)) {
    kb_dev_printk(KERN_ERR, dev, "invalid resource\n");
    return ERR_PTR(-EINVAL);
  }
  uint64_t size = resource_size(res);
  for (const auto& r : km::model().regions) {
    if (res->start < r.start + r.size && r.start < res->start + size) {
      kb_dev_printk(KERN_ERR, dev, "can't request region for resource\n");
      return ERR_PTR(-EBUSY);
    }
  }
  void* cookie = km::map(res->start, size);
  if (!cookie) {
    kb_dev_printk(KERN_ERR, dev, "ioremap failed for resource\n");
    return ERR_PTR(-ENOMEM);
  }
  km::model().regions.push_back({res->start, size});
  km::model().devm.push_back(
      std::make_unique<km::DevmMapping>(km::DevmMapping{cookie, res->start}));
  km::DevmMapping* dm = km::model().devm.back().get();
  if (devm_add_action(dev, devm_unmap, dm)) {
    devm_unmap(dm);
    return ERR_PTR(-ENOMEM);
  }
  return cookie;
}

}  // extern "C"
