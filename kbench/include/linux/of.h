/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: a device-tree node is what a test describes with
 * kb::platform::Node (compatible strings, clocks); drivers see it only
 * through the of_* calls below.
 */
#ifndef KBENCH_LINUX_OF_H
#define KBENCH_LINUX_OF_H

#include <linux/types.h>
#include <linux/mod_devicetable.h>

struct device_node;
struct device;

KB_BEGIN_DECLS
int of_device_is_compatible(const struct device_node *node, const char *compat);
const struct of_device_id *of_match_node(const struct of_device_id *matches,
					 const struct device_node *node);
const struct of_device_id *of_match_device(const struct of_device_id *matches,
					   const struct device *dev);
const void *of_device_get_match_data(const struct device *dev);
KB_END_DECLS

#define of_match_ptr(ptr) (ptr)

#endif
