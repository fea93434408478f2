// SPDX-License-Identifier: LicenseRef-Proprietary
/*
 * MN34229 MIPI image sensor driver: power sequencing, register
 * initialisation for the two 1080p modes, mode selection and orientation.
 */
#include <linux/bug.h>
#include <linux/compiler.h>
#include <linux/kernel.h>
#include <linux/printk.h>
#include <linux/spinlock.h>

#include "cam_os.h"
#include "camsensor.h"
#include "mn34229.h"

#define MN34229_INIT_TABLE_ROWS		155
/* A write the sensor refuses is retried at once, at most this many calls. */
#define MN34229_INIT_WRITE_TRIES	10

/* Fixed tags of the init failure messages (they are not line numbers) */
#define MN34229_INIT_30FPS_FAIL_TAG	716
#define MN34229_INIT_60FPS_FAIL_TAG	669

/* MIPI receiver settings at power-on */
#define MN34229_IF_SETUP_2_ON		4
#define MN34229_IF_SETUP_2_OFF		(-1)
#define MN34229_IF_SETUP_4_FMT		0x1C00

/* Reset pulse and clock start-up waits */
#define MN34229_PWDN_SETTLE_US		1
#define MN34229_RESET_STEP_US		100

/* 1920x1080 at 30 fps, 4 MIPI lanes, linear mode; row number at line end */
static const struct reg_entry mn34229_init_30fps[MN34229_INIT_TABLE_ROWS] = {
	{ 0x3022, 0x00 }, { 0x3023, 0x33 }, { 0x300E, 0x01 }, { 0x300F, 0x00 },	/* 0 */
	{ 0x0304, 0x00 }, { 0x0305, 0x02 }, { 0x0306, 0x00 }, { 0x0307, 0x24 },	/* 4 */
	{ 0x3000, 0x00 }, { 0x3001, 0x03 }, { 0x0112, 0x0C }, { 0x0113, 0x0C },	/* 8 */
	{ 0x3005, 0x64 }, { 0x3007, 0x14 }, { 0x3009, 0x0E }, { 0x300A, 0xFF },	/* 12 */
	{ 0x300B, 0x00 }, { 0x3018, 0x43 }, { 0x3019, 0x10 }, { 0x301A, 0xB9 },	/* 16 */
	{ 0x3000, 0x00 }, { 0x3001, 0x53 }, { 0x300E, 0x00 }, { 0x300F, 0x00 },	/* 20 */
	{ 0x0202, 0x04 }, { 0x0203, 0x63 }, { 0x0204, 0x01 }, { 0x0205, 0xC0 },	/* 24 */
	{ 0x3036, 0x00 }, { 0x3039, 0x2E }, { 0x0340, 0x04 }, { 0x0341, 0x65 },	/* 28 */
	{ 0x0342, 0x08 }, { 0x0343, 0x98 }, { 0x0346, 0x00 }, { 0x0347, 0x3C },	/* 32 */
	{ 0x034A, 0x04 }, { 0x034B, 0x7F }, { 0x034E, 0x04 }, { 0x034F, 0x44 },	/* 36 */
	{ 0x3031, 0x00 }, { 0x3032, 0x00 }, { 0x3036, 0x00 }, { 0x3039, 0x2E },	/* 40 */
	{ 0x3041, 0x2C }, { 0x3058, 0x0F }, { 0x3059, 0xFF }, { 0x305B, 0x00 },	/* 44 */
	{ 0x3062, 0x10 }, { 0x3063, 0x24 }, { 0x306E, 0x0C }, { 0x306F, 0x00 },	/* 48 */
	{ 0x3074, 0x01 }, { 0x3076, 0x40 }, { 0x307C, 0x2C }, { 0x3085, 0x33 },	/* 52 */
	{ 0x3087, 0x01 }, { 0x3088, 0x07 }, { 0x3089, 0x02 }, { 0x308B, 0x09 },	/* 56 */
	{ 0x308C, 0x03 }, { 0x308D, 0x02 }, { 0x308E, 0x02 }, { 0x308F, 0x02 },	/* 60 */
	{ 0x3090, 0x02 }, { 0x3094, 0x0B }, { 0x3095, 0x76 }, { 0x3098, 0x00 },	/* 64 */
	{ 0x3099, 0x00 }, { 0x309A, 0x01 }, { 0x3101, 0x00 }, { 0x3104, 0x04 },	/* 68 */
	{ 0x3106, 0x00 }, { 0x3107, 0xC0 }, { 0x312B, 0x00 }, { 0x312D, 0x00 },	/* 72 */
	{ 0x312F, 0x00 }, { 0x3141, 0x40 }, { 0x3143, 0x02 }, { 0x3144, 0x02 },	/* 76 */
	{ 0x3145, 0x02 }, { 0x3146, 0x00 }, { 0x3147, 0x02 }, { 0x3148, 0x02 },	/* 80 */
	{ 0x3149, 0x02 }, { 0x314A, 0x01 }, { 0x314B, 0x02 }, { 0x314C, 0x02 },	/* 84 */
	{ 0x314D, 0x02 }, { 0x314E, 0x01 }, { 0x314F, 0x02 }, { 0x3150, 0x02 },	/* 88 */
	{ 0x3152, 0x04 }, { 0x3153, 0xE3 }, { 0x3155, 0xCA }, { 0x3157, 0xCA },	/* 92 */
	{ 0x3159, 0xCA }, { 0x315B, 0xCA }, { 0x315D, 0xCA }, { 0x315F, 0xCA },	/* 96 */
	{ 0x3161, 0xCA }, { 0x3163, 0xCA }, { 0x3165, 0xCA }, { 0x3167, 0xCA },	/* 100 */
	{ 0x3169, 0xCA }, { 0x316B, 0xCA }, { 0x316D, 0xCA }, { 0x316F, 0xC6 },	/* 104 */
	{ 0x3171, 0xCA }, { 0x3173, 0xCA }, { 0x3175, 0x80 }, { 0x318E, 0x20 },	/* 108 */
	{ 0x318F, 0x70 }, { 0x3196, 0x08 }, { 0x31FC, 0x02 }, { 0x31FE, 0x07 },	/* 112 */
	{ 0x3211, 0x14 }, { 0x323A, 0x80 }, { 0x323B, 0x91 }, { 0x323C, 0x71 },	/* 116 */
	{ 0x323D, 0x90 }, { 0x323E, 0x01 }, { 0x3243, 0xD7 }, { 0x3247, 0x38 },	/* 120 */
	{ 0x3248, 0x03 }, { 0x3249, 0xE2 }, { 0x324A, 0x30 }, { 0x324B, 0x18 },	/* 124 */
	{ 0x324C, 0x02 }, { 0x3253, 0xDE }, { 0x3256, 0x11 }, { 0x3259, 0x68 },	/* 128 */
	{ 0x325A, 0x39 }, { 0x325E, 0x84 }, { 0x3272, 0x46 }, { 0x3273, 0xAB },	/* 132 */
	{ 0x3280, 0x30 }, { 0x3285, 0x1B }, { 0x3288, 0x01 }, { 0x328A, 0xE8 },	/* 136 */
	{ 0x330E, 0x05 }, { 0x3310, 0x02 }, { 0x3315, 0x1F }, { 0x331A, 0x02 },	/* 140 */
	{ 0x331B, 0x02 }, { 0x332C, 0x02 }, { 0x3339, 0x02 }, { 0x336B, 0x03 },	/* 144 */
	{ 0x339F, 0x03 }, { 0x33A2, 0x03 }, { 0x33A3, 0x03 }, { 0x3000, 0x00 },	/* 148 */
	{ 0x3001, 0xD3 }, { 0x0100, 0x01 }, { 0x0101, 0x00 },	/* 152 */
};

