// SPDX-License-Identifier: GPL-2.0
/*
 * Bit-banged I2C master on GPIO 12 (SCL) and 13 (SDA), and the misc device
 * "rjgt102_i2c" through which user space reads and writes the 8-bit
 * registers of the slave at 7-bit address 0x68.
 *
 * The master is the only one on the bus. SCL is always driven; SDA is driven
 * push-pull by the master and released (input) while the slave may answer.
 * Every edge is timed with busy-waits of 2 us units, and each register is a
 * transaction of its own. The bus keeps no state in memory: each primitive
 * states where it leaves the two lines and the next one starts from there.
 */

#define pr_fmt(fmt) KBUILD_MODNAME ": " fmt

#include <linux/delay.h>
#include <linux/fs.h>
#include <linux/gpio.h>
#include <linux/gpio/consumer.h>
#include <linux/i2c.h>
#include <linux/irqflags.h>
#include <linux/kernel.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/version.h>
#include <linux/rjgt102_i2c.h>

#define GPIOI2C_SCL		12
#define GPIOI2C_SDA		13

#define GPIOI2C_ADDR_WRITE	0xD0	/* 0x68 << 1, write */
#define GPIOI2C_ADDR_READ	0xD1	/* 0x68 << 1, read */

#define GPIOI2C_ACK_SAMPLES	7	/* SDA samples before giving up */
#define GPIOI2C_WRITE_PAUSE	30	/* i2c_delay units after a write: 60 us */

#define I2C_NACK		1	/* i2c_wait_ack(): slave did not answer */

/*
 * Fixed tags of the line messages (they are not line numbers). Those
 * messages keep their own format, without the module's prefix.
 */
#define GPIOI2C_TAG_DEV_IN	58
#define GPIOI2C_TAG_DEV_OUT	75
#define GPIOI2C_TAG_REQ_SCL	489
#define GPIOI2C_TAG_REQ_SDA	493

/*
 * Adapter transfers: at most a register pointer and a block each way, so
 * that one holds the bus lock for about 13 ms at most.
 */
#define GPIOI2C_XFER_MSGS	2
#define GPIOI2C_XFER_LEN	64

/*
 * Serialises whole ioctl calls, and whole adapter transfers, on the bus;
 * taken from process context only, inside the adapter's bus lock.
 */
static DEFINE_SPINLOCK(gpioi2c_lock);

#if IS_REACHABLE(CONFIG_I2C)
static struct i2c_adapter gpioi2c_adapter;

/*
 * Process context, before gpioi2c_lock: waits for an I2C core user that
 * holds the bus across several transfers (i2c_lock_bus()), so that an
 * ioctl never lands between its messages.
 */
static void gpioi2c_bus_lock(void)
{
	i2c_lock_bus(&gpioi2c_adapter, I2C_LOCK_ROOT_ADAPTER);
}

static void gpioi2c_bus_unlock(void)
{
	i2c_unlock_bus(&gpioi2c_adapter, I2C_LOCK_ROOT_ADAPTER);
}
#else
static void gpioi2c_bus_lock(void)
{
}

static void gpioi2c_bus_unlock(void)
{
}
#endif

/* Make @gpio an output at raw @level (active-low is ignored). */
static int gpio_dev_out(int gpio, int level)
{
	if (gpiod_direction_output_raw(gpio_to_desc(gpio), level)) {
		printk_ratelimited(KERN_ERR "[%s %d]gpio_direction_output fail!\n",
				   __func__, GPIOI2C_TAG_DEV_OUT);
		return -EIO;
	}
	return 0;
}

/* Release SDA and sample its raw level. */
static int gpio_dev_in(void)
{
	struct gpio_desc *sda = gpio_to_desc(GPIOI2C_SDA);

	if (gpiod_direction_input(sda)) {
		printk_ratelimited("[%s %d]gpio_direction_input fail!\n",
				   __func__, GPIOI2C_TAG_DEV_IN);
		return -EIO;
	}
	return gpiod_get_raw_value(sda);
}

