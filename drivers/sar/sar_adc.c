// SPDX-License-Identifier: GPL-2.0
/*
 * tessel SAR converter: four-channel successive-approximation ADC.
 *
 * User space reaches the converter through the misc device "sar" (two
 * ioctls) and through the class device "sar" (attributes channel and value);
 * other modules call qv_sar_hw_init() and qv_sar_get().
 *
 * There is one converter per SoC, so the register window, the
 * initialisation flag and the selected channel are module state.
 *
 * A converter that never clears its start bit is met differently by each
 * way in, each keeping its own contract:
 *  - SAR_IOC_READ and the value attribute wait about 100 ms, then give the
 *    result register as it stands, as success (their documented answer);
 *  - IIO's in_voltageN_raw waits as long and fails with -ETIMEDOUT;
 *  - qv_sar_get() busy-waits as long once; while that conversion stays
 *    stuck, later calls get 0 at once with "converter busy" in the log.
 * Every way in fails with -ENODEV while no converter is bound and -EAGAIN
 * while it is suspended (the exports log it and give 0).
 */

#include <linux/clk.h>
#include <linux/clk-provider.h>
#include <linux/delay.h>
#include <linux/device.h>
#include <linux/err.h>
#include <linux/fs.h>
#include <linux/iio/iio.h>
#include <linux/io.h>
#include <linux/iopoll.h>
#include <linux/ioctl.h>
#include <linux/kernel.h>
#include <linux/miscdevice.h>
#include <linux/mod_devicetable.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/of.h>
#include <linux/platform_device.h>
#include <linux/pm.h>
#include <linux/regulator/consumer.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/version.h>

#include <linux/tessel_sar.h>
#include <qvsys.h>

#include "sar_adc.h"

/*
 * Register addresses count bytes of 16-bit register space. Each register
 * sits in the low half of its own 32-bit bus word, and a bank of 0x100
 * register addresses takes 0x200 bytes of bus space.
 */
#define SAR_BANK_MASK		0x1ff
#define SAR_WORD_MASK		0x1fc

#define SAR_REG_CTRL		0x00
#define  SAR_CTRL_INIT		(BIT(11) | BIT(9) | BIT(5))	/* 0x0a20 */
#define  SAR_CTRL_START		BIT(14)	/* set to start, cleared when done */
#define SAR_REG_CHAN		0x22	/* bit n: read channel n */
#define SAR_REG_DATA(n)		(0x80 + 2 * (n))

/* Completion polls of one conversion, 1 us apart: about 100 ms */
#define SAR_POLL_COUNT		100001
/* The same wait from process context, sleeping between polls */
#define SAR_POLL_SLEEP_US	20
#define SAR_POLL_TIMEOUT_US	100000

struct sar_drvdata {
	struct device *dev;
	struct device *sysfs_dev;	/* class device "sar", or NULL */
	void __iomem *reg_base;
	struct clk *clk;		/* NULL: no clock handling */
	bool clk_on;			/* prepared and enabled by us */
	bool clk_suspended;		/* turned off by suspend */
	bool misc_registered;
	struct miscdevice misc;		/* "sar" */
	struct regulator *vref;		/* reference, or NULL: no scale */
};

static void __iomem *sar_reg_base;	/* NULL while no converter is bound */
static u8 sar_hw_inited;
static bool sar_asleep;			/* suspended, clock off */
static bool sar_stuck;			/* last conversion waited for never ended */
static int sar_channel;			/* selected for the value attribute */

/*
 * sar_lock, interrupts off, is held around every register access and the
 * state above, and never across a wait: a conversion that is running is
 * shared by whoever comes while it runs, each reading its own channel of
 * it, so no caller waits for another caller, only for the converter.
 *
 * Process context (ioctl, sysfs, IIO, power management, binding) also holds
 * sar_mutex for its whole operation, so that the window and the clock stay
 * as they are while it sleeps between polls. The exports may be called in
 * atomic context: they busy-wait, and look again at the state each time
 * they take sar_lock, backing off when the converter went away or to sleep.
 */
static DEFINE_MUTEX(sar_mutex);
static DEFINE_SPINLOCK(sar_lock);

static u32 sar_bus_offset(u32 addr)
{
	u32 bytes = addr * 2;

	return (bytes & ~SAR_BANK_MASK) + (bytes & SAR_WORD_MASK);
}

