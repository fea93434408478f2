/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the bench is a kernel without IIO (no CONFIG_IIO), so a
 * driver may include this header but reaches nothing of it; its IIO device
 * is built and run on the board's kernels.
 */
#ifndef KBENCH_LINUX_IIO_IIO_H
#define KBENCH_LINUX_IIO_IIO_H

#endif