static int i2c_scl_high(void)
{
	return gpio_dev_out(GPIOI2C_SCL, 1);
}

static int i2c_scl_low(void)
{
	return gpio_dev_out(GPIOI2C_SCL, 0);
}

/* Busy-wait 2 * @n microseconds. */
static void i2c_delay(unsigned int n)
{
	udelay(2 * n);
}

/*
 * Start, or repeated start when entered with SCL low: SDA is raised before
 * SCL, then falls while SCL is high. Leaves SCL high and SDA driven low.
 */
static void i2c_start(void)
{
	i2c_delay(1);
	gpio_dev_out(GPIOI2C_SDA, 1);
	i2c_scl_high();
	i2c_delay(1);
	gpio_dev_out(GPIOI2C_SDA, 0);
	i2c_delay(1);
}

/*
 * One clock pulse with SDA as it was, then SDA rises while SCL is high.
 * Leaves both lines driven high, the idle bus.
 */
static void i2c_stop(void)
{
	i2c_delay(1);
	i2c_scl_high();
	i2c_delay(1);
	i2c_scl_low();
	i2c_delay(1);
	gpio_dev_out(GPIOI2C_SDA, 0);
	i2c_delay(1);
	i2c_scl_high();
	i2c_delay(1);
	gpio_dev_out(GPIOI2C_SDA, 1);
	i2c_delay(1);
}

/*
 * Send bits 7..0 of @value, MSB first, with interrupts off so that no
 * handler stretches a bit. Each bit: SCL low 6 us (SDA set for the last
 * 2 us), high 4 us. Leaves SCL low and SDA driven at bit 0.
 */
static void i2c_send_byte(int value)
{
	int bit;

	local_irq_disable();
	for (bit = 7; bit >= 0; bit--) {
		i2c_delay(1);
		i2c_scl_low();
		i2c_delay(1);
		gpio_dev_out(GPIOI2C_SDA, (value >> bit) & 1);
		i2c_delay(1);
		i2c_scl_high();
		i2c_delay(2);
		i2c_scl_low();
	}
	i2c_delay(1);
	local_irq_enable();
}

/*
 * Ninth clock after a byte from the master: release SDA, raise SCL and poll
 * for the slave pulling SDA low. Returns 0 when acknowledged, I2C_NACK after
 * GPIOI2C_ACK_SAMPLES high samples. Leaves SCL low and SDA released.
 */
static int i2c_wait_ack(void)
{
	int sample;

	gpiod_direction_input(gpio_to_desc(GPIOI2C_SDA));
	i2c_delay(2);
	i2c_scl_low();
	i2c_delay(1);
	i2c_scl_high();
	i2c_delay(1);
	for (sample = 1; ; sample++) {
		/* A failed sample (-EIO) counts as an acknowledge. */
		if ((gpio_dev_in() & 0xff) != 1) {
			i2c_delay(1);
			i2c_scl_low();
			i2c_delay(1);
			return 0;
		}
		if (sample == GPIOI2C_ACK_SAMPLES) {
			i2c_scl_low();
			return I2C_NACK;
		}
		i2c_delay(1);
	}
}

/*
 * Read 8 bits from the slave, MSB first, sampling 2 us into each 4 us high
 * phase, with interrupts off for the bits. Entered with SDA released;
 * leaves SCL low and SDA released.
 */
static unsigned char i2c_read_byte(void)
{
	unsigned char value = 0;
	int bit;

	local_irq_disable();
	for (bit = 7; bit >= 0; bit--) {
		i2c_delay(1);
		i2c_scl_low();
		i2c_delay(1);
		i2c_scl_high();
		i2c_delay(1);
		/* A failed sample (-EIO) reads as a 1 bit. */
		if (gpio_dev_in() & 0xff)
			value |= BIT(bit);
		i2c_delay(1);
		i2c_scl_low();
	}
	local_irq_enable();
	i2c_delay(1);
	return value;
}

