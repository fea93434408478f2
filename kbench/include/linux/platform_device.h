/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: platform devices are described by tests (kb::platform);
 * registering a driver binds it to every matching device (device-tree
 * compatible first, then the driver name), as the driver core does.
 */
#ifndef KBENCH_LINUX_PLATFORM_DEVICE_H
#define KBENCH_LINUX_PLATFORM_DEVICE_H

#include <linux/device.h>
#include <linux/ioport.h>
#include <linux/mod_devicetable.h>
#include <linux/module.h>
#include <linux/pm.h>

typedef struct pm_message {
	int event;
} pm_message_t;

#define PM_EVENT_SUSPEND 0x0002

struct device_driver {
	const char *name;
	struct module *owner;
	const struct of_device_id *of_match_table;
	const struct dev_pm_ops *pm;
};

struct platform_device {
	const char *name;
	int id;
	struct device dev;
	u32 num_resources;
	struct resource *resource;
	const struct platform_device_id *id_entry;
};

struct platform_driver {
	int (*probe)(struct platform_device *);
#if KB_LINUX_AT_LEAST(6, 11, 0)
	void (*remove)(struct platform_device *);
#else
	int (*remove)(struct platform_device *);
#endif
	void (*remove_new)(struct platform_device *);
	void (*shutdown)(struct platform_device *);
	int (*suspend)(struct platform_device *, pm_message_t state);
	int (*resume)(struct platform_device *);
	struct device_driver driver;
	const struct platform_device_id *id_table;
	bool prevent_deferred_probe;
};

#define to_platform_device(x) container_of((x), struct platform_device, dev)

static inline void *platform_get_drvdata(const struct platform_device *pdev)
{
	return dev_get_drvdata(&pdev->dev);
}

static inline void platform_set_drvdata(struct platform_device *pdev, void *data)
{
	dev_set_drvdata(&pdev->dev, data);
}

KB_BEGIN_DECLS
struct resource *platform_get_resource(struct platform_device *pdev,
				       unsigned int type, unsigned int num);
#if KB_LINUX_AT_LEAST(5, 1, 0)
void __iomem *devm_platform_ioremap_resource(struct platform_device *pdev,
					     unsigned int index);
#endif
int kb_platform_driver_register(struct platform_driver *drv, struct module *owner,
				int version);
void platform_driver_unregister(struct platform_driver *drv);
KB_END_DECLS

/* The bench must know which remove() signature the driver was built with. */
#define __platform_driver_register(drv, owner)                            \
	kb_platform_driver_register(drv, owner, KBENCH_LINUX_VERSION)
#define platform_driver_register(drv) __platform_driver_register(drv, THIS_MODULE)

#define module_platform_driver(drv)                                       \
	static int __init drv##_init(void)                                \
	{                                                                 \
		return platform_driver_register(&(drv));                  \
	}                                                                 \
	module_init(drv##_init);                                          \
	static void __exit drv##_exit(void)                               \
	{                                                                 \
		platform_driver_unregister(&(drv));                       \
	}                                                                 \
	module_exit(drv##_exit)

#endif
