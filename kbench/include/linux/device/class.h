/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: classes, class devices and their attribute files, kept by
 * kb::sysfs. Tests read and write attributes through kb::sysfs as user
 * space would (a page-sized, NUL-terminated buffer). Included by
 * linux/device.h.
 */
#include <linux/compiler.h>

/* Linux 4.9 declares classes in device.h and has no such header. */
#if !defined(KB_FROM_DEVICE_H) && !KB_LINUX_AT_LEAST(5, 6, 0)
#error "linux/device/class.h is newer than Linux 4.9: include linux/device.h"
#endif

#ifndef KBENCH_LINUX_DEVICE_CLASS_H
#define KBENCH_LINUX_DEVICE_CLASS_H

#include <linux/sysfs.h>

struct device;
struct module;

/* C++ tests cannot say "struct class"; they see the same type as kb_class. */
#ifdef __cplusplus
#define KB_CLASS kb_class
#else
#define KB_CLASS class
#endif

struct KB_CLASS {
	const char *name;
	struct module *owner;
};

struct device_attribute {
	struct attribute attr;
	ssize_t (*show)(struct device *dev, struct device_attribute *attr, char *buf);
	ssize_t (*store)(struct device *dev, struct device_attribute *attr,
			 const char *buf, size_t count);
};

#define __ATTR(_name, _mode, _show, _store)                               \
	{ { #_name, _mode }, _show, _store }
#define DEVICE_ATTR(_name, _mode, _show, _store)                          \
	struct device_attribute dev_attr_##_name = __ATTR(_name, _mode, _show, _store)
#define DEVICE_ATTR_RW(_name) DEVICE_ATTR(_name, 0644, _name##_show, _name##_store)
#define DEVICE_ATTR_RO(_name) DEVICE_ATTR(_name, 0444, _name##_show, NULL)
#define DEVICE_ATTR_WO(_name) DEVICE_ATTR(_name, 0200, NULL, _name##_store)

#define MAJOR(dev) ((unsigned int)((dev) >> 20))
#define MINOR(dev) ((unsigned int)((dev) & 0xfffff))
#define MKDEV(ma, mi) (((ma) << 20) | (mi))

KB_BEGIN_DECLS
struct KB_CLASS *kb_class_create(struct module *owner, const char *name);
void class_destroy(struct KB_CLASS *cls);
__printf(5, 6) struct device *device_create(struct KB_CLASS *cls, struct device *parent,
					    dev_t devt, void *drvdata,
					    const char *fmt, ...);
__printf(6, 7) struct device *
device_create_with_groups(struct KB_CLASS *cls, struct device *parent,
			  dev_t devt, void *drvdata,
			  const struct attribute_group **groups,
			  const char *fmt, ...);
void device_destroy(struct KB_CLASS *cls, dev_t devt);
void device_unregister(struct device *dev);
int device_create_file(struct device *dev, const struct device_attribute *attr);
void device_remove_file(struct device *dev, const struct device_attribute *attr);
KB_END_DECLS

#if KB_LINUX_AT_LEAST(6, 4, 0)
#define class_create(name) kb_class_create(NULL, name)
#else
#define class_create(owner, name) kb_class_create(owner, name)
#endif

#endif