/*
 * Ninth clock after a byte read by the master, with SDA driven at @level:
 * SDA set while SCL is low, then SCL high for 4 us. Leaves SCL low and SDA
 * driven at @level.
 */
static void i2c_answer_bit(int level)
{
	i2c_delay(1);
	i2c_scl_low();
	i2c_delay(1);
	gpio_dev_out(GPIOI2C_SDA, level);
	i2c_delay(1);
	i2c_scl_high();
	i2c_delay(2);
	i2c_scl_low();
}

/*
 * The answer with SDA high: the master wants no more. Leaves SCL low and
 * SDA driven high.
 */
static void i2c_send_nack(void)
{
	i2c_answer_bit(1);
	i2c_delay(2);
	gpio_dev_out(GPIOI2C_SDA, 1);
}

/*
 * Address the slave for writing and send @reg. A stage the slave does not
 * acknowledge abandons the register: no stop, the lines stay as
 * i2c_wait_ack() left them and the next start begins afresh.
 */
static int gpioi2c_select(u8 reg)
{
	i2c_start();
	i2c_send_byte(GPIOI2C_ADDR_WRITE);
	if (i2c_wait_ack())
		return I2C_NACK;
	i2c_send_byte(reg);
	return i2c_wait_ack();
}

/* Read register @reg into *@val; *@val is untouched when not acknowledged. */
static void gpioi2c_read_reg(u8 reg, u8 *val)
{
	if (gpioi2c_select(reg))
		return;
	i2c_start();
	i2c_send_byte(GPIOI2C_ADDR_READ);
	if (i2c_wait_ack())
		return;
	*val = i2c_read_byte();
	i2c_send_nack();
	i2c_stop();
}

static void gpioi2c_write_reg(u8 reg, u8 val)
{
	if (gpioi2c_select(reg))
		return;
	i2c_send_byte(val);
	if (i2c_wait_ack()) {
		printk_ratelimited("fail: return NACK\n");
		return;
	}
	i2c_stop();
	i2c_delay(GPIOI2C_WRITE_PAUSE);
}

static int gpioi2c_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int gpioi2c_close(struct inode *inode, struct file *file)
{
	return 0;
}

/*
 * Registers (start_reg + k) mod 256 for k below count, each a transaction of
 * its own, under the bus lock and gpioi2c_lock for the whole range. A count past the data
 * area is cut to the registers that have a data byte.
 */
static long gpioi2c_ioctl(struct file *file, unsigned int cmd, unsigned long arg)
{
	void __user *uarg = (void __user *)arg;
	struct gpioi2c_block block;
	bool copied_in;
	unsigned int k, count;

	BUILD_BUG_ON(sizeof(block) != GPIOI2C_BLOCK_SIZE);
	copied_in = !copy_from_user(&block, uarg, sizeof(block));
	if (!copied_in)
		printk_ratelimited("IOC_VDEC_INPUT_INIT error\n");
	if (cmd != GPIOI2C_CMD_READ && cmd != GPIOI2C_CMD_WRITE)
		return -EPERM;
	if (!copied_in)
		return -EFAULT;

	count = min_t(unsigned int, block.count, GPIOI2C_DATA_LEN);
	gpioi2c_bus_lock();
	spin_lock(&gpioi2c_lock);
	for (k = 0; k < count; k++) {
		u8 reg = (u8)(block.start_reg + k);

		if (cmd == GPIOI2C_CMD_READ)
			gpioi2c_read_reg(reg, &block.data[k]);
		else
			gpioi2c_write_reg(reg, block.data[k]);
	}
	spin_unlock(&gpioi2c_lock);
	gpioi2c_bus_unlock();

	if (cmd == GPIOI2C_CMD_READ && copy_to_user(uarg, &block, sizeof(block))) {
		printk_ratelimited("IOC_VDEC_INPUT_INIT error\n");
		return -EFAULT;
	}
	return 0;
}