/* 1920x1080 at 60 fps: the 30 fps table with faster PLL and readout timing */
static const struct reg_entry mn34229_init_60fps[MN34229_INIT_TABLE_ROWS] = {
	{ 0x3022, 0x00 }, { 0x3023, 0x33 }, { 0x300E, 0x01 }, { 0x300F, 0x00 },	/* 0 */
	{ 0x0304, 0x00 }, { 0x0305, 0x03 }, { 0x0306, 0x00 }, { 0x0307, 0x21 },	/* 4 */
	{ 0x3000, 0x00 }, { 0x3001, 0x03 }, { 0x0112, 0x0C }, { 0x0113, 0x0C },	/* 8 */
	{ 0x3005, 0x64 }, { 0x3007, 0x10 }, { 0x3009, 0x0E }, { 0x300A, 0xFF },	/* 12 */
	{ 0x300B, 0x00 }, { 0x3018, 0x43 }, { 0x3019, 0x10 }, { 0x301A, 0xB9 },	/* 16 */
	{ 0x3000, 0x00 }, { 0x3001, 0x53 }, { 0x300E, 0x00 }, { 0x300F, 0x00 },	/* 20 */
	{ 0x0202, 0x04 }, { 0x0203, 0x63 }, { 0x0204, 0x01 }, { 0x0205, 0xC0 },	/* 24 */
	{ 0x3036, 0x00 }, { 0x3039, 0x2E }, { 0x0340, 0x04 }, { 0x0341, 0x65 },	/* 28 */
	{ 0x0342, 0x08 }, { 0x0343, 0x98 }, { 0x0346, 0x00 }, { 0x0347, 0x3C },	/* 32 */
	{ 0x034A, 0x04 }, { 0x034B, 0x7F }, { 0x034E, 0x04 }, { 0x034F, 0x44 },	/* 36 */
	{ 0x3031, 0x00 }, { 0x3032, 0x00 }, { 0x3036, 0x00 }, { 0x3039, 0x2E },	/* 40 */
	{ 0x3041, 0x2C }, { 0x3058, 0x0F }, { 0x3059, 0xFF }, { 0x305B, 0x00 },	/* 44 */
	{ 0x3062, 0x10 }, { 0x3063, 0x24 }, { 0x306E, 0x0C }, { 0x306F, 0x00 },	/* 48 */
	{ 0x3074, 0x01 }, { 0x3076, 0x40 }, { 0x307C, 0x2C }, { 0x3085, 0x33 },	/* 52 */
	{ 0x3087, 0x03 }, { 0x3088, 0x0E }, { 0x3089, 0x00 }, { 0x308B, 0x00 },	/* 56 */
	{ 0x308C, 0x06 }, { 0x308D, 0x03 }, { 0x308E, 0x03 }, { 0x308F, 0x06 },	/* 60 */
	{ 0x3090, 0x04 }, { 0x3094, 0x0B }, { 0x3095, 0x76 }, { 0x3098, 0x00 },	/* 64 */
	{ 0x3099, 0x00 }, { 0x309A, 0x01 }, { 0x3101, 0x00 }, { 0x3104, 0x04 },	/* 68 */
	{ 0x3106, 0x00 }, { 0x3107, 0xC0 }, { 0x312B, 0x00 }, { 0x312D, 0x00 },	/* 72 */
	{ 0x312F, 0x00 }, { 0x3141, 0x40 }, { 0x3143, 0x02 }, { 0x3144, 0x02 },	/* 76 */
	{ 0x3145, 0x02 }, { 0x3146, 0x00 }, { 0x3147, 0x02 }, { 0x3148, 0x02 },	/* 80 */
	{ 0x3149, 0x02 }, { 0x314A, 0x01 }, { 0x314B, 0x02 }, { 0x314C, 0x02 },	/* 84 */
	{ 0x314D, 0x02 }, { 0x314E, 0x01 }, { 0x314F, 0x02 }, { 0x3150, 0x02 },	/* 88 */
	{ 0x3152, 0x04 }, { 0x3153, 0xE3 }, { 0x3155, 0xCA }, { 0x3157, 0xCA },	/* 92 */
	{ 0x3159, 0xCA }, { 0x315B, 0xCA }, { 0x315D, 0xCA }, { 0x315F, 0xCA },	/* 96 */
	{ 0x3161, 0xCA }, { 0x3163, 0xCA }, { 0x3165, 0xCA }, { 0x3167, 0xCA },	/* 100 */
	{ 0x3169, 0xCA }, { 0x316B, 0xCA }, { 0x316D, 0xCA }, { 0x316F, 0xC6 },	/* 104 */
	{ 0x3171, 0xCA }, { 0x3173, 0xCA }, { 0x3175, 0x80 }, { 0x318E, 0x20 },	/* 108 */
	{ 0x318F, 0x70 }, { 0x3196, 0x08 }, { 0x31FC, 0x02 }, { 0x31FE, 0x07 },	/* 112 */
	{ 0x3211, 0x14 }, { 0x323A, 0x80 }, { 0x323B, 0x91 }, { 0x323C, 0x71 },	/* 116 */
	{ 0x323D, 0x90 }, { 0x323E, 0x01 }, { 0x3243, 0xD7 }, { 0x3247, 0x79 },	/* 120 */
	{ 0x3248, 0x00 }, { 0x3249, 0x00 }, { 0x324A, 0x30 }, { 0x324B, 0x18 },	/* 124 */
	{ 0x324C, 0x02 }, { 0x3253, 0xDE }, { 0x3256, 0x11 }, { 0x3259, 0x49 },	/* 128 */
	{ 0x325A, 0x39 }, { 0x325E, 0x84 }, { 0x3272, 0x46 }, { 0x3273, 0xAB },	/* 132 */
	{ 0x3280, 0x30 }, { 0x3285, 0x1B }, { 0x3288, 0x01 }, { 0x328A, 0xE8 },	/* 136 */
	{ 0x330E, 0x05 }, { 0x3310, 0x02 }, { 0x3315, 0x1F }, { 0x331A, 0x02 },	/* 140 */
	{ 0x331B, 0x02 }, { 0x332C, 0x02 }, { 0x3339, 0x02 }, { 0x336B, 0x03 },	/* 144 */
	{ 0x339F, 0x03 }, { 0x33A2, 0x03 }, { 0x33A3, 0x03 }, { 0x3000, 0x00 },	/* 148 */
	{ 0x3001, 0xD3 }, { 0x0100, 0x01 }, { 0x0101, 0x00 },	/* 152 */
};