/* One 32-bit store; the upper half of the bus word is written as zero. */
int HAL_SAR_Write2Byte(u32 addr, u16 value)
{
	writel_relaxed(value, sar_reg_base + sar_bus_offset(addr));
	return 1;
}

/* One 32-bit load; the register is its lower half. */
u16 HAL_SAR_Read2Byte(u32 addr)
{
	return readl_relaxed(sar_reg_base + sar_bus_offset(addr)) & 0xffff;
}

/* Read-modify-write as two bus accesses; callers own the converter. */
int HAL_SAR_Write2ByteMask(u32 addr, u16 value, u16 mask)
{
	u16 old = HAL_SAR_Read2Byte(addr);

	HAL_SAR_Write2Byte(addr, (old & ~mask) | (value & mask));
	return 1;
}

/* Under sar_lock: may the registers be touched? */
static int sar_usable(void)
{
	lockdep_assert_held(&sar_lock);
	if (!sar_reg_base)
		return -ENODEV;
	if (sar_asleep)
		return -EAGAIN;
	return 0;
}

/* Process context: the channel the value attribute reads. */
static int sar_selected(void)
{
	int channel;

	spin_lock_irq(&sar_lock);
	channel = sar_channel;
	spin_unlock_irq(&sar_lock);
	return channel;
}

static void sar_select(int channel)
{
	spin_lock_irq(&sar_lock);
	sar_channel = channel;
	spin_unlock_irq(&sar_lock);
}

/*
 * Under sar_lock, converter usable. A conversion already running (a read
 * may come before anyone initialises) keeps its start bit, so that its
 * waiters get its result and no caller starts another over it; one that
 * ends between the two accesses is followed by one more, as good.
 */
static void sar_init_regs(void)
{
	u16 running;

	if (!sar_hw_inited) {
		running = HAL_SAR_Read2Byte(SAR_REG_CTRL) & SAR_CTRL_START;
		HAL_SAR_Write2Byte(SAR_REG_CTRL, SAR_CTRL_INIT | running);
		sar_hw_inited = 1;
	}
}

static bool sar_running(void)
{
	return HAL_SAR_Read2Byte(SAR_REG_CTRL) & SAR_CTRL_START;
}

/*
 * Under sar_lock, converter usable: sets the start bit, keeping the other
 * bits, unless a conversion is running already. True when it is: the
 * caller shares it, or, if it is one that never ended, finds it stuck.
 */
static bool sar_start(void)
{
	u16 ctrl = HAL_SAR_Read2Byte(SAR_REG_CTRL);

	if (ctrl & SAR_CTRL_START)
		return true;
	HAL_SAR_Write2Byte(SAR_REG_CTRL, ctrl | SAR_CTRL_START);
	sar_stuck = false;
	return false;
}

/*
 * After the wait: selects channel @channel and reads its result. -EINVAL
 * for a channel outside 0 to 3, whose conversion still ran.
 */
static int sar_fetch(int channel, u16 *value)
{
	unsigned int n = channel;

	if (n >= SAR_NUM_CHANNELS)
		return -EINVAL;
	HAL_SAR_Write2ByteMask(SAR_REG_CHAN, BIT(n), BIT(n));
	*value = HAL_SAR_Read2Byte(SAR_REG_DATA(n));
	return 0;
}

/* Process context. */
static int sar_hw_init(void)
{
	int ret;

	mutex_lock(&sar_mutex);
	spin_lock_irq(&sar_lock);
	ret = sar_usable();
	if (!ret)
		sar_init_regs();
	spin_unlock_irq(&sar_lock);
	mutex_unlock(&sar_mutex);
	return ret;
}

/*
 * Process context: one conversion, or a share of the one running, waited
 * for with a sleeping poll. The mutex keeps the window and the clock, so
 * the polls need no lock. Running out of time gives -ETIMEDOUT with the
 * result register read anyway.
 */
