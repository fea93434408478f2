// SPDX-License-Identifier: GPL-2.0
/*
 * A small module for the bench's own tests: a misc device whose ioctl copies
 * a word in, works on it under a lock, and copies it back.
 */
#include <linux/delay.h>
#include <linux/gpio.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>

#define SAMPLE_CMD_DOUBLE	1	/* double a u32 in place */
#define SAMPLE_CMD_SLEEP	2	/* sleep with the lock held (a bug) */
#define SAMPLE_GPIO		5

static int sample_factor = 2;
module_param(sample_factor, int, 0444);
MODULE_PARM_DESC(sample_factor, "multiplier");

static char *sample_label = "sample";
module_param(sample_label, charp, 0444);

static DEFINE_SPINLOCK(sample_lock);
static void *sample_buffer;

static long sample_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	u32 value;

	if (copy_from_user(&value, (void __user *)arg, sizeof(value)))
		return -EFAULT;
	spin_lock(&sample_lock);
	if (cmd == SAMPLE_CMD_SLEEP)
		msleep(1);
	udelay(5);
	value *= sample_factor;
	gpio_set_value(SAMPLE_GPIO, !gpio_get_value(SAMPLE_GPIO));
	spin_unlock(&sample_lock);
	if (copy_to_user((void __user *)arg, &value, sizeof(value)))
		return -EFAULT;
	return 0;
}

static const struct file_operations sample_fops = {
	.owner = THIS_MODULE,
	.unlocked_ioctl = sample_ioctl,
};

static struct miscdevice sample_misc = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "kbench_sample",
	.fops = &sample_fops,
};

static int __init sample_init(void)
{
	int ret;

	sample_buffer = kzalloc(16, GFP_KERNEL);
	if (!sample_buffer)
		return -ENOMEM;
	ret = gpio_request(SAMPLE_GPIO, sample_label);
	if (ret)
		goto free_buffer;
	gpio_direction_output(SAMPLE_GPIO, 0);
	ret = misc_register(&sample_misc);
	if (ret)
		goto free_gpio;
	pr_info("sample loaded, factor %d\n", sample_factor);
	return 0;

free_gpio:
	gpio_free(SAMPLE_GPIO);
free_buffer:
	kfree(sample_buffer);
	return ret;
}

static void __exit sample_exit(void)
{
	misc_deregister(&sample_misc);
	gpio_free(SAMPLE_GPIO);
	kfree(sample_buffer);
	printk("sample unloaded\n");
}

module_init(sample_init);
module_exit(sample_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("bench sample");
