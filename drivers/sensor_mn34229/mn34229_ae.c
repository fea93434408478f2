// SPDX-License-Identifier: LicenseRef-Proprietary
/*
 * MN34229 MIPI image sensor driver: exposure, gain and frame rate.
 *
 * Setters only compute register bytes into the pad's templates and mark them
 * dirty, under the pad's lock; the framework's status-1 exposure notification
 * takes a copy under the lock and writes it to the sensor in one burst. All
 * arithmetic is on u32.
 */
#include <linux/bug.h>
#include <linux/compiler.h>
#include <linux/kernel.h>
#include <linux/spinlock.h>
#include <linux/string.h>

#include "camsensor.h"
#include "mn34229.h"

#define MN34229_GAIN_STEPS	81
#define MN34229_GAIN_CODE_BASE	0x100	/* code of step 0; each step adds 4 */
#define MN34229_MFPS_MIN	3000	/* fps values from here on are in mfps */
#define MN34229_AE_NOTIFY_APPLY	1

/*
 * Gain in 1/1024 for each 0.375 dB step of the sensor's gain code, 0 to
 * 30 dB. Odd steps are what the sensor measures, a little above the rule.
 */
static const u32 gain_table[MN34229_GAIN_STEPS] = {
	1024, 1070, 1116, 1166, 1217, 1271, 1327, 1386, 1446,	/* 0 */
	1511, 1577, 1647, 1719, 1796, 1874, 1958, 2043, 2135,	/* 9 */
	2227, 2327, 2428, 2537, 2647, 2766, 2886, 3015, 3146,	/* 18 */
	3287, 3430, 3583, 3739, 3907, 4077, 4259, 4444, 4643,	/* 27 */
	4845, 5062, 5282, 5518, 5758, 6016, 6278, 6558, 6844,	/* 36 */
	7150, 7461, 7795, 8134, 8498, 8867, 9264, 9667, 10100,	/* 45 */
	10539, 11010, 11489, 12003, 12526, 13086, 13655, 14266, 14887,	/* 54 */
	15552, 16229, 16955, 17693, 18484, 19289, 20151, 21028, 21968,	/* 63 */
	22925, 23950, 24992, 26110, 27246, 28464, 29703, 31031, 32382,	/* 72 */
};

/* Frame length for the current exposure: stretched for long exposures. */
static void mn34229_update_vts_regs(struct mn34229_priv *priv)
{
	u32 length = priv->vts;

	if (priv->expo_lines > priv->vts - 2)
		length = priv->expo_lines + 2;
	length = min_t(u32, length, MN34229_VTS_MAX);

	priv->vts_regs[0].data = (length >> 8) & 0xFF;
	priv->vts_regs[1].data = length & 0xFF;
}

static u32 mn34229_clamp_gain(u32 gain)
{
	if (gain > MN34229_GAIN_MAX)
		return MN34229_GAIN_MAX;
	if (gain < MN34229_GAIN_MIN)
		return MN34229_GAIN_MIN;
	return gain;
}

/* Highest step whose gain does not exceed the clamped request. */
static u32 mn34229_gain_step(u32 gain)
{
	u32 step;

	gain = mn34229_clamp_gain(gain);
	for (step = MN34229_GAIN_STEPS - 1; step > 0; step--)
		if (gain_table[step] <= gain)
			break;
	return step;
}

/*
 * Lines of @us microseconds, at least 1 and at most what the longest frame
 * holds; us * 1000 is only formed where it fits in 32 bits.
 */
static u32 mn34229_expo_lines(u32 us, u32 line_ns)
{
	u32 t, lines;

	if (us > U32_MAX / 1000)
		return MN34229_EXPO_MAX_LINES;
	t = us * 1000;
	lines = t < line_ns ? 1 : t / line_ns;
	return min_t(u32, lines, MN34229_EXPO_MAX_LINES);
}

