// SPDX-License-Identifier: GPL-2.0
/*
 * Test-only model of the SoC's four-channel SAR converter, for the virtual
 * board. Never shipped.
 *
 * The board's device tree backs the converter node with a no-map RAM
 * carve-out. This module maps the same page (without claiming it, so the
 * real driver still can) and plays the converter: a periodic timer watches
 * the control register, and when the start bit is set it latches the
 * per-channel results into the result registers and clears the start bit,
 * as the hardware does at the end of a conversion.
 *
 * Register window: 16-bit registers, each in the low half of a 32-bit word.
 *
 * debugfs (board_sar_model/):
 *   result0..3    value the next conversion puts in channel n's register
 *   stuck         1: conversions never finish (start bit stays set)
 *   conversions   conversions finished so far
 *   last_ctrl     control register as the last conversion found it
 *   regs          the registers as the driver sees them
 *   max_gap_us    longest time between two ticks of a CPU's timer, which
 *                 shows how long interrupts stayed off; write 0 to restart
 *   reset         write anything: every register back to zero (power-on)
 */

#include <linux/bits.h>
#include <linux/debugfs.h>
#include <linux/hrtimer.h>
#include <linux/io.h>
#include <linux/kernel.h>
#include <linux/ktime.h>
#include <linux/module.h>
#include <linux/of.h>
#include <linux/of_address.h>
#include <linux/percpu.h>
#include <linux/smp.h>
#include <linux/spinlock.h>

#define SAR_COMPATIBLE		"qrvn,tessel-sar"
#define SAR_CHANNELS		4

/* Bus offsets in the window. */
#define SAR_CTRL		0x000
#define  SAR_CTRL_START		BIT(14)
#define SAR_CHAN		0x044
#define SAR_DATA(n)		(0x100 + 4 * (n))
#define SAR_WINDOW		0x110

/* Longest time one conversion takes, from the start bit to the results. */
#define SAR_CONVERSION_NS	(200 * NSEC_PER_USEC)

struct sar_model {
	void __iomem *base;
	spinlock_t lock;	/* one conversion at a time across the timers */
	u16 result[SAR_CHANNELS];
	bool stuck;
	u32 conversions;
	u32 last_ctrl;
	u32 max_gap_us;
	struct dentry *dir;
	struct debugfs_regset32 regset;
};

static const struct debugfs_reg32 sar_regs[] = {
	{ "ctrl", SAR_CTRL },
	{ "chan", SAR_CHAN },
	{ "data0", SAR_DATA(0) },
	{ "data1", SAR_DATA(1) },
	{ "data2", SAR_DATA(2) },
	{ "data3", SAR_DATA(3) },
};

static struct sar_model model;
static DEFINE_PER_CPU(struct hrtimer, sar_timer);
static DEFINE_PER_CPU(ktime_t, sar_last_tick);

static void sar_model_power_on(struct sar_model *m)
{
	int n;

	writel(0, m->base + SAR_CTRL);
	writel(0, m->base + SAR_CHAN);
	for (n = 0; n < SAR_CHANNELS; n++)
		writel(0, m->base + SAR_DATA(n));
}

/* Hard interrupt context, on any CPU. */
static enum hrtimer_restart sar_model_tick(struct hrtimer *timer)
{
	struct sar_model *m = &model;
	ktime_t now = ktime_get();
	ktime_t *last = this_cpu_ptr(&sar_last_tick);
	s64 gap_us;
	u32 ctrl;
	int n;

	spin_lock(&m->lock);
	if (ktime_to_ns(*last)) {
		gap_us = ktime_us_delta(now, *last);
		if (gap_us > m->max_gap_us)
			m->max_gap_us = min_t(s64, gap_us, U32_MAX);
	}
	*last = now;
	ctrl = readl(m->base + SAR_CTRL);
	if ((ctrl & SAR_CTRL_START) && !READ_ONCE(m->stuck)) {
		for (n = 0; n < SAR_CHANNELS; n++)
			writel(READ_ONCE(m->result[n]), m->base + SAR_DATA(n));
		writel(ctrl & ~SAR_CTRL_START, m->base + SAR_CTRL);
		m->last_ctrl = ctrl;
		m->conversions++;
	}
	spin_unlock(&m->lock);

