/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: a device is a name, a parent and driver data; dev_*()
 * messages go to the bench log with the device name in front. Device-managed
 * memory is released by kb::devres_release_all() (what unbinding does).
 */
#ifndef KBENCH_LINUX_DEVICE_H
#define KBENCH_LINUX_DEVICE_H

#include <linux/bug.h>
#include <linux/err.h>
#include <linux/errno.h>
#include <linux/kernel.h>

struct device_node;

struct device {
	const char *init_name;
	struct device *parent;
	struct device_node *of_node;
	void *platform_data;
	void *driver_data;
	dev_t devt;
};

static inline const char *dev_name(const struct device *dev)
{
	return dev->init_name ? dev->init_name : "(unnamed)";
}

static inline void *dev_get_drvdata(const struct device *dev)
{
	return dev->driver_data;
}

static inline void dev_set_drvdata(struct device *dev, void *data)
{
	dev->driver_data = data;
}

KB_BEGIN_DECLS
__printf(3, 4) void kb_dev_printk(const char *level, const struct device *dev,
				  const char *fmt, ...);
void *devm_kmalloc(struct device *dev, size_t size, gfp_t gfp);
void *devm_kzalloc(struct device *dev, size_t size, gfp_t gfp);
void devm_kfree(struct device *dev, const void *p);
int devm_add_action(struct device *dev, void (*action)(void *), void *data);
int devm_add_action_or_reset(struct device *dev, void (*action)(void *), void *data);
KB_END_DECLS

#define dev_emerg(dev, fmt, ...) kb_dev_printk(KERN_EMERG, dev, fmt, ##__VA_ARGS__)
#define dev_crit(dev, fmt, ...) kb_dev_printk(KERN_CRIT, dev, fmt, ##__VA_ARGS__)
#define dev_err(dev, fmt, ...) kb_dev_printk(KERN_ERR, dev, fmt, ##__VA_ARGS__)
#define dev_warn(dev, fmt, ...) kb_dev_printk(KERN_WARNING, dev, fmt, ##__VA_ARGS__)
#define dev_notice(dev, fmt, ...) kb_dev_printk(KERN_NOTICE, dev, fmt, ##__VA_ARGS__)
#define dev_info(dev, fmt, ...) kb_dev_printk(KERN_INFO, dev, fmt, ##__VA_ARGS__)
#define dev_dbg(dev, fmt, ...) kb_dev_printk(KERN_DEBUG, dev, fmt, ##__VA_ARGS__)

/* Classes, class devices and attribute files (kb::sysfs). */
#define KB_FROM_DEVICE_H
#include <linux/device/class.h>
#undef KB_FROM_DEVICE_H

#endif
