/* SPDX-License-Identifier: GPL-2.0 */
// Memory-mapped register windows on the bench.
//
// A test attaches a device model to a range of the physical address space;
// ioremap()/devm_ioremap_resource() of a range inside it hands the driver a
// cookie, and every readX/writeX through that cookie reaches the model and
// is recorded with its width and bus offset. An access through a pointer
// that no live mapping covers is a violation (the real kernel would oops).
#ifndef KBENCH_RUNTIME_MMIO_H
#define KBENCH_RUNTIME_MMIO_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kb::mmio {

// What sits behind a window. Offsets count bytes from the attach address;
// width is 8, 16 or 32.
class Device {
 public:
  virtual ~Device() = default;
  virtual uint32_t read(uint32_t offset, unsigned width) = 0;
  virtual void write(uint32_t offset, uint32_t value, unsigned width) = 0;
};

// Puts device at [phys, phys + size) until reset(). The device must outlive
// the test's use of it.
void attach(uint64_t phys, size_t size, Device* device);

struct Access {
  bool write;
  unsigned width;
  uint32_t offset;  // from the attach address of the device
  uint32_t value;   // read or written, zero-extended
  bool relaxed;     // readl_relaxed/writel_relaxed (no barrier)
  uint64_t time_ns;
  int locks_held;  // spinlocks held by the caller at the time
  bool irqs_enabled;
};
// Every access since reset() or clear(), in order.
const std::vector<Access>& accesses();
void clear();

// Called after every recorded access, until reset(): lets a test act at a
// precise point of a driver's register sequence.
void on_access(std::function<void(const Access&)> hook);

// Live mappings, for checks that nothing stays mapped.
size_t live_mappings();

// The next ioremap (plain or device-managed) fails (once).
void fail_next_ioremap();

}  // namespace kb::mmio

#endif