static int sar_convert(int channel, u16 *value)
{
	int ret, timeout;
	u16 ctrl;

	mutex_lock(&sar_mutex);
	spin_lock_irq(&sar_lock);
	ret = sar_usable();
	if (!ret)
		sar_start();
	spin_unlock_irq(&sar_lock);
	if (!ret) {
		timeout = readx_poll_timeout(HAL_SAR_Read2Byte, SAR_REG_CTRL,
					     ctrl, !(ctrl & SAR_CTRL_START),
					     SAR_POLL_SLEEP_US,
					     SAR_POLL_TIMEOUT_US);
		spin_lock_irq(&sar_lock);
		sar_stuck = timeout;
		ret = sar_fetch(channel, value) ?: timeout;
		spin_unlock_irq(&sar_lock);
	}
	mutex_unlock(&sar_mutex);
	return ret;
}

/* The exports have no way to return an error: it goes to the log. */
static void sar_report(int err)
{
	if (err == -ENODEV)
		pr_err_ratelimited("no converter bound\n");
	else if (err == -EAGAIN)
		pr_err_ratelimited("converter suspended\n");
	else if (err == -EBUSY)
		pr_err_ratelimited("converter busy\n");
	else if (err == -EINVAL)
		pr_err_ratelimited("error channel,support SAR0,SAR1,SAR2,SAR3\n");
}

void qv_sar_hw_init(void)
{
	unsigned long flags;
	int ret;

	spin_lock_irqsave(&sar_lock, flags);
	ret = sar_usable();
	if (!ret)
		sar_init_regs();
	spin_unlock_irqrestore(&sar_lock, flags);
	sar_report(ret);
}
EXPORT_SYMBOL(qv_sar_hw_init);

/*
 * The caller may be atomic, so the wait is a counted busy-wait, sar_lock
 * taken for each poll. A conversion that is running is shared; one that
 * never ended means a stuck converter: waiting for it again would cost
 * every caller the whole wait, so the caller gets 0 at once.
 */
int qv_sar_get(int channel)
{
	int polls = SAR_POLL_COUNT;
	unsigned long flags;
	u16 value = 0;
	int ret;

	spin_lock_irqsave(&sar_lock, flags);
	ret = sar_usable();
	if (!ret && sar_start() && sar_stuck)
		ret = -EBUSY;
	while (!ret && sar_running() && --polls) {
		spin_unlock_irqrestore(&sar_lock, flags);
		udelay(1);
		spin_lock_irqsave(&sar_lock, flags);
		ret = sar_usable();
	}
	if (!ret) {
		sar_stuck = !polls;
		ret = sar_fetch(channel, &value);
	}
	spin_unlock_irqrestore(&sar_lock, flags);
	sar_report(ret);
	return value;
}
EXPORT_SYMBOL(qv_sar_get);

/*
 * Binds (@base) or unbinds (NULL) the window once the process-context
 * operation in progress has finished; an export in progress backs off at
 * its next poll. Either way the converter counts as not initialised, and
 * channel 0 is selected.
 */
static void sar_set_window(void __iomem *base)
{
	mutex_lock(&sar_mutex);
	spin_lock_irq(&sar_lock);
	sar_reg_base = base;
	sar_hw_inited = 0;
	sar_channel = 0;
	sar_asleep = false;
	sar_stuck = false;
	spin_unlock_irq(&sar_lock);
	mutex_unlock(&sar_mutex);
}

/*
 * Run the converter from its clock's first possible parent. A clock without
 * one keeps the parent it has.
 */
static void sar_clk_select_parent(struct clk *clk)
{
	struct clk_hw *hw = __clk_get_hw(clk);
	struct clk_hw *parent;

	if (!hw)
		return;
	parent = clk_hw_get_parent_by_index(hw, 0);
	if (!parent)
		return;
	clk_set_parent(clk, parent->clk);
}

/*
 * At probe failures are not fatal: the converter may run from a clock that
 * is on anyway. clk_on records what we did so that off stays balanced.
 */
static int sar_clk_on(struct sar_drvdata *priv)
{
	int ret;

	if (!priv->clk || priv->clk_on)
		return 0;
	ret = clk_prepare(priv->clk);
	if (ret)
		return ret;
	ret = clk_enable(priv->clk);
	if (ret) {
		clk_unprepare(priv->clk);
		return ret;
	}
	priv->clk_on = true;
	return 0;
}

static void sar_clk_off(struct sar_drvdata *priv)
{
	if (!priv->clk_on)
		return;
	clk_disable(priv->clk);
	clk_unprepare(priv->clk);
	priv->clk_on = false;
}

