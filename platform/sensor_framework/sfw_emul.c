// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in sensor framework: the call log, one emulated sensor per pad
 * behind i2c_ops, and a recorder behind sif_ops.
 *
 * The emulated sensor answers at its slave address (0x6C unless the pad's
 * registered slave id says otherwise) with 16-bit register addresses and
 * 8-bit data; anything else is NAKed. Transfers called from an operation
 * run with the pad's lock held.
 */
#include <linux/bitmap.h>
#include <linux/errno.h>
#include <linux/kernel.h>
#include <linux/ktime.h>
#include <linux/seq_file.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/string.h>
#include <linux/vmalloc.h>

#include "camsensor.h"
#include "sfw.h"

#define SFW_LOG_ENTRIES		8192
#define SFW_LOG_TEXT		160
#define SFW_SENSOR_ADDR		0x6C

struct sfw_log_entry {
	u64 seq;
	u64 ns;
	char text[SFW_LOG_TEXT];
};

static struct sfw_log_entry *sfw_log_buf;
static u64 sfw_log_seq;		/* sequence number of the next entry */
static u64 sfw_log_first;	/* oldest entry still held */
static DEFINE_SPINLOCK(sfw_log_lock);

int sfw_log_init(void)
{
	sfw_log_buf = vzalloc(SFW_LOG_ENTRIES * sizeof(*sfw_log_buf));
	return sfw_log_buf ? 0 : -ENOMEM;
}

void sfw_log_exit(void)
{
	vfree(sfw_log_buf);
	sfw_log_buf = NULL;
}

/* Keeps the newest SFW_LOG_ENTRIES calls; the reader reports what fell out. */
void sfw_log(const char *fmt, ...)
{
	struct sfw_log_entry *e;
	unsigned long flags;
	va_list args;

	spin_lock_irqsave(&sfw_log_lock, flags);
	e = &sfw_log_buf[sfw_log_seq % SFW_LOG_ENTRIES];
	e->seq = sfw_log_seq++;
	e->ns = ktime_get_ns();
	va_start(args, fmt);
	vsnprintf(e->text, sizeof(e->text), fmt, args);
	va_end(args);
	if (sfw_log_seq - sfw_log_first > SFW_LOG_ENTRIES)
		sfw_log_first = sfw_log_seq - SFW_LOG_ENTRIES;
	spin_unlock_irqrestore(&sfw_log_lock, flags);
}

void sfw_log_clear(void)
{
	unsigned long flags;

	spin_lock_irqsave(&sfw_log_lock, flags);
	sfw_log_first = sfw_log_seq;
	spin_unlock_irqrestore(&sfw_log_lock, flags);
}

int sfw_log_show(struct seq_file *m, void *v)
{
	struct sfw_log_entry e;
	unsigned long flags;
	u64 seq, end;

	spin_lock_irqsave(&sfw_log_lock, flags);
	seq = sfw_log_first;
	end = sfw_log_seq;
	spin_unlock_irqrestore(&sfw_log_lock, flags);

	for (; seq < end; seq++) {
		spin_lock_irqsave(&sfw_log_lock, flags);
		if (seq < sfw_log_first) {
			spin_unlock_irqrestore(&sfw_log_lock, flags);
			continue;	/* overwritten while we read */
		}
		e = sfw_log_buf[seq % SFW_LOG_ENTRIES];
		spin_unlock_irqrestore(&sfw_log_lock, flags);
		seq_printf(m, "%llu %llu %s\n", e.seq, e.ns, e.text);
	}
	return 0;
}

int sfw_emul_init(struct sfw_pad *pad)
{
	pad->regs = vzalloc(SFW_REGS);
	pad->touched = kcalloc(BITS_TO_LONGS(SFW_REGS), sizeof(long),
			       GFP_KERNEL);
	if (!pad->regs || !pad->touched) {
		sfw_emul_exit(pad);
		return -ENOMEM;
	}
	pad->sensor_addr = SFW_SENSOR_ADDR;
	sfw_emul_reset(pad);
	return 0;
}

