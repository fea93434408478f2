/* SPDX-License-Identifier: GPL-2.0 WITH Linux-syscall-note */
/*
 * The device ABI as user space compiles it: both headers together, in C and
 * in C++, for the host and the board. Layout and command values must not
 * change, or programs built against an older header break.
 */
#include <linux/rjgt102_i2c.h>
#include <linux/tessel_sar.h>

#include <stddef.h>

#ifdef __cplusplus
#define ABI_ASSERT(cond) static_assert(cond, #cond)
#else
#define ABI_ASSERT(cond) _Static_assert(cond, #cond)
#endif

ABI_ASSERT(GPIOI2C_CMD_READ == 1);
ABI_ASSERT(GPIOI2C_CMD_WRITE == 3);
ABI_ASSERT(sizeof(struct gpioi2c_block) == 90);
ABI_ASSERT(offsetof(struct gpioi2c_block, start_reg) == 0);
ABI_ASSERT(offsetof(struct gpioi2c_block, data) == 1);
ABI_ASSERT(offsetof(struct gpioi2c_block, count) == 89);
ABI_ASSERT(GPIOI2C_DATA_LEN == 88 && GPIOI2C_BLOCK_SIZE == 90);

ABI_ASSERT(SAR_IOC_INIT == 0x6100);
ABI_ASSERT(SAR_IOC_READ == 0x6101);
ABI_ASSERT(SAR_IOC_MAXNR == 2);
ABI_ASSERT(sizeof(struct sar_ioctl_data) == 8);
ABI_ASSERT(offsetof(struct sar_ioctl_data, channel) == 0);
ABI_ASSERT(offsetof(struct sar_ioctl_data, value) == 4);