static void sar_clk_release(void *data)
{
	struct sar_drvdata *priv = data;

	sar_clk_off(priv);
	clk_put(priv->clk);
}

/*
 * The clock is optional: without a usable one the converter runs as the
 * boot left it. One that is not ready yet defers the probe.
 */
static int sar_clk_get(struct sar_drvdata *priv)
{
	struct clk *clk = of_clk_get(priv->dev->of_node, 0);
	int ret;

	if (IS_ERR(clk))
		return PTR_ERR(clk) == -EPROBE_DEFER ? -EPROBE_DEFER : 0;
	priv->clk = clk;
	ret = devm_add_action_or_reset(priv->dev, sar_clk_release, priv);
	if (ret)
		return ret;
	sar_clk_select_parent(clk);
	sar_clk_on(priv);
	return 0;
}

static int qv_sar_open(struct inode *inode, struct file *file)
{
	return 0;
}

#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 0, 0)
#define sar_access_ok(addr, size)	access_ok(addr, size)
#else
#define sar_access_ok(addr, size)	access_ok(VERIFY_WRITE, addr, size)
#endif

static long qv_sar_ioctl(struct file *file, unsigned int cmd,
			 unsigned long arg)
{
	void __user *argp = (void __user *)arg;
	struct sar_ioctl_data data;
	int channel, ret;
	u16 value;

	BUILD_BUG_ON(sizeof(data) != 8);

	if (_IOC_TYPE(cmd) != SAR_IOC_MAGIC)
		return -ENOTTY;
	if (_IOC_NR(cmd) > SAR_IOC_MAXNR)
		return -ENOTTY;
	/*
	 * Our commands carry no direction bits, so one that does is unknown;
	 * a bad user range is still reported as such first.
	 */
	if ((_IOC_DIR(cmd) & (_IOC_READ | _IOC_WRITE)) &&
	    !sar_access_ok(argp, _IOC_SIZE(cmd)))
		return -EFAULT;

	switch (cmd) {
	case SAR_IOC_INIT:
		return sar_hw_init();
	case SAR_IOC_READ:
		if (copy_from_user(&data, argp, sizeof(data)))
			return -EFAULT;
		channel = data.channel & (SAR_NUM_CHANNELS - 1);
		sar_select(channel);
		ret = sar_convert(channel, &value);
		if (ret && ret != -ETIMEDOUT)
			return ret;
		data.value = value;
		if (copy_to_user(argp, &data, sizeof(data)))
			return -EFAULT;
		return 0;
	default:
		printk_ratelimited(KERN_DEFAULT "ioctl: unknown command\n");
		return -ENOTTY;
	}
}

static const struct file_operations sar_fops = {
	.owner = THIS_MODULE,
	.open = qv_sar_open,
	.unlocked_ioctl = qv_sar_ioctl,
};

static ssize_t channel_show(struct device *dev, struct device_attribute *attr,
			    char *buf)
{
	return scnprintf(buf, PAGE_SIZE, "%d\n", sar_selected());
}

/* A channel number 0 to 3; anything else keeps the selected channel. */
static ssize_t channel_store(struct device *dev, struct device_attribute *attr,
			     const char *buf, size_t count)
{
	unsigned int channel;

	if (kstrtouint(buf, 10, &channel) || channel >= SAR_NUM_CHANNELS)
		return -EINVAL;
	sar_select(channel);
	return count;
}
static DEVICE_ATTR_RW(channel);

static ssize_t value_show(struct device *dev, struct device_attribute *attr,
			  char *buf)
{
	int channel = sar_selected() & (SAR_NUM_CHANNELS - 1);
	u16 value;
	int ret;

	ret = sar_hw_init();
	if (!ret)
		ret = sar_convert(channel, &value);
	if (ret && ret != -ETIMEDOUT)
		return ret;
	return scnprintf(buf, PAGE_SIZE, "%d\n", value);
}
static DEVICE_ATTR_RO(value);

static struct attribute *sar_attrs[] = {
	&dev_attr_channel.attr,
	&dev_attr_value.attr,
	NULL
};
ATTRIBUTE_GROUPS(sar);

#if IS_REACHABLE(CONFIG_IIO)
/*
 * The same converter as an IIO device: in_voltageN_raw convert through the
 * path of the value attribute; in_voltage_scale (mV per count of the 16-bit
 * reading) comes from the reference supply when the node gives one.
 */
