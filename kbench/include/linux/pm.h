/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: system sleep callbacks, with CONFIG_PM_SLEEP on. */
#ifndef KBENCH_LINUX_PM_H
#define KBENCH_LINUX_PM_H

struct device;

struct dev_pm_ops {
	int (*suspend)(struct device *dev);
	int (*resume)(struct device *dev);
};

#define SET_SYSTEM_SLEEP_PM_OPS(suspend_fn, resume_fn) \
	.suspend = suspend_fn, .resume = resume_fn,

#define SIMPLE_DEV_PM_OPS(name, suspend_fn, resume_fn) \
	const struct dev_pm_ops name = { SET_SYSTEM_SLEEP_PM_OPS(suspend_fn, resume_fn) }

#endif
