// SPDX-License-Identifier: GPL-2.0
// kmalloc with failure injection, and device-managed resources.
#include <linux/device.h>
#include <linux/slab.h>

#include <cstdlib>
#include <map>
#include <set>

#include "kbench.h"
#include "internal.h"

namespace kb {
namespace {

struct Devres {
  void* memory;  // or nullptr for an action
  void (*action)(void*);
  void* data;
};

std::set<const void*> live_blocks;
unsigned fail_countdown = 0;
std::map<device*, std::vector<Devres>> devres;
detail::ResetHook hook([] {
  // Device-managed memory of devices never unbound goes with the device.
  for (auto& [dev, list] : devres)
    for (auto& r : list)
      if (r.memory) std::free(r.memory);
  devres.clear();
  live_blocks.clear();
  fail_countdown = 0;
});

void* allocate(size_t size, bool zero) {
  if (fail_countdown && --fail_countdown == 0) return nullptr;
  void* p = zero ? std::calloc(1, size ? size : 1) : std::malloc(size ? size : 1);
  if (p) live_blocks.insert(p);
  return p;
}

void release(const void* p) {
  if (!p) return;
  if (!live_blocks.erase(p)) {
    detail::violation("kfree of memory that is not allocated");
    return;
  }
  std::free(const_cast<void*>(p));
}

}  // namespace

namespace mem {
void fail_nth(unsigned n) { fail_countdown = n; }
size_t live() { return live_blocks.size(); }
}  // namespace mem

void devres_release_all(device* dev) {
  auto it = devres.find(dev);
  if (it == devres.end()) return;
  auto list = std::move(it->second);
  devres.erase(it);
  for (auto r = list.rbegin(); r != list.rend(); ++r) {
    if (r->memory)
      release(r->memory);
    else
      r->action(r->data);
  }
}

}  // namespace kb

extern "C" {

void* kmalloc(size_t size, gfp_t) { return kb::allocate(size, false); }
void* kzalloc(size_t size, gfp_t) { return kb::allocate(size, true); }

void* kmalloc_array(size_t n, size_t size, gfp_t flags) {
  if (size && n > SIZE_MAX / size) return nullptr;
  return kmalloc(n * size, flags);
}

void* kcalloc(size_t n, size_t size, gfp_t flags) {
  if (size && n > SIZE_MAX / size) return nullptr;
  return kzalloc(n * size, flags);
}

void kfree(const void* p) { kb::release(p); }

void* devm_kmalloc(struct device* dev, size_t size, gfp_t) {
  void* p = kb::allocate(size, false);
  if (p) kb::devres[dev].push_back({p, nullptr, nullptr});
  return p;
}

void* devm_kzalloc(struct device* dev, size_t size, gfp_t) {
  void* p = kb::allocate(size, true);
  if (p) kb::devres[dev].push_back({p, nullptr, nullptr});
  return p;
}

void devm_kfree(struct device* dev, const void* p) {
  auto& list = kb::devres[dev];
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->memory == p) {
      list.erase(it);
      kb::release(p);
      return;
    }
  }
  kb::detail::violation("devm_kfree of memory the device does not own");
}

int devm_add_action(struct device* dev, void (*action)(void*), void* data) {
  kb::devres[dev].push_back({nullptr, action, data});
  return 0;
}

int devm_add_action_or_reset(struct device* dev, void (*action)(void*), void* data) {
  return devm_add_action(dev, action, data);
}

}  // extern "C"
