/* SPDX-License-Identifier: LicenseRef-Proprietary */
/*
 * MN34229 MIPI image sensor driver: state shared by the handle, power/init
 * and exposure parts of the driver.
 */
#ifndef MN34229_H
#define MN34229_H

#include <linux/bitops.h>
#include <linux/spinlock.h>
#include <linux/types.h>

#include "camsensor.h"

#define SENSOR_MODEL_NAME	"MN34229_MIPI"

/* Sensor registers */
#define MN34229_REG_EXPO_B16	0x0220	/* exposure lines, bit 16 */
#define MN34229_REG_EXPO_H	0x0202	/* exposure lines, bits 15..8 */
#define MN34229_REG_EXPO_L	0x0203	/* exposure lines, bits 7..0 */
#define MN34229_REG_GAIN_H	0x0204	/* gain code, bits 15..8 */
#define MN34229_REG_GAIN_L	0x0205	/* gain code, bits 7..0 */
#define MN34229_REG_VTS_H	0x0340	/* frame length lines, bits 15..8 */
#define MN34229_REG_VTS_L	0x0341	/* frame length lines, bits 7..0 */
#define MN34229_REG_ORIENT	0x0101
#define MN34229_ORIENT_BIT	BIT(1)

/* Handle's orient value that sets MN34229_ORIENT_BIT */
#define MN34229_ORIENT_FLIP	2

#define MN34229_RES_30FPS	0
#define MN34229_RES_60FPS	1
#define MN34229_RES_COUNT	2

/* Line period in ns of each mode */
#define MN34229_LINE_NS_30FPS	29629
#define MN34229_LINE_NS_60FPS	14800

#define MN34229_VTS_BASE	1125
#define MN34229_VTS_MAX		0xFFFF	/* frame length register is 16 bits */
/* The frame must be 2 lines longer than the exposure. */
#define MN34229_EXPO_MAX_LINES	(MN34229_VTS_MAX - 2)
#define MN34229_EXPO_DEFAULT	673

#define MN34229_GAIN_MIN	1024
#define MN34229_GAIN_MAX	32382
#define MN34229_EXPO_MIN_US	1
#define MN34229_EXPO_MAX_US	333333
#define MN34229_SHUTTER_MAX_NS	333333333

/*
 * One private record per registered pad (the handle's private_data). @lock
 * guards the exposure state, the templates, the dirty flags and the
 * handle's orient: setters may run in any context, while the notification
 * writes a copy taken under it. Each pad has its own mode, so its own line
 * period: one sensor's mode change must not rescale another's exposure.
 */
struct mn34229_priv {
	u32 vts;		/* base frame length at the requested rate */
	u32 fps;		/* fps, or mfps when >= 3000 */
	u32 expo_lines;
	u32 pad_id;
	u32 gain;		/* clamped request, 1024 = 1x */
	u8 ae_dirty;		/* exposure/gain/frame length to be written */
	struct reg_entry vts_regs[2];
	struct reg_entry gain_regs[2];
	struct reg_entry expo_regs[3];
	u8 orient_dirty;	/* register 0x0101 to be rewritten */
	u32 Preview_line_period;	/* ns per line in the pad's mode */
	spinlock_t lock;
};

/* Module-wide, shared by all pads */
extern const u32 vts_60fps;

/* Power, initialisation tables, modes and orientation */
int pCus_poweron(struct camsensor_handle *handle, u32 pad);
int pCus_poweroff(struct camsensor_handle *handle, u32 pad);
int pCus_init_2m_30fps_mipi4lane_linear(struct camsensor_handle *handle);
int pCus_init_mipi4lane_linear(struct camsensor_handle *handle);
int pCus_SetVideoRes(struct camsensor_handle *handle, u32 index);
int pCus_GetVideoResNum(struct camsensor_handle *handle, u32 *count);
int pCus_GetVideoRes(struct camsensor_handle *handle, u32 index,
		     struct res_entry **entry);
int pCus_GetCurVideoRes(struct camsensor_handle *handle, u32 *index,
			struct res_entry **entry);
int pCus_GetOrien(struct camsensor_handle *handle, u32 *orient);
int pCus_SetOrien(struct camsensor_handle *handle, u32 orient);
int MN34229_SetPatternMode(struct camsensor_handle *handle, u32 mode);
int pCus_GetSensorID(struct camsensor_handle *handle, u32 *id);

/* Exposure, gain and frame rate */
int pCus_SetAEUSecs(struct camsensor_handle *handle, u32 us);
int pCus_GetAEUSecs(struct camsensor_handle *handle, u32 *us);
int pCus_SetAEGain(struct camsensor_handle *handle, u32 gain);
int pCus_GetAEGain(struct camsensor_handle *handle, u32 *gain);
u32 pCus_TryAEGain(struct camsensor_handle *handle, u32 gain);
int pCus_SetFPS(struct camsensor_handle *handle, u32 fps);
u32 pCus_GetFPS(struct camsensor_handle *handle);
int pCus_AEStatusNotify(struct camsensor_handle *handle, u32 status);
int pCus_GetAEMinMaxUSecs(struct camsensor_handle *handle, u32 *min, u32 *max);
int pCus_GetAEMinMaxGain(struct camsensor_handle *handle, u32 *min, u32 *max);
int MN34229_GetShutterInfo(struct camsensor_handle *handle,
			   struct shutter_info *info);

/* Handle */
int cus_camsensor_init_handle_linear(struct camsensor_handle *handle);
int cus_camsensor_release_handle(struct camsensor_handle *handle);

#endif /* MN34229_H */
