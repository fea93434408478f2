/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * User-space interface of the tessel SAR converter device "sar".
 *
 * The commands are plain numbers: type byte 'a', command number in the low
 * byte, no direction or size bits, although SAR_IOC_READ moves the record
 * both ways.
 */
#ifndef _UAPI_LINUX_TESSEL_SAR_H
#define _UAPI_LINUX_TESSEL_SAR_H

#include <linux/types.h>

#define SAR_IOC_MAGIC	'a'

/* Initialise the converter (no argument). */
#define SAR_IOC_INIT	((SAR_IOC_MAGIC << 8) | 0)	/* 0x6100 */
/* Select channel (channel & 3), convert it, return the reading in value. */
#define SAR_IOC_READ	((SAR_IOC_MAGIC << 8) | 1)	/* 0x6101 */

/* Highest command number the driver accepts before decoding the command. */
#define SAR_IOC_MAXNR	2

#define SAR_NUM_CHANNELS	4

/*
 * The 8-byte record of SAR_IOC_READ, in the processor's byte order.
 * channel goes in and comes back exactly as written; value comes out,
 * 0 to 65535.
 */
struct sar_ioctl_data {
	__s32 channel;
	__s32 value;
};

/* The driver checks the size with BUILD_BUG_ON; C++ users check it here. */
#ifdef __cplusplus
static_assert(sizeof(struct sar_ioctl_data) == 8,
	      "struct sar_ioctl_data must be 8 bytes");
#endif

#endif /* _UAPI_LINUX_TESSEL_SAR_H */
