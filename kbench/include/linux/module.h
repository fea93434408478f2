/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: module information is recorded (kb::module_info). */
#ifndef KBENCH_LINUX_MODULE_H
#define KBENCH_LINUX_MODULE_H

#include <linux/bug.h>
#include <linux/err.h>
#include <linux/errno.h>
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/moduleparam.h>

struct module;
/* Like built-in code: the bench has no module reference counting. */
#define THIS_MODULE ((struct module *)0)

KB_BEGIN_DECLS
void kb_register_modinfo(const char *module, const char *tag, const char *value);
KB_END_DECLS

#define KB_MODINFO_(id, tag, value)                                       \
	static void __attribute__((constructor)) id(void)                 \
	{                                                                 \
		kb_register_modinfo(KBUILD_MODNAME, tag, value);          \
	}                                                                 \
	struct kb_swallow_semicolon
#define KB_MODINFO(tag, value) KB_MODINFO_(KB_UNIQUE(kb_modinfo_), tag, value)
#define MODULE_LICENSE(x) KB_MODINFO("license", x)
#define MODULE_DESCRIPTION(x) KB_MODINFO("description", x)
#define MODULE_AUTHOR(x) KB_MODINFO("author", x)
#define MODULE_VERSION(x) KB_MODINFO("version", x)
#define MODULE_ALIAS(x) KB_MODINFO("alias", x)
#define MODULE_DEVICE_TABLE(type, name)

/* Exports need no table: everything links into one test program. */
#define EXPORT_SYMBOL(sym)
#define EXPORT_SYMBOL_GPL(sym)

#endif
