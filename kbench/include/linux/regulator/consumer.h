/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: only the converter's IIO device uses a regulator, and the
 * bench builds without IIO (see linux/iio/iio.h); nothing here.
 */
#ifndef KBENCH_LINUX_REGULATOR_CONSUMER_H
#define KBENCH_LINUX_REGULATOR_CONSUMER_H

#endif
