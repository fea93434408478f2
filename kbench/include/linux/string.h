/* SPDX-License-Identifier: GPL-2.0 */
#ifndef KBENCH_LINUX_STRING_H
#define KBENCH_LINUX_STRING_H
#include <string.h>
#endif
