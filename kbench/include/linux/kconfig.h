/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: Kbuild's forced include, as Linux 4.9 has it. The bench
 * defines no CONFIG_ symbol, so a driver builds as for a kernel without
 * the optional subsystems (the I2C core, IIO); the board's kernels build
 * the other side.
 */
#ifndef KBENCH_LINUX_KCONFIG_H
#define KBENCH_LINUX_KCONFIG_H

#define __ARG_PLACEHOLDER_1 0,
#define __take_second_arg(__ignored, val, ...) val
#define __is_defined(x) ___is_defined(x)
#define ___is_defined(val) ____is_defined(__ARG_PLACEHOLDER_##val)
#define ____is_defined(arg1_or_junk) __take_second_arg(arg1_or_junk 1, 0)

#define IS_BUILTIN(option) __is_defined(option)
#define IS_MODULE(option) __is_defined(option##_MODULE)
#define IS_ENABLED(option) (IS_BUILTIN(option) || IS_MODULE(option))
#define IS_REACHABLE(option) \
	(IS_BUILTIN(option) || (IS_MODULE(option) && __is_defined(MODULE)))

#endif