	hrtimer_forward_now(timer, ns_to_ktime(SAR_CONVERSION_NS));
	return HRTIMER_RESTART;
}

/* Runs on each CPU in turn: the timer stays on the CPU that starts it. */
static void sar_model_start_timer(void *unused)
{
	struct hrtimer *timer = this_cpu_ptr(&sar_timer);

	hrtimer_init(timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL_PINNED);
	timer->function = sar_model_tick;
	hrtimer_start(timer, ns_to_ktime(SAR_CONVERSION_NS), HRTIMER_MODE_REL_PINNED);
}

static ssize_t reset_write(struct file *file, const char __user *ubuf, size_t len, loff_t *ppos)
{
	struct sar_model *m = file->private_data;
	unsigned long flags;

	spin_lock_irqsave(&m->lock, flags);
	sar_model_power_on(m);
	spin_unlock_irqrestore(&m->lock, flags);
	return len;
}

static const struct file_operations reset_fops = {
	.owner = THIS_MODULE,
	.open = simple_open,
	.write = reset_write,
	.llseek = noop_llseek,
};

static void sar_model_debugfs_init(struct sar_model *m)
{
	char name[sizeof("result0")];
	int n;

	m->dir = debugfs_create_dir(KBUILD_MODNAME, NULL);
	for (n = 0; n < SAR_CHANNELS; n++) {
		snprintf(name, sizeof(name), "result%d", n);
		debugfs_create_u16(name, 0600, m->dir, &m->result[n]);
	}
	debugfs_create_bool("stuck", 0600, m->dir, &m->stuck);
	debugfs_create_u32("conversions", 0400, m->dir, &m->conversions);
	debugfs_create_x32("last_ctrl", 0400, m->dir, &m->last_ctrl);
	debugfs_create_u32("max_gap_us", 0600, m->dir, &m->max_gap_us);

	m->regset.regs = sar_regs;
	m->regset.nregs = ARRAY_SIZE(sar_regs);
	m->regset.base = m->base;
	debugfs_create_regset32("regs", 0400, m->dir, &m->regset);
	debugfs_create_file("reset", 0200, m->dir, m, &reset_fops);
}

static int __init board_sar_model_init(void)
{
	struct sar_model *m = &model;
	struct device_node *np;
	struct resource res;
	int ret;

	np = of_find_compatible_node(NULL, NULL, SAR_COMPATIBLE);
	if (!np) {
		pr_err("%s: no %s node in the device tree\n", KBUILD_MODNAME, SAR_COMPATIBLE);
		return -ENODEV;
	}
	ret = of_address_to_resource(np, 0, &res);
	of_node_put(np);
	if (ret)
		return ret;
	if (resource_size(&res) < SAR_WINDOW)
		return -EINVAL;

	/* Shared with the driver under test on purpose: no region request. */
	m->base = ioremap(res.start, SAR_WINDOW);
	if (!m->base)
		return -ENOMEM;

	spin_lock_init(&m->lock);
	sar_model_power_on(m);
	sar_model_debugfs_init(m);
	on_each_cpu(sar_model_start_timer, NULL, 1);
	return 0;
}

static void __exit board_sar_model_exit(void)
{
	int cpu;

	for_each_online_cpu(cpu)
		hrtimer_cancel(per_cpu_ptr(&sar_timer, cpu));
	debugfs_remove_recursive(model.dir);
	iounmap(model.base);
}

module_init(board_sar_model_init);
module_exit(board_sar_model_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Virtual board test model: SAR converter behind the carve-out");