/* Logical negation of a line level, as the sequences below drive it. */
static inline int mn34229_negated(u32 level)
{
	return level ? 0 : 1;
}

/*
 * Sets up the MIPI receiver with both lines held, then takes power-down to
 * its negated level, starts the clock and pulses reset: negated, level for
 * 100 us, negated again. 301 us in all.
 */
int pCus_poweron(struct camsensor_handle *handle, u32 pad)
{
	struct mn34229_priv *priv = handle->private_data;
	const struct camsensor_sif_ops *sif = handle->sif_ops;

	priv->pad_id = pad;
	sif->set_pwdn(pad, handle->pwdn_level);
	sif->set_reset(pad, handle->reset_level);
	sif->if_setup_1(pad, handle->if_mode, handle->mipi_lane_count);
	sif->if_setup_2(pad, MN34229_IF_SETUP_2_ON);
	sif->if_setup_3(pad, (u16)handle->mipi_lane_count, 1);
	sif->if_setup_4(pad, 0, MN34229_IF_SETUP_4_FMT, 0);
	if (handle->if_aux_flag == 1)
		sif->if_aux(pad, 1, 1);

	sif->set_pwdn(pad, mn34229_negated(handle->pwdn_level));
	CamOsUsDelay(MN34229_PWDN_SETTLE_US);
	sif->set_mclk(pad, 1, handle->mclk_id);
	CamOsUsDelay(MN34229_RESET_STEP_US);
	sif->set_reset(pad, mn34229_negated(handle->reset_level));
	CamOsUsDelay(MN34229_RESET_STEP_US);
	sif->set_reset(pad, handle->reset_level);
	CamOsUsDelay(MN34229_RESET_STEP_US);
	sif->set_reset(pad, mn34229_negated(handle->reset_level));
	return 0;
}