#define SAR_IIO_CHANNEL(n, shared) {				\
	.type = IIO_VOLTAGE,					\
	.indexed = 1,						\
	.channel = (n),						\
	.info_mask_separate = BIT(IIO_CHAN_INFO_RAW),		\
	.info_mask_shared_by_type = (shared),			\
}

static const struct iio_chan_spec sar_iio_channels[] = {
	SAR_IIO_CHANNEL(0, 0),
	SAR_IIO_CHANNEL(1, 0),
	SAR_IIO_CHANNEL(2, 0),
	SAR_IIO_CHANNEL(3, 0),
};

static const struct iio_chan_spec sar_iio_channels_scaled[] = {
	SAR_IIO_CHANNEL(0, BIT(IIO_CHAN_INFO_SCALE)),
	SAR_IIO_CHANNEL(1, BIT(IIO_CHAN_INFO_SCALE)),
	SAR_IIO_CHANNEL(2, BIT(IIO_CHAN_INFO_SCALE)),
	SAR_IIO_CHANNEL(3, BIT(IIO_CHAN_INFO_SCALE)),
};

static int sar_iio_read_raw(struct iio_dev *indio_dev,
			    struct iio_chan_spec const *chan, int *val,
			    int *val2, long mask)
{
	struct sar_drvdata *priv = iio_device_get_drvdata(indio_dev);
	u16 value;
	int ret;

	switch (mask) {
	case IIO_CHAN_INFO_RAW:
		ret = sar_hw_init();
		if (!ret)
			ret = sar_convert(chan->channel, &value);
		if (ret)
			return ret;
		*val = value;
		return IIO_VAL_INT;
	case IIO_CHAN_INFO_SCALE:
		ret = regulator_get_voltage(priv->vref);
		if (ret < 0)
			return ret;
		*val = ret / 1000;
		*val2 = 16;
		return IIO_VAL_FRACTIONAL_LOG2;
	default:
		return -EINVAL;
	}
}

static const struct iio_info sar_iio_info = {
	.read_raw = sar_iio_read_raw,
#if LINUX_VERSION_CODE < KERNEL_VERSION(4, 15, 0)
	.driver_module = THIS_MODULE,
#endif
};

static void sar_vref_disable(void *data)
{
	regulator_disable(data);
}

/* The reference is optional; one that is not ready yet defers the probe. */
static int sar_vref_get(struct sar_drvdata *priv)
{
	struct regulator *vref = devm_regulator_get_optional(priv->dev, "vref");
	int ret;

	if (IS_ERR(vref))
		return PTR_ERR(vref) == -ENODEV ? 0 : PTR_ERR(vref);
	ret = regulator_enable(vref);
	if (ret)
		return ret;
	priv->vref = vref;
	return devm_add_action_or_reset(priv->dev, sar_vref_disable, vref);
}

/* Like the misc device, optional: a failure leaves the other ways in. */
static void sar_iio_register(struct sar_drvdata *priv)
{
	struct iio_dev *indio_dev = devm_iio_device_alloc(priv->dev, 0);

	if (!indio_dev)
		return;
	indio_dev->dev.parent = priv->dev;
	indio_dev->name = "tessel-sar";
	indio_dev->info = &sar_iio_info;
	indio_dev->modes = INDIO_DIRECT_MODE;
	indio_dev->channels = priv->vref ? sar_iio_channels_scaled :
					   sar_iio_channels;
	indio_dev->num_channels = ARRAY_SIZE(sar_iio_channels);
	iio_device_set_drvdata(indio_dev, priv);
	if (devm_iio_device_register(priv->dev, indio_dev))
		dev_warn(priv->dev, "no IIO device\n");
}
#else
static int sar_vref_get(struct sar_drvdata *priv)
{
	return 0;
}

static void sar_iio_register(struct sar_drvdata *priv)
{
}
#endif

