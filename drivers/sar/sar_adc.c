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
 */

#include <linux/clk.h>
#include <linux/clk-provider.h>
#include <linux/ctype.h>
#include <linux/delay.h>
#include <linux/device.h>
#include <linux/err.h>
#include <linux/fs.h>
#include <linux/io.h>
#include <linux/ioctl.h>
#include <linux/kernel.h>
#include <linux/miscdevice.h>
#include <linux/mod_devicetable.h>
#include <linux/module.h>
#include <linux/of.h>
#include <linux/platform_device.h>
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

struct sar_drvdata {
	struct device *dev;
	struct device *sysfs_dev;	/* class device "sar", or NULL */
	void __iomem *reg_base;
	struct clk *clk;		/* NULL: no clock handling */
	bool clk_on;			/* prepared and enabled by us */
	bool misc_registered;
};

static void __iomem *sar_reg_base;	/* NULL while no converter is bound */
static u8 sar_hw_inited;
static int sar_channel;			/* selected for the value attribute */

/*
 * Serialises initialisation and whole conversions (start, wait, read)
 * against each other. Other modules may call in from atomic context.
 */
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

/* Read-modify-write as two bus accesses; callers hold sar_lock. */
int HAL_SAR_Write2ByteMask(u32 addr, u16 value, u16 mask)
{
	u16 old = HAL_SAR_Read2Byte(addr);

	HAL_SAR_Write2Byte(addr, (old & ~mask) | (value & mask));
	return 1;
}

void qv_sar_hw_init(void)
{
	unsigned long flags;
	bool bound;

	spin_lock_irqsave(&sar_lock, flags);
	bound = sar_reg_base;
	if (bound && !sar_hw_inited) {
		HAL_SAR_Write2Byte(SAR_REG_CTRL, SAR_CTRL_INIT);
		sar_hw_inited = 1;
	}
	spin_unlock_irqrestore(&sar_lock, flags);

	if (!bound)
		pr_err("no converter bound\n");
}
EXPORT_SYMBOL(qv_sar_hw_init);

int qv_sar_get(int channel)
{
	unsigned int n = channel;
	unsigned long flags;
	int polls = SAR_POLL_COUNT;
	u16 value = 0;
	bool bound;

	spin_lock_irqsave(&sar_lock, flags);
	bound = sar_reg_base;
	if (bound) {
		HAL_SAR_Write2ByteMask(SAR_REG_CTRL, SAR_CTRL_START,
				       SAR_CTRL_START);
		/* Running out of polls is not an error: read the result anyway. */
		while ((HAL_SAR_Read2Byte(SAR_REG_CTRL) & SAR_CTRL_START) &&
		       --polls)
			udelay(1);
		if (n < SAR_NUM_CHANNELS) {
			HAL_SAR_Write2ByteMask(SAR_REG_CHAN, BIT(n), BIT(n));
			value = HAL_SAR_Read2Byte(SAR_REG_DATA(n));
		}
	}
	spin_unlock_irqrestore(&sar_lock, flags);

	if (!bound)
		pr_err("no converter bound\n");
	else if (n >= SAR_NUM_CHANNELS)
		pr_err("error channel,support SAR0,SAR1,SAR2,SAR3\n");
	return value;
}
EXPORT_SYMBOL(qv_sar_get);

static void sar_set_window(void __iomem *base)
{
	unsigned long flags;

	spin_lock_irqsave(&sar_lock, flags);
	sar_reg_base = base;
	spin_unlock_irqrestore(&sar_lock, flags);
}

/* After bind and after each suspend the next init call writes again. */
static void sar_forget_init(void)
{
	unsigned long flags;

	spin_lock_irqsave(&sar_lock, flags);
	sar_hw_inited = 0;
	spin_unlock_irqrestore(&sar_lock, flags);
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
 * Failures are not fatal: the converter may run from a clock that is on
 * anyway. clk_on records what we did so that off stays balanced.
 */
static void sar_clk_on(struct sar_drvdata *priv)
{
	if (!priv->clk || priv->clk_on || clk_prepare(priv->clk))
		return;
	if (clk_enable(priv->clk)) {
		clk_unprepare(priv->clk);
		return;
	}
	priv->clk_on = true;
}

static void sar_clk_off(struct sar_drvdata *priv)
{
	if (!priv->clk_on)
		return;
	clk_disable(priv->clk);
	clk_unprepare(priv->clk);
	priv->clk_on = false;
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
	int channel;

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
		qv_sar_hw_init();
		return 0;
	case SAR_IOC_READ:
		if (copy_from_user(&data, argp, sizeof(data)))
			return -EFAULT;
		channel = data.channel & (SAR_NUM_CHANNELS - 1);
		sar_channel = channel;
		data.value = qv_sar_get(channel);
		if (copy_to_user(argp, &data, sizeof(data)))
			return -EFAULT;
		return 0;
	default:
		printk(KERN_DEFAULT "ioctl: unknown command\n");
		return -ENOTTY;
	}
}