static const struct file_operations gpioi2c_fops = {
	.owner		= THIS_MODULE,
	.open		= gpioi2c_open,
	.release	= gpioi2c_close,
	.unlocked_ioctl	= gpioi2c_ioctl,
};

static struct miscdevice gpioi2c_miscdev = {
	.minor	= MISC_DYNAMIC_MINOR,
	.name	= "rjgt102_i2c",
	.fops	= &gpioi2c_fops,
};

#if IS_REACHABLE(CONFIG_I2C)
/*
 * The answer with SDA low: the master wants another byte. Leaves SCL low
 * and SDA released for it.
 */
static void i2c_send_ack(void)
{
	i2c_answer_bit(0);
	gpiod_direction_input(gpio_to_desc(GPIOI2C_SDA));
	i2c_delay(1);
}

/*
 * One message after a start (or repeated start): the address byte, then
 * the data, each byte acknowledged by whoever receives it. Leaves SCL low.
 */
static int gpioi2c_xfer_msg(struct i2c_msg *msg)
{
	u16 k;

	i2c_send_byte(i2c_8bit_addr_from_msg(msg));
	if (i2c_wait_ack())
		return -ENXIO;
	for (k = 0; k < msg->len; k++) {
		if (msg->flags & I2C_M_RD) {
			msg->buf[k] = i2c_read_byte();
			if (k + 1 < msg->len)
				i2c_send_ack();
			else
				i2c_send_nack();
		} else {
			i2c_send_byte(msg->buf[k]);
			if (i2c_wait_ack())
				return -EIO;
		}
	}
	return 0;
}

/*
 * Plain 7-bit messages only. The core marks i2c-dev's and its own SMBus
 * buffers DMA-safe, which a bit-banged bus may ignore. Block reads
 * (I2C_M_RECV_LEN) are not advertised: the SMBus emulation would trust a
 * length byte the adapter never read.
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 16, 0)
#define GPIOI2C_MSG_FLAGS	(I2C_M_RD | I2C_M_DMA_SAFE)
#else
#define GPIOI2C_MSG_FLAGS	I2C_M_RD
#endif

/*
 * What the bus cannot do is refused before anything goes on it, with the
 * I2C core's fault codes. A read of no bytes would leave the slave driving
 * SDA after its address, so that no stop could follow.
 */
static int gpioi2c_check_msg(const struct i2c_msg *msg)
{
	if (msg->flags & ~GPIOI2C_MSG_FLAGS)
		return -EOPNOTSUPP;
	if (msg->addr > 0x7f)
		return -EINVAL;
	if ((msg->flags & I2C_M_RD) && !msg->len)
		return -EOPNOTSUPP;
	return 0;
}

/*
 * The I2C core's view of the same bus: messages joined by repeated starts
 * and closed by one stop, under gpioi2c_lock like an ioctl call. The bytes
 * turn interrupts back on when they end, so a caller that has them off is
 * turned away. No message at all would be a lone stop.
 */
static int gpioi2c_xfer(struct i2c_adapter *adap, struct i2c_msg *msgs,
			int num)
{
	int i, ret = 0;

	if (irqs_disabled())
		return -EAGAIN;
	if (num < 1)
		return -EINVAL;
	for (i = 0; i < num && !ret; i++)
		ret = gpioi2c_check_msg(&msgs[i]);
	if (ret)
		return ret;
	spin_lock(&gpioi2c_lock);
	for (i = 0; i < num && !ret; i++) {
		i2c_start();
		ret = gpioi2c_xfer_msg(&msgs[i]);
	}
	i2c_stop();
	spin_unlock(&gpioi2c_lock);
	return ret ? ret : num;
}

/* No quick command: its read direction is a read of no bytes. */
static u32 gpioi2c_functionality(struct i2c_adapter *adap)
{
	return I2C_FUNC_I2C | (I2C_FUNC_SMBUS_EMUL & ~I2C_FUNC_SMBUS_QUICK);
}