static int tessel_sar_probe(struct platform_device *pdev)
{
	struct device *dev = &pdev->dev;
	struct sar_drvdata *priv;
	struct resource *res;
	void __iomem *base;
	struct device *sysfs_dev;
	int ret;

	/* A second node would take over the one window and misc device. */
	if (sar_reg_base)
		return -EBUSY;

	priv = devm_kzalloc(dev, sizeof(*priv), GFP_KERNEL);
	if (!priv)
		return -ENOMEM;
	priv->dev = dev;

	res = platform_get_resource(pdev, IORESOURCE_MEM, 0);
	if (!res)
		return -ENODEV;
	base = devm_ioremap_resource(dev, res);
	if (IS_ERR(base))
		return PTR_ERR(base);
	priv->reg_base = base;

	ret = sar_clk_get(priv);
	if (ret)
		return ret;
	ret = sar_vref_get(priv);
	if (ret)
		return ret;

	platform_set_drvdata(pdev, priv);
	sar_set_window(base);

	/* The device stays useful through sysfs and the exports without it. */
	priv->misc.minor = MISC_DYNAMIC_MINOR;
	priv->misc.name = "sar";
	priv->misc.fops = &sar_fops;
	priv->misc_registered = !misc_register(&priv->misc);

	/* With its attributes, so that user space sees them when it is told. */
	sysfs_dev = device_create_with_groups(qvsys_get_sysfs_class(), NULL,
					      dev->devt, NULL, sar_groups,
					      "sar");
	if (!IS_ERR(sysfs_dev))
		priv->sysfs_dev = sysfs_dev;
	sar_iio_register(priv);
	return 0;
}

static void sar_unbind(struct platform_device *pdev)
{
	struct sar_drvdata *priv = platform_get_drvdata(pdev);

	/*
	 * Other devices of the shared class may also have no device number,
	 * so unregister our own rather than look one up by number.
	 */
	if (priv->sysfs_dev)
		device_unregister(priv->sysfs_dev);
	if (priv->misc_registered)
		misc_deregister(&priv->misc);

	/*
	 * Callers from other modules now get 0 instead of a stale mapping.
	 * The clock goes off and the record goes after this returns.
	 */
	sar_set_window(NULL);
}

#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 11, 0)
static void tessel_sar_remove(struct platform_device *pdev)
{
	sar_unbind(pdev);
}
#else
static int tessel_sar_remove(struct platform_device *pdev)
{
	sar_unbind(pdev);
	return 0;
}
#endif

/*
 * From here until the clock is back on, every way in backs off before it
 * touches a register; an export in progress does so at its next poll.
 */
static int __maybe_unused tessel_sar_suspend(struct device *dev)
{
	struct sar_drvdata *priv = dev_get_drvdata(dev);

	mutex_lock(&sar_mutex);
	spin_lock_irq(&sar_lock);
	sar_asleep = true;
	sar_hw_inited = 0;
	spin_unlock_irq(&sar_lock);
	priv->clk_suspended = priv->clk_on;
	sar_clk_off(priv);
	mutex_unlock(&sar_mutex);
	return 0;
}

/*
 * The converter is initialised again by the next qv_sar_hw_init(). A clock
 * that suspend turned off and that does not come back on keeps it asleep;
 * one that was not on before is tried again, as at probe.
 */
static int __maybe_unused tessel_sar_resume(struct device *dev)
{
	struct sar_drvdata *priv = dev_get_drvdata(dev);
	int ret;

	mutex_lock(&sar_mutex);
	ret = sar_clk_on(priv);
	if (ret && priv->clk_suspended) {
		dev_err(dev, "clock does not come back on: %d\n", ret);
	} else {
		ret = 0;
		spin_lock_irq(&sar_lock);
		sar_asleep = false;
		spin_unlock_irq(&sar_lock);
	}
	mutex_unlock(&sar_mutex);
	return ret;
}

static SIMPLE_DEV_PM_OPS(tessel_sar_pm_ops, tessel_sar_suspend,
			 tessel_sar_resume);

static const struct of_device_id qv_sar_of_match_table[] = {
	{ .compatible = "qrvn,tessel-sar" },
	{ }
};
MODULE_DEVICE_TABLE(of, qv_sar_of_match_table);

static struct platform_driver sar_platform_driver = {
	.probe = tessel_sar_probe,
	.remove = tessel_sar_remove,
	.driver = {
		.name = "tessel-sar",
		.pm = &tessel_sar_pm_ops,
		.of_match_table = qv_sar_of_match_table,
	},
};
module_platform_driver(sar_platform_driver);

MODULE_ALIAS("platform:tessel-sar");
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("tessel Sar Device Driver");
MODULE_VERSION(PTZCAM_VERSION);
