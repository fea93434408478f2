// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in for the board kernel's shared sysfs class, so that drivers which
 * hang their class devices off it load on any kernel. Load it before them.
 */
#include <linux/device.h>
#include <linux/err.h>
#include <linux/module.h>
#include <linux/version.h>

#include <qvsys.h>

#define QVSYS_CLASS_NAME	"qvsys"

static struct class *qvsys_class;

struct class *qvsys_get_sysfs_class(void)
{
	return qvsys_class;
}
EXPORT_SYMBOL(qvsys_get_sysfs_class);

static int __init qvsys_init(void)
{
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 4, 0)
	qvsys_class = class_create(QVSYS_CLASS_NAME);
#else
	qvsys_class = class_create(THIS_MODULE, QVSYS_CLASS_NAME);
#endif
	return PTR_ERR_OR_ZERO(qvsys_class);
}
module_init(qvsys_init);

static void __exit qvsys_exit(void)
{
	class_destroy(qvsys_class);
}
module_exit(qvsys_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Platform services stand-in: shared sysfs class");