/* Holds power-down and reset at their levels and stops clock and receiver. */
int pCus_poweroff(struct camsensor_handle *handle, u32 pad)
{
	const struct camsensor_sif_ops *sif = handle->sif_ops;
	struct mn34229_priv *priv = handle->private_data;
	unsigned long flags;

	sif->set_pwdn(pad, handle->pwdn_level);
	sif->set_reset(pad, handle->reset_level);
	sif->set_mclk(pad, 0, handle->mclk_id);
	sif->if_setup_2(pad, MN34229_IF_SETUP_2_OFF);
	if (handle->if_aux_flag == 1)
		sif->if_aux(pad, 1, 0);
	/* the init tables leave register 0x0101 unflipped */
	spin_lock_irqsave(&priv->lock, flags);
	handle->orient = 0;
	spin_unlock_irqrestore(&priv->lock, flags);
	return 0;
}

/*
 * Writes an init table row by row, sleeping at delay markers. Returns -1
 * after logging when a row still fails after its retries.
 */
static int mn34229_write_table(struct camsensor_handle *handle,
			       const struct reg_entry *table, unsigned int rows,
			       const char *name, int fail_tag)
{
	const struct camsensor_i2c_ops *i2c = handle->i2c_ops;
	unsigned int row, tries;

	for (row = 0; row < rows; row++) {
		if (table[row].reg == CAMSENSOR_REG_DELAY) {
			CamOsMsSleep(table[row].data);
			continue;
		}
		for (tries = 0; tries < MN34229_INIT_WRITE_TRIES; tries++) {
			if (i2c->write_reg(i2c, &handle->i2c_cfg, table[row].reg,
					   table[row].data) == 0)
				break;
		}
		if (tries == MN34229_INIT_WRITE_TRIES) {
			CamOsPrintf("[%s:%d]Sensor init fail!!\n", name, fail_tag);
			return -1;
		}
	}
	return 0;
}