static const struct i2c_algorithm gpioi2c_algo = {
	.master_xfer	= gpioi2c_xfer,
	.functionality	= gpioi2c_functionality,
};

static const struct i2c_adapter_quirks gpioi2c_quirks = {
#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 16, 0)
	.flags		= I2C_AQ_NO_ZERO_LEN_READ,
#endif
	.max_num_msgs	= GPIOI2C_XFER_MSGS,
	.max_write_len	= GPIOI2C_XFER_LEN,
	.max_read_len	= GPIOI2C_XFER_LEN,
};

static struct i2c_adapter gpioi2c_adapter = {
	.owner	= THIS_MODULE,
	.algo	= &gpioi2c_algo,
	.quirks	= &gpioi2c_quirks,
	.name	= KBUILD_MODNAME,
};

static int gpioi2c_add_adapter(void)
{
	return i2c_add_adapter(&gpioi2c_adapter);
}

static void gpioi2c_del_adapter(void)
{
	i2c_del_adapter(&gpioi2c_adapter);
}
#else
static int gpioi2c_add_adapter(void)
{
	return 0;
}

static void gpioi2c_del_adapter(void)
{
}
#endif

/*
 * gpiolib takes a number without a descriptor for an absent optional line
 * and lets every call on it succeed: a bus there would read 0x00 and report
 * writes done. And the bus drives its lines under a spinlock, with interrupts
 * off for each byte: a controller whose calls may sleep cannot carry it.
 */
static int gpioi2c_check_line(unsigned int gpio)
{
	struct gpio_desc *desc = gpio_to_desc(gpio);

	if (!desc) {
		pr_err("GPIO %u does not exist\n", gpio);
		return -ENODEV;
	}
	if (gpiod_cansleep(desc)) {
		pr_err("GPIO %u may sleep, the bus cannot run on it\n", gpio);
		return -EOPNOTSUPP;
	}
	return 0;
}

/*
 * A line that cannot be requested belongs to another user: loading is
 * refused and the line left as that user set it.
 */
static int __init i2c_gt102_init(void)
{
	int ret;

	ret = gpioi2c_check_line(GPIOI2C_SCL);
	if (!ret)
		ret = gpioi2c_check_line(GPIOI2C_SDA);
	if (ret)
		return ret;

	ret = gpio_request(GPIOI2C_SCL, NULL);
	if (ret) {
		printk(KERN_ERR "[%s %d]gpio_request fail! gpio_num=%d \n",
		       __func__, GPIOI2C_TAG_REQ_SCL, GPIOI2C_SCL);
		return ret;
	}
	ret = gpio_request(GPIOI2C_SDA, NULL);
	if (ret) {
		printk(KERN_ERR "[%s %d]gpio_request fail! gpio_num=%d \n",
		       __func__, GPIOI2C_TAG_REQ_SDA, GPIOI2C_SDA);
		goto free_scl;
	}

	/* Idle bus: both lines high. */
	gpiod_direction_output_raw(gpio_to_desc(GPIOI2C_SDA), 1);
	gpiod_direction_output_raw(gpio_to_desc(GPIOI2C_SCL), 1);

	/* The ioctls take the adapter's bus lock: it exists first. */
	ret = gpioi2c_add_adapter();
	if (ret)
		goto free_sda;
	ret = misc_register(&gpioi2c_miscdev);
	if (ret)
		goto del_adapter;
	return 0;

del_adapter:
	gpioi2c_del_adapter();
free_sda:
	gpio_free(GPIOI2C_SDA);
free_scl:
	gpio_free(GPIOI2C_SCL);
	return ret;
}

/* The lines keep whatever level they had. */
static void __exit i2c_gt102_exit(void)
{
	misc_deregister(&gpioi2c_miscdev);
	gpioi2c_del_adapter();
	gpio_free(GPIOI2C_SCL);
	gpio_free(GPIOI2C_SDA);
}

module_init(i2c_gt102_init);
module_exit(i2c_gt102_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("quorvane");
MODULE_VERSION(PTZCAM_VERSION);