int pCus_SetAEUSecs(struct camsensor_handle *handle, u32 us)
{
	struct mn34229_priv *priv = handle->private_data;
	unsigned long flags;
	u32 lines;

	spin_lock_irqsave(&priv->lock, flags);
	lines = mn34229_expo_lines(us, priv->Preview_line_period);
	priv->expo_lines = lines;
	priv->expo_regs[0].data = (lines >> 16) & 0x01;
	priv->expo_regs[1].data = (lines >> 8) & 0xFF;
	priv->expo_regs[2].data = lines & 0xFF;
	mn34229_update_vts_regs(priv);
	priv->ae_dirty = 1;
	spin_unlock_irqrestore(&priv->lock, flags);
	return 0;
}

/* The exposure the templates hold, in the line period that applies now. */
int pCus_GetAEUSecs(struct camsensor_handle *handle, u32 *us)
{
	struct mn34229_priv *priv = handle->private_data;
	unsigned long flags;
	u32 lines, line_ns;

	spin_lock_irqsave(&priv->lock, flags);
	lines = (priv->expo_regs[0].data << 16) |
		(priv->expo_regs[1].data << 8) |
		priv->expo_regs[2].data;
	line_ns = priv->Preview_line_period;
	spin_unlock_irqrestore(&priv->lock, flags);

	*us = lines * line_ns / 1000;
	return 0;
}

int pCus_SetAEGain(struct camsensor_handle *handle, u32 gain)
{
	struct mn34229_priv *priv = handle->private_data;
	u32 code = MN34229_GAIN_CODE_BASE + 4 * mn34229_gain_step(gain);
	unsigned long flags;

	spin_lock_irqsave(&priv->lock, flags);
	priv->gain = mn34229_clamp_gain(gain);
	priv->gain_regs[0].data = code >> 8;
	priv->gain_regs[1].data = code & 0xFF;
	priv->ae_dirty = 1;
	spin_unlock_irqrestore(&priv->lock, flags);
	return 0;
}

int pCus_GetAEGain(struct camsensor_handle *handle, u32 *gain)
{
	struct mn34229_priv *priv = handle->private_data;

	*gain = priv->gain;
	return 0;
}

u32 pCus_TryAEGain(struct camsensor_handle *handle, u32 gain)
{
	return gain_table[mn34229_gain_step(gain)];
}

/* fps within the mode's range is in fps, within 1000 times it in mfps. */
int pCus_SetFPS(struct camsensor_handle *handle, u32 fps)
{
	struct mn34229_priv *priv = handle->private_data;
	const struct res_entry *res = &handle->res_table[handle->cur_res];
	u32 max = res->max_fps;
	u32 min = res->min_fps;
	unsigned long flags;
	u32 vts;

	if (fps >= min && fps <= max)
		vts = (1000 * max * vts_60fps + 500 * fps) / (1000 * fps);
	else if (fps >= 1000 * min && fps <= 1000 * max)
		vts = (1000 * max * vts_60fps + (fps >> 1)) / fps;
	else
		return -1;

	spin_lock_irqsave(&priv->lock, flags);
	priv->vts = vts;
	priv->fps = fps;
	mn34229_update_vts_regs(priv);
	priv->ae_dirty = 1;
	spin_unlock_irqrestore(&priv->lock, flags);
	return 0;
}

/* The rate the frame-length template gives, in the unit of the last request. */
u32 pCus_GetFPS(struct camsensor_handle *handle)
{
	struct mn34229_priv *priv = handle->private_data;
	u32 n = vts_60fps * handle->res_table[handle->cur_res].max_fps;
	unsigned long flags;
	u32 length, fps;

	spin_lock_irqsave(&priv->lock, flags);
	length = (priv->vts_regs[0].data << 8) | priv->vts_regs[1].data;
	fps = priv->fps;
	spin_unlock_irqrestore(&priv->lock, flags);

	if (fps >= MN34229_MFPS_MIN)
		n *= 1000;
	if (!length)
		return 0;
	return n / length;
}