void sfw_emul_exit(struct sfw_pad *pad)
{
	vfree(pad->regs);
	kfree(pad->touched);
	pad->regs = NULL;
	pad->touched = NULL;
}

/* Power-on state of the sensor: every register 0, no faults armed. */
void sfw_emul_reset(struct sfw_pad *pad)
{
	memset(pad->regs, 0, SFW_REGS);
	bitmap_zero(pad->touched, SFW_REGS);
	pad->write_fault.count = 0;
	pad->read_fault.count = 0;
	memset(&pad->lines, 0xff, sizeof(pad->lines));
}

void sfw_emul_preset(struct sfw_pad *pad, u16 reg, u8 val)
{
	pad->regs[reg] = val;
	set_bit(reg, pad->touched);
}

static bool sfw_fault_hit(struct sfw_fault *f, u16 reg)
{
	if (!f->count || (f->reg != SFW_FAULT_ANY && f->reg != reg))
		return false;
	f->count--;
	return true;
}

static struct sfw_pad *sfw_pad_of_cfg(struct camsensor_i2c_cfg *cfg)
{
	struct camsensor_handle *h = container_of(cfg, struct camsensor_handle,
						  i2c_cfg);

	return h->framework_data;
}

static u16 sfw_slave_addr(struct sfw_pad *pad, struct camsensor_i2c_cfg *cfg)
{
	return pad->slave_id ? pad->slave_id : cfg->i2c_addr;
}

/* Checks the transfer format and the address the sensor answers at. */
static int sfw_i2c_check(struct sfw_pad *pad, struct camsensor_i2c_cfg *cfg)
{
	if (cfg->i2c_mode != CAMSENSOR_I2C_MODE_REG ||
	    cfg->i2c_fmt != CAMSENSOR_I2C_FMT_A16D8)
		return -EINVAL;
	if (sfw_slave_addr(pad, cfg) != pad->sensor_addr)
		return -ENXIO;
	return 0;
}

static int sfw_write_one(struct sfw_pad *pad, struct camsensor_i2c_cfg *cfg,
			 u16 reg, u16 data)
{
	int ret = sfw_i2c_check(pad, cfg);

	if (!ret && data > 0xFF)
		ret = -EINVAL;
	if (!ret && sfw_fault_hit(&pad->write_fault, reg))
		ret = -EIO;
	if (!ret) {
		pad->regs[reg] = data;
		set_bit(reg, pad->touched);
	}
	sfw_log("write_reg pad=%u addr=0x%02x reg=0x%04x data=0x%02x ret=%d",
		pad->index, sfw_slave_addr(pad, cfg), reg, data, ret);
	return ret;
}

static int sfw_write_reg(const struct camsensor_i2c_ops *ops,
			 struct camsensor_i2c_cfg *cfg, u16 reg, u16 data)
{
	return sfw_write_one(sfw_pad_of_cfg(cfg), cfg, reg, data);
}

static int sfw_read_reg(const struct camsensor_i2c_ops *ops,
			struct camsensor_i2c_cfg *cfg, u16 reg, u16 *data)
{
	struct sfw_pad *pad = sfw_pad_of_cfg(cfg);
	int ret = sfw_i2c_check(pad, cfg);

	if (!ret && sfw_fault_hit(&pad->read_fault, reg))
		ret = -EIO;
	if (!ret)
		*data = pad->regs[reg];	/* a failed read leaves *data alone */
	sfw_log("read_reg pad=%u addr=0x%02x reg=0x%04x data=0x%02x ret=%d",
		pad->index, sfw_slave_addr(pad, cfg), reg,
		ret ? 0 : pad->regs[reg], ret);
	return ret;
}

