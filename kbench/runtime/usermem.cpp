// SPDX-License-Identifier: GPL-2.0
// The calling process's memory as the driver sees it through user copies.
#include <linux/uaccess.h>

#include <cstring>

#include "kbench.h"
#include "internal.h"

namespace kb::user {
namespace {

constexpr uintptr_t kPage = 4096;
constexpr uintptr_t kFirst = 0x10000;

struct Region {
  uintptr_t addr;
  std::vector<uint8_t> bytes;
  size_t fault_from;  // copies fail from this offset on
  bool writable;
};

std::vector<Region> regions;
std::vector<Copy> copy_list;
uintptr_t next_addr = kFirst;
detail::ResetHook hook([] {
  regions.clear();
  copy_list.clear();
  next_addr = kFirst;
});

Region* find(uintptr_t addr) {
  for (auto& r : regions)
    if (addr >= r.addr && addr - r.addr < r.bytes.size()) return &r;
  return nullptr;
}

// Pointer to a byte a copy may touch, or nullptr where it faults.
uint8_t* byte_at(uintptr_t addr, bool to_user) {
  Region* r = find(addr);
  if (!r || addr - r->addr >= r->fault_from || (to_user && !r->writable)) return nullptr;
  return &r->bytes[addr - r->addr];
}

Region& must_find(uintptr_t addr, size_t len) {
  Region* r = find(addr);
  if (!r || addr - r->addr + len > r->bytes.size()) std::abort();  // a broken test
  return *r;
}

bool range_ok(uintptr_t addr, unsigned long size) {
  return addr <= kTaskSize && size <= kTaskSize - addr;
}

// Copies byte by byte up to the first fault; returns the bytes not copied.
size_t copy(bool to_user, uintptr_t addr, uint8_t* kbuf, size_t n) {
  if (detail::atomic_context())
    detail::violation(std::string("user copy in atomic context: ") +
                      (to_user ? "copy_to_user" : "copy_from_user"));
  size_t done = 0;
  if (range_ok(addr, n)) {
    for (; done < n; ++done) {
      uint8_t* b = byte_at(addr + done, to_user);
      if (!b) break;
      if (to_user)
        *b = kbuf[done];
      else
        kbuf[done] = *b;
    }
  }
  copy_list.push_back({to_user, addr, n, n - done, now_ns()});
  return n - done;
}

}  // namespace

uintptr_t map_at(uintptr_t addr, size_t len) {
  regions.push_back({addr, std::vector<uint8_t>(len), len, true});
  return addr;
}

uintptr_t map(size_t len) {
  uintptr_t addr = next_addr;
  // Leave at least one unmapped page after every mapping.
  next_addr += (len + 2 * kPage - 1) / kPage * kPage + kPage;
  return map_at(addr, len);
}

uintptr_t map(const std::vector<uint8_t>& bytes) {
  uintptr_t addr = map(bytes.size());
  write(addr, bytes);
  return addr;
}

void unmap(uintptr_t addr) {
  for (auto it = regions.begin(); it != regions.end(); ++it) {
    if (it->addr == addr) {
      regions.erase(it);
      return;
    }
  }
}

std::vector<uint8_t> read(uintptr_t addr, size_t len) {
  Region& r = must_find(addr, len);
  auto first = r.bytes.begin() + std::ptrdiff_t(addr - r.addr);
  return {first, first + std::ptrdiff_t(len)};
}

void write(uintptr_t addr, const std::vector<uint8_t>& bytes) {
  Region& r = must_find(addr, bytes.size());
  std::copy(bytes.begin(), bytes.end(), r.bytes.begin() + std::ptrdiff_t(addr - r.addr));
}

void fault_from(uintptr_t addr, size_t offset) {
  Region& r = must_find(addr, 0);
  r.fault_from = addr - r.addr + offset;
}

void read_only(uintptr_t addr) { must_find(addr, 0).writable = false; }

const std::vector<Copy>& copies() { return copy_list; }

}  // namespace kb::user

extern "C" {

unsigned long copy_from_user(void* to, const void __user* from, unsigned long n) {
  auto* dst = static_cast<uint8_t*>(to);
  size_t left = kb::user::copy(false, reinterpret_cast<uintptr_t>(from), dst, n);
  // The kernel zero-fills what it could not copy.
  std::memset(dst + (n - left), 0, left);
  return left;
}

unsigned long copy_to_user(void __user* to, const void* from, unsigned long n) {
  auto* src = static_cast<uint8_t*>(const_cast<void*>(from));
  return kb::user::copy(true, reinterpret_cast<uintptr_t>(to), src, n);
}

int kb_access_ok(const void __user* addr, unsigned long size) {
  return kb::user::range_ok(reinterpret_cast<uintptr_t>(addr), size);
}

}  // extern "C"