static const struct file_operations sar_fops = {
	.owner = THIS_MODULE,
	.open = qv_sar_open,
	.unlocked_ioctl = qv_sar_ioctl,
};

static struct miscdevice sar_miscdev = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "sar",
	.fops = &sar_fops,
};

static ssize_t channel_show(struct device *dev, struct device_attribute *attr,
			    char *buf)
{
	return scnprintf(buf, PAGE_SIZE, "%d\n", sar_channel);
}

/*
 * Any text that starts with a non-blank is taken: its leading decimal
 * digits select the channel (none gives 0), unmasked and unchecked.
 */
static ssize_t channel_store(struct device *dev, struct device_attribute *attr,
			     const char *buf, size_t count)
{
	if (!buf[0] || isspace(buf[0]))
		return -EINVAL;
	sar_channel = simple_strtoul(buf, NULL, 10);
	return count;
}
static DEVICE_ATTR_RW(channel);

static ssize_t value_show(struct device *dev, struct device_attribute *attr,
			  char *buf)
{
	int channel = sar_channel & (SAR_NUM_CHANNELS - 1);

	qv_sar_hw_init();
	return scnprintf(buf, PAGE_SIZE, "%d\n", qv_sar_get(channel));
}
static DEVICE_ATTR_RO(value);

static int tessel_sar_probe(struct platform_device *pdev)
{
	struct device *dev = &pdev->dev;
	struct sar_drvdata *priv;
	struct resource *res;
	void __iomem *base;
	struct device *sysfs_dev;
	struct clk *clk;

	/* A second node would take over the one window and misc device. */
	if (sar_reg_base)
		return -EBUSY;

	priv = devm_kzalloc(dev, sizeof(*priv), GFP_KERNEL);
	if (!priv)
		return -ENOMEM;
	priv->dev = dev;

	sar_channel = 0;
	sar_forget_init();

	res = platform_get_resource(pdev, IORESOURCE_MEM, 0);
	if (!res)
		return -ENODEV;
	base = devm_ioremap_resource(dev, res);
	if (IS_ERR(base))
		return PTR_ERR(base);
	priv->reg_base = base;
	sar_set_window(base);

	/* Without a usable clock the converter runs as the boot left it. */
	clk = of_clk_get(dev->of_node, 0);
	if (!IS_ERR(clk)) {
		sar_clk_select_parent(clk);
		priv->clk = clk;
		sar_clk_on(priv);
	}

	platform_set_drvdata(pdev, priv);

	/* The device stays useful through sysfs and the exports without it. */
	priv->misc_registered = !misc_register(&sar_miscdev);

	sysfs_dev = device_create(qvsys_get_sysfs_class(), NULL, dev->devt,
				  NULL, "sar");
	if (IS_ERR(sysfs_dev))
		return 0;
	priv->sysfs_dev = sysfs_dev;

	/* A missing attribute leaves the others usable; nothing to undo. */
	device_create_file(sysfs_dev, &dev_attr_channel);
	device_create_file(sysfs_dev, &dev_attr_value);
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
		misc_deregister(&sar_miscdev);

	/* Callers from other modules now get 0 instead of a stale mapping. */
	sar_set_window(NULL);

	sar_clk_off(priv);
	if (priv->clk)
		clk_put(priv->clk);
	devm_kfree(&pdev->dev, priv);
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

static int tessel_sar_suspend(struct platform_device *pdev,
			      pm_message_t state)
{
	struct sar_drvdata *priv = platform_get_drvdata(pdev);

	sar_forget_init();
	if (priv)
		sar_clk_off(priv);
	return 0;
}

/* The converter is initialised again by the next qv_sar_hw_init(). */
static int tessel_sar_resume(struct platform_device *pdev)
{
	struct sar_drvdata *priv = platform_get_drvdata(pdev);

	if (priv)
		sar_clk_on(priv);
	return 0;
}

static const struct of_device_id qv_sar_of_match_table[] = {
	{ .compatible = "qrvn,tessel-sar" },
	{ }
};
MODULE_DEVICE_TABLE(of, qv_sar_of_match_table);

static struct platform_driver sar_platform_driver = {
	.probe = tessel_sar_probe,
	.remove = tessel_sar_remove,
	.suspend = tessel_sar_suspend,
	.resume = tessel_sar_resume,
	.driver = {
		.name = "tessel-sar",
		.of_match_table = qv_sar_of_match_table,
	},
};
module_platform_driver(sar_platform_driver);

MODULE_ALIAS("platform:tessel-sar");
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("tessel Sar Device Driver");
