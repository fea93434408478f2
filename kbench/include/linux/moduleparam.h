/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: each parameter is registered with the bench, which sets it
 * from a string before loading (kb::set_param) like insmod would.
 */
#ifndef KBENCH_LINUX_MODULEPARAM_H
#define KBENCH_LINUX_MODULEPARAM_H

#include <linux/types.h>

KB_BEGIN_DECLS
void kb_register_param(const char *module, const char *name, const char *type,
		       void *value, umode_t perm);
void kb_register_param_desc(const char *module, const char *name, const char *desc);
KB_END_DECLS

#define KB_CONCAT_(a, b) a##b
#define KB_CONCAT(a, b) KB_CONCAT_(a, b)
#define KB_UNIQUE(prefix) KB_CONCAT(prefix, __COUNTER__)

#define KB_PARAM_(id, name, type, perm)                                   \
	static void __attribute__((constructor)) id(void)                 \
	{                                                                 \
		kb_register_param(KBUILD_MODNAME, #name, #type, &(name), perm); \
	}                                                                 \
	struct kb_swallow_semicolon
#define module_param(name, type, perm) KB_PARAM_(KB_UNIQUE(kb_param_), name, type, perm)

#define KB_PARM_DESC_(id, name, desc)                                     \
	static void __attribute__((constructor)) id(void)                 \
	{                                                                 \
		kb_register_param_desc(KBUILD_MODNAME, #name, desc);      \
	}                                                                 \
	struct kb_swallow_semicolon
#define MODULE_PARM_DESC(name, desc) KB_PARM_DESC_(KB_UNIQUE(kb_parm_desc_), name, desc)

#endif
