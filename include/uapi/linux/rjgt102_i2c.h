/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * Register access to the slave at 7-bit address 0x68 behind the gpio_i2c
 * bit-banged bus, through the misc device /dev/rjgt102_i2c.
 *
 * Each ioctl takes the user address of a struct gpioi2c_block. data[k]
 * belongs to register (start_reg + k) mod 256, so a range may wrap from 0xff
 * to 0x00. At most GPIOI2C_DATA_LEN registers are handled per call, even
 * when count is larger.
 */
#ifndef _UAPI_LINUX_RJGT102_I2C_H
#define _UAPI_LINUX_RJGT102_I2C_H

#include <linux/types.h>

/* Plain numbers, not _IO() encodings: existing programs use these values. */
#define GPIOI2C_CMD_READ	1	/* read count registers into data */
#define GPIOI2C_CMD_WRITE	3	/* write data to count registers */

#define GPIOI2C_DATA_LEN	88
#define GPIOI2C_BLOCK_SIZE	90

struct gpioi2c_block {
	__u8 start_reg;
	__u8 data[GPIOI2C_DATA_LEN];
	__u8 count;
};

/* The driver checks the size with BUILD_BUG_ON; C++ users check it here. */
#ifdef __cplusplus
static_assert(sizeof(struct gpioi2c_block) == GPIOI2C_BLOCK_SIZE,
	      "struct gpioi2c_block must be 90 bytes");
#endif

#endif /* _UAPI_LINUX_RJGT102_I2C_H */
