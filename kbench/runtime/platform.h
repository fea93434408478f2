/* SPDX-License-Identifier: GPL-2.0 */
// Platform devices on the bench: tests describe devices (with an optional
// device-tree node and memory resources) the way a board's device tree
// would; the bench binds registered platform drivers to them like the
// driver core: match, probe, and on failure or unbind release the
// device-managed resources and clear the driver data.
#ifndef KBENCH_RUNTIME_PLATFORM_H
#define KBENCH_RUNTIME_PLATFORM_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct platform_device;
struct platform_driver;
struct device_node;

namespace kb::platform {

struct Node {
  std::string name;                     // e.g. "sar@1f002000"
  std::vector<std::string> compatible;  // most specific first
  std::vector<std::string> clocks;      // kb::clk names, in "clocks" order
};

struct Mem {
  uint64_t start;
  uint64_t size;
};

struct DeviceDesc {
  std::string name;             // platform device name
  std::optional<Node> of_node;  // none: a device without device-tree node
  std::vector<Mem> mem;         // IORESOURCE_MEM resources, by index
  uint32_t devt = 0;            // device number; 0 as for device-tree devices
};

// Registers a device (binding it when a registered driver matches). The
// device lives until remove() or reset().
platform_device* add(const DeviceDesc& desc);
// Unbinds (if bound) and unregisters the device.
void remove(platform_device* pdev);

// The result of the device's last probe; nullopt when never probed.
std::optional<int> probe_result(const platform_device* pdev);
bool bound(const platform_device* pdev);
// Binds again after unbind() (or a failed probe); returns the probe result,
// -ENODEV when no registered driver matches.
int bind(platform_device* pdev);
void unbind(platform_device* pdev);

// The legacy system-sleep callbacks of the bound driver (0 when it has none).
int suspend(platform_device* pdev);
int resume(platform_device* pdev);

// Drivers registered and not yet unregistered.
size_t drivers();

// For the clock model: the "clocks" of a node (nullptr for none).
const std::vector<std::string>* node_clocks(const device_node* np);

}  // namespace kb::platform

#endif