int pCus_init_2m_30fps_mipi4lane_linear(struct camsensor_handle *handle)
{
	if (mn34229_write_table(handle, mn34229_init_30fps,
				ARRAY_SIZE(mn34229_init_30fps), __func__,
				MN34229_INIT_30FPS_FAIL_TAG))
		return -1;
	printk(KERN_DEFAULT "Sensor MN34229 1080P30 Linear MODE Initial Finished\n");
	return 0;
}

int pCus_init_mipi4lane_linear(struct camsensor_handle *handle)
{
	if (mn34229_write_table(handle, mn34229_init_60fps,
				ARRAY_SIZE(mn34229_init_60fps), __func__,
				MN34229_INIT_60FPS_FAIL_TAG))
		return -1;
	printk(KERN_DEFAULT "Sensor MN34229 1080P60 Linear MODE Initial Finished\n");
	return 0;
}

/*
 * Selects the table init writes and the pad's frame timing; registers are
 * not touched.
 */
static void mn34229_set_mode(struct mn34229_priv *priv, u32 fps, u32 line_ns)
{
	unsigned long flags;

	spin_lock_irqsave(&priv->lock, flags);
	priv->vts = vts_60fps;
	priv->fps = fps;
	priv->Preview_line_period = line_ns;
	spin_unlock_irqrestore(&priv->lock, flags);
}

int pCus_SetVideoRes(struct camsensor_handle *handle, u32 index)
{
	struct mn34229_priv *priv = handle->private_data;

	if (index >= handle->res_count)
		return -1;

	handle->cur_res = index;
	switch (index) {
	case MN34229_RES_30FPS:
		handle->ops.init = pCus_init_2m_30fps_mipi4lane_linear;
		mn34229_set_mode(priv, 30, MN34229_LINE_NS_30FPS);
		break;
	case MN34229_RES_60FPS:
		handle->ops.init = pCus_init_mipi4lane_linear;
		mn34229_set_mode(priv, 60, MN34229_LINE_NS_60FPS);
		break;
	}
	return 0;
}

int pCus_GetVideoResNum(struct camsensor_handle *handle, u32 *count)
{
	*count = handle->res_count;
	return 0;
}

int pCus_GetVideoRes(struct camsensor_handle *handle, u32 index,
		     struct res_entry **entry)
{
	if (index >= handle->res_count)
		return -1;
	*entry = &handle->res_table[index];
	return 0;
}

int pCus_GetCurVideoRes(struct camsensor_handle *handle, u32 *index,
			struct res_entry **entry)
{
	*index = handle->cur_res;
	if (handle->cur_res >= handle->res_count)
		return -1;
	*entry = &handle->res_table[handle->cur_res];
	return 0;
}

/* A failed read counts as an unflipped sensor. */
int pCus_GetOrien(struct camsensor_handle *handle, u32 *orient)
{
	const struct camsensor_i2c_ops *i2c = handle->i2c_ops;
	u16 val = 0;

	if (i2c->read_reg(i2c, &handle->i2c_cfg, MN34229_REG_ORIENT, &val))
		val = 0;
	*orient = val & MN34229_ORIENT_BIT;
	return 0;
}

/* The register follows at the next exposure notification. */
int pCus_SetOrien(struct camsensor_handle *handle, u32 orient)
{
	struct mn34229_priv *priv = handle->private_data;
	unsigned long flags;

	spin_lock_irqsave(&priv->lock, flags);
	handle->orient = orient;
	priv->orient_dirty = 1;
	spin_unlock_irqrestore(&priv->lock, flags);
	return 0;
}

/* The sensor offers no test pattern through this driver. */
int MN34229_SetPatternMode(struct camsensor_handle *handle, u32 mode)
{
	return 0;
}

/* The sensor has no id register the framework could use; *id is left alone. */
int pCus_GetSensorID(struct camsensor_handle *handle, u32 *id)
{
	return 0;
}
