/* SPDX-License-Identifier: GPL-2.0 */
/*
 * CamOs: the camera platform's thin operating-system layer, as offered to
 * sensor driver modules.
 */
#ifndef CAM_OS_H
#define CAM_OS_H

#include <linux/compiler.h>
#include <linux/types.h>

/* Returns uninitialised memory, or NULL. May sleep. */
void *CamOsMemAlloc(u32 size);
void CamOsMemRelease(void *ptr);

/* Log text, printf-style; the kernel log on Linux. */
__printf(1, 2) int CamOsPrintf(const char *fmt, ...);

/* Sleeps at least ms milliseconds. */
void CamOsMsSleep(u32 ms);
/* Busy-waits us microseconds. */
void CamOsUsDelay(u32 us);

#endif /* CAM_OS_H */
