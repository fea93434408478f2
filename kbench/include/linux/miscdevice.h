/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: registered misc devices are kept by name; tests open them
 * and call their file operations through kb::MiscFile.
 */
#ifndef KBENCH_LINUX_MISCDEVICE_H
#define KBENCH_LINUX_MISCDEVICE_H

#include <linux/fs.h>
#include <linux/device.h>

#define MISC_DYNAMIC_MINOR 255

struct miscdevice {
	int minor;
	const char *name;
	const struct file_operations *fops;
	struct device *parent;
	struct device *this_device;
	const char *nodename;
	umode_t mode;
};

KB_BEGIN_DECLS
int misc_register(struct miscdevice *misc);
void misc_deregister(struct miscdevice *misc);
KB_END_DECLS

#endif
