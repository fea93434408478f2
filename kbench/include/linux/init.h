/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: module_init/module_exit register the functions with the
 * bench under KBUILD_MODNAME, and kb::load()/kb::unload() call them.
 */
#ifndef KBENCH_LINUX_INIT_H
#define KBENCH_LINUX_INIT_H

#include <linux/compiler.h>
#include <stdlib.h> /* before __init: glibc has a member of that name */

#define __init
#define __exit
#define __initdata
#define __exitdata

KB_BEGIN_DECLS
void kb_register_init(const char *module, int (*fn)(void));
void kb_register_exit(const char *module, void (*fn)(void));
KB_END_DECLS

#define module_init(fn)                                                   \
	static void __attribute__((constructor)) kb_module_init_##fn(void) \
	{                                                                 \
		kb_register_init(KBUILD_MODNAME, fn);                     \
	}                                                                 \
	struct kb_swallow_semicolon
#define module_exit(fn)                                                   \
	static void __attribute__((constructor)) kb_module_exit_##fn(void) \
	{                                                                 \
		kb_register_exit(KBUILD_MODNAME, fn);                     \
	}                                                                 \
	struct kb_swallow_semicolon

#endif