/* What one notification writes, copied under the pad's lock. */
struct mn34229_ae_batch {
	struct reg_entry expo_regs[3];
	struct reg_entry gain_regs[2];
	struct reg_entry vts_regs[2];
	bool ae;
	bool orient;
	bool flip;
};

/*
 * Takes what the setters queued and clears the flags, in one step under the
 * lock: a setter that runs while the copy is on the bus sets its flag again
 * and is written next time, and no template reaches the sensor half old,
 * half new.
 */
static bool mn34229_take_batch(struct camsensor_handle *handle,
			       struct mn34229_ae_batch *batch)
{
	struct mn34229_priv *priv = handle->private_data;
	unsigned long flags;

	spin_lock_irqsave(&priv->lock, flags);
	batch->ae = priv->ae_dirty;
	batch->orient = priv->orient_dirty;
	if (batch->ae || batch->orient)
		memcpy(batch->expo_regs, priv->expo_regs, sizeof(batch->expo_regs));
	if (batch->ae) {
		memcpy(batch->gain_regs, priv->gain_regs, sizeof(batch->gain_regs));
		memcpy(batch->vts_regs, priv->vts_regs, sizeof(batch->vts_regs));
	}
	if (batch->orient) {
		batch->flip = handle->orient == MN34229_ORIENT_FLIP;
		if (!batch->flip)
			handle->orient = 0;
	}
	priv->ae_dirty = 0;
	priv->orient_dirty = 0;
	spin_unlock_irqrestore(&priv->lock, flags);

	return batch->ae || batch->orient;
}

/*
 * Writes what the setters queued: exposure, gain, frame length, then the
 * orientation bit.
 */
int pCus_AEStatusNotify(struct camsensor_handle *handle, u32 status)
{
	const struct camsensor_i2c_ops *i2c = handle->i2c_ops;
	struct camsensor_i2c_cfg *cfg = &handle->i2c_cfg;
	struct mn34229_ae_batch batch;
	u16 val;

	if (status != MN34229_AE_NOTIFY_APPLY)
		return 0;
	if (!mn34229_take_batch(handle, &batch))
		return 0;

	i2c->write_table(i2c, cfg, batch.expo_regs, ARRAY_SIZE(batch.expo_regs));
	if (batch.ae) {
		i2c->write_table(i2c, cfg, batch.gain_regs,
				 ARRAY_SIZE(batch.gain_regs));
		i2c->write_table(i2c, cfg, batch.vts_regs,
				 ARRAY_SIZE(batch.vts_regs));
	}
	if (batch.orient) {
		/* bits that could not be read are written as 0 */
		val = 0;
		if (i2c->read_reg(i2c, cfg, MN34229_REG_ORIENT, &val))
			val = 0;
		if (batch.flip)
			val |= MN34229_ORIENT_BIT;
		else
			val &= ~MN34229_ORIENT_BIT;
		i2c->write_reg(i2c, cfg, MN34229_REG_ORIENT, val);
	}
	return 0;
}

int pCus_GetAEMinMaxUSecs(struct camsensor_handle *handle, u32 *min, u32 *max)
{
	*min = MN34229_EXPO_MIN_US;
	*max = MN34229_EXPO_MAX_US;
	return 0;
}

int pCus_GetAEMinMaxGain(struct camsensor_handle *handle, u32 *min, u32 *max)
{
	*min = MN34229_GAIN_MIN;
	*max = MN34229_GAIN_MAX;
	return 0;
}

int MN34229_GetShutterInfo(struct camsensor_handle *handle,
			   struct shutter_info *info)
{
	struct mn34229_priv *priv = handle->private_data;
	u32 line_ns = READ_ONCE(priv->Preview_line_period);

	info->max_shutter_ns = MN34229_SHUTTER_MAX_NS;
	info->min_shutter_ns = line_ns;
	info->shutter_step_ns = line_ns;
	return 0;
}
