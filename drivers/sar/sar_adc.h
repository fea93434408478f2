/* SPDX-License-Identifier: GPL-2.0 */
/*
 * tessel SAR converter: what other kernel modules may call.
 */
#ifndef _SAR_ADC_H
#define _SAR_ADC_H

#include <linux/types.h>

/*
 * Initialise the converter. Only the first call after the device is bound,
 * and the first after each system suspend, touches the hardware; call it
 * before reading and again after a resume.
 */
void qv_sar_hw_init(void);

/*
 * Convert channel 0 to 3 and return its 16-bit reading (0 to 65535). Any
 * other channel yields 0 and an error line in the kernel log. Never sleeps,
 * so it may be called from atomic context: it busy-waits for the
 * converter, about 100 ms at most; a conversion already running is shared.
 * While an earlier conversion has not finished within its wait (a stuck
 * converter) it yields 0 at once and "converter busy" in the log; while
 * the device is suspended, 0 and "converter suspended". Only while the
 * device is bound.
 */
int qv_sar_get(int channel);

/*
 * Register access, used inside the module. addr counts bytes of 16-bit
 * register space (0x00, 0x02, ...); bit 0 is ignored.
 */
int HAL_SAR_Write2Byte(u32 addr, u16 value);
u16 HAL_SAR_Read2Byte(u32 addr);
int HAL_SAR_Write2ByteMask(u32 addr, u16 value, u16 mask);

#endif /* _SAR_ADC_H */
