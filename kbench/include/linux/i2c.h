/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the bench is a kernel without the I2C core (no
 * CONFIG_I2C), so a driver may include this header but reaches nothing of
 * it; its adapter code is built and run on the board's kernels.
 */
#ifndef KBENCH_LINUX_I2C_H
#define KBENCH_LINUX_I2C_H

#endif