/* Writes every entry, even after a failure; returns the first error. */
static int sfw_write_table(const struct camsensor_i2c_ops *ops,
			   struct camsensor_i2c_cfg *cfg,
			   const struct reg_entry *entries, int count)
{
	struct sfw_pad *pad = sfw_pad_of_cfg(cfg);
	int i, err, ret = 0;

	sfw_log("write_table pad=%u count=%d", pad->index, count);
	for (i = 0; i < count; i++) {
		err = sfw_write_one(pad, cfg, entries[i].reg, entries[i].data);
		if (err && !ret)
			ret = err;
	}
	return ret;
}

const struct camsensor_i2c_ops sfw_i2c_ops = {
	.write_reg = sfw_write_reg,
	.read_reg = sfw_read_reg,
	.write_table = sfw_write_table,
};

static struct sfw_pad *sfw_sif_pad(u32 pad)
{
	return pad < CAMSENSOR_MAX_PADS ? &sfw_pads[pad] : NULL;
}

static int sfw_set_pwdn(u32 pad, int level)
{
	struct sfw_pad *p = sfw_sif_pad(pad);

	sfw_log("set_pwdn pad=%u level=%d", pad, level);
	if (!p)
		return -EINVAL;
	p->lines.pwdn = level;
	return 0;
}

static int sfw_set_reset(u32 pad, int level)
{
	struct sfw_pad *p = sfw_sif_pad(pad);

	sfw_log("set_reset pad=%u level=%d", pad, level);
	if (!p)
		return -EINVAL;
	p->lines.reset = level;
	return 0;
}

static int sfw_set_mclk(u32 pad, int enable, u32 mclk_id)
{
	struct sfw_pad *p = sfw_sif_pad(pad);

	sfw_log("set_mclk pad=%u enable=%d mclk_id=%u", pad, enable, mclk_id);
	if (!p)
		return -EINVAL;
	p->lines.mclk = enable;
	return 0;
}

static int sfw_if_setup_1(u32 pad, u32 if_mode, u32 lanes)
{
	sfw_log("if_setup_1 pad=%u if_mode=%u lanes=%u", pad, if_mode, lanes);
	return pad < CAMSENSOR_MAX_PADS ? 0 : -EINVAL;
}

static int sfw_if_setup_2(u32 pad, int value)
{
	struct sfw_pad *p = sfw_sif_pad(pad);

	sfw_log("if_setup_2 pad=%u value=%d", pad, value);
	if (!p)
		return -EINVAL;
	p->lines.if_setup_2 = value;
	return 0;
}

static int sfw_if_setup_3(u32 pad, u16 lanes, int enable)
{
	sfw_log("if_setup_3 pad=%u lanes=%u enable=%d", pad, lanes, enable);
	return pad < CAMSENSOR_MAX_PADS ? 0 : -EINVAL;
}

static int sfw_if_setup_4(u32 pad, u32 mode, u32 data_type, u32 flags)
{
	sfw_log("if_setup_4 pad=%u mode=%u data_type=0x%x flags=%u",
		pad, mode, data_type, flags);
	return pad < CAMSENSOR_MAX_PADS ? 0 : -EINVAL;
}

static int sfw_if_aux(u32 pad, int channel, int on)
{
	struct sfw_pad *p = sfw_sif_pad(pad);

	sfw_log("if_aux pad=%u channel=%d on=%d", pad, channel, on);
	if (!p)
		return -EINVAL;
	p->lines.aux = on;
	return 0;
}

const struct camsensor_sif_ops sfw_sif_ops = {
	.set_pwdn = sfw_set_pwdn,
	.set_reset = sfw_set_reset,
	.set_mclk = sfw_set_mclk,
	.if_setup_1 = sfw_if_setup_1,
	.if_setup_2 = sfw_if_setup_2,
	.if_setup_3 = sfw_if_setup_3,
	.if_setup_4 = sfw_if_setup_4,
	.if_aux = sfw_if_aux,
};
