// SPDX-License-Identifier: GPL-2.0
/*
 * Test-only model of the camera board's register bus, for the virtual board.
 * Never shipped.
 *
 * A gpio_chip at base 0 provides legacy GPIO 12 (SCL) and 13 (SDA). The two
 * lines are wired like an open-drain bus with pull-ups: a line reads low when
 * the master drives it low or, for SDA, when the slave pulls it low. Behind
 * them sits an I2C slave at 0x68 with a 256-byte register file. The slave
 * decodes the master's edges as they happen, so the master runs at its real
 * bit timing through gpiolib; the slave changes SDA only while SCL is low.
 *
 * debugfs (board_i2c_slave/):
 *   regs          the register file, 256 bytes, read and write at any offset
 *   present       1: the slave answers its address; 0: the bus is empty
 *   nack_data     1: the slave refuses data bytes of a register write
 *   starts, stops start (also repeated) and stop conditions seen
 *   acked, nacked bytes the slave acknowledged or refused
 *   min_bit_ns    shortest SCL period within a byte, in ns (write 0 to reset)
 *   locked_read   write N: as a client of I2C adapter N, hold its bus lock
 *                 across writing the register pointer 0x10 and, 300 ms
 *                 later, reading one byte into locked_value
 *
 * Parameter lines_can_sleep=1 marks the chip as one whose calls may sleep
 * (like an I2C GPIO expander); the lines behave the same.
 */

#include <linux/debugfs.h>
#include <linux/delay.h>
#include <linux/fs.h>
#include <linux/gpio/driver.h>
#include <linux/i2c.h>
#include <linux/ktime.h>
#include <linux/module.h>
#include <linux/spinlock.h>
#include <linux/uaccess.h>
#include <linux/version.h>

/* Named in 5.5; before, get_direction returned the same 1 (in) and 0 (out). */
#if LINUX_VERSION_CODE < KERNEL_VERSION(5, 5, 0)
#define GPIO_LINE_DIRECTION_IN	1
#define GPIO_LINE_DIRECTION_OUT	0
#endif

#define BUS_NGPIO	14
#define BUS_SCL		12
#define BUS_SDA		13

#define SLAVE_ADDR	0x68
#define SLAVE_REGS	256

enum slave_state {
	SLAVE_IDLE,	/* waiting for a start condition */
	SLAVE_RX,	/* shifting in a byte from the master */
	SLAVE_ACK,	/* holding SDA low for the ninth clock */
	SLAVE_TX,	/* shifting out a register byte */
	SLAVE_TX_ACK,	/* ninth clock of a byte sent: master's (n)ack */
};

struct bus_model {
	struct gpio_chip chip;
	spinlock_t lock;	/* the lines and the slave; taken in any context */

	/* Master side of each line: direction and driven level. */
	bool is_out[BUS_NGPIO];
	bool drive_high[BUS_NGPIO];

	/* Wire levels as last evaluated. */
	bool scl;
	bool sda;
	bool slave_pulls_sda;

	enum slave_state state;
	bool addressed;		/* address byte of this transfer matched */
	bool reading;		/* address byte had the read bit */
	bool have_pointer;	/* register pointer written in this transfer */
	bool master_acked;
	u8 shift;
	unsigned int bits;	/* bits shifted in (RX) */
	int tx_bit;		/* bit being presented (TX), 7..0 */
	u8 pointer;
	u8 regs[SLAVE_REGS];

	bool present;
	bool nack_data;

	u32 starts;
	u32 stops;
	u32 acked;
	u32 nacked;
	u64 min_bit_ns;
	u64 last_rise_ns;
	u8 locked_value;

	struct dentry *dir;
};

static struct bus_model bus;

static bool lines_can_sleep;
module_param(lines_can_sleep, bool, 0444);
MODULE_PARM_DESC(lines_can_sleep, "the chip's calls may sleep, as an I2C expander's do");

/* Pull-ups: a line is high unless something drives it low. */
static bool wire_scl(const struct bus_model *b)
{
	return !(b->is_out[BUS_SCL] && !b->drive_high[BUS_SCL]);
}

static bool wire_sda(const struct bus_model *b)
{
	if (b->slave_pulls_sda)
		return false;
	return !(b->is_out[BUS_SDA] && !b->drive_high[BUS_SDA]);
}

static void slave_present_bit(struct bus_model *b)
{
	b->slave_pulls_sda = !(b->shift & BIT(b->tx_bit));
}

static void slave_load_byte(struct bus_model *b)
{
	b->shift = b->regs[b->pointer++];
	b->tx_bit = 7;
	slave_present_bit(b);
	b->state = SLAVE_TX;
}

/* SDA fell while SCL was high: start or repeated start. */
static void slave_start(struct bus_model *b)
{
	b->starts++;
	b->state = SLAVE_RX;
	b->bits = 0;
	b->shift = 0;
	b->addressed = false;
	b->have_pointer = false;
	b->slave_pulls_sda = false;
}

/* SDA rose while SCL was high: stop. */
static void slave_stop(struct bus_model *b)
{
	b->stops++;
	b->state = SLAVE_IDLE;
	b->slave_pulls_sda = false;
}

/* A whole byte came in; returns true when the slave acknowledges it. */
static bool slave_take_byte(struct bus_model *b, u8 byte)
{
	if (!b->addressed) {
		if (!b->present || (byte >> 1) != SLAVE_ADDR)
			return false;
		b->addressed = true;
		b->reading = byte & 1;
		return true;
	}
	if (!b->have_pointer) {
		b->pointer = byte;
		b->have_pointer = true;
		return true;
	}
	if (b->nack_data)
		return false;
	b->regs[b->pointer++] = byte;
	return true;
}

static void note_bit_period(struct bus_model *b, bool within_byte)
{
	u64 now = ktime_get_ns();

	if (within_byte && (!b->min_bit_ns || now - b->last_rise_ns < b->min_bit_ns))
		b->min_bit_ns = now - b->last_rise_ns;
	b->last_rise_ns = now;
}

/* SCL rose: the side that does not drive SDA samples it now. */
static void slave_scl_rise(struct bus_model *b)
{
	switch (b->state) {
	case SLAVE_RX:
		note_bit_period(b, b->bits > 0);
		b->shift = (b->shift << 1) | b->sda;
		b->bits++;
		break;
	case SLAVE_TX:
		note_bit_period(b, b->tx_bit < 7);
		break;
	case SLAVE_TX_ACK:
		b->master_acked = !b->sda;
		break;
	default:
		break;
	}
}

/* SCL fell: the side that drives SDA may change it now. */
static void slave_scl_fall(struct bus_model *b)
{
	switch (b->state) {
	case SLAVE_RX:
		if (b->bits < 8)
			break;
		if (slave_take_byte(b, b->shift)) {
			b->acked++;
			b->slave_pulls_sda = true;
			b->state = SLAVE_ACK;
		} else {
			b->nacked++;
			b->state = SLAVE_IDLE;
		}
		break;
	case SLAVE_ACK:
		b->slave_pulls_sda = false;
		if (b->reading) {
			slave_load_byte(b);
		} else {
			b->state = SLAVE_RX;
			b->bits = 0;
			b->shift = 0;
		}
		break;
	case SLAVE_TX:
		if (b->tx_bit == 0) {
			b->slave_pulls_sda = false;
			b->state = SLAVE_TX_ACK;
		} else {
			b->tx_bit--;
			slave_present_bit(b);
		}
		break;
	case SLAVE_TX_ACK:
		if (b->master_acked)
			slave_load_byte(b);
		else
			b->state = SLAVE_IDLE;
		break;
	default:
		break;
	}
}

/* Re-evaluate the wires after the master changed a line; lock held. */
static void bus_update(struct bus_model *b)
{
	bool scl = wire_scl(b);
	bool sda = wire_sda(b);

	if (scl && b->scl && sda != b->sda) {
		b->sda = sda;
		if (sda)
			slave_stop(b);
		else
			slave_start(b);
	} else if (scl != b->scl) {
		b->sda = sda;
		b->scl = scl;
		if (scl)
			slave_scl_rise(b);
		else
			slave_scl_fall(b);
	}
	/* The slave only moves SDA while SCL is low: no condition here. */
	b->sda = wire_sda(b);
}

static void bus_drive(struct bus_model *b, unsigned int offset, bool out, bool high)
{
	unsigned long flags;

	spin_lock_irqsave(&b->lock, flags);
	b->is_out[offset] = out;
	if (out)
		b->drive_high[offset] = high;
	bus_update(b);
	spin_unlock_irqrestore(&b->lock, flags);
}

static int bus_get_direction(struct gpio_chip *gc, unsigned int offset)
{
	struct bus_model *b = gpiochip_get_data(gc);

	return b->is_out[offset] ? GPIO_LINE_DIRECTION_OUT : GPIO_LINE_DIRECTION_IN;
}

static int bus_direction_input(struct gpio_chip *gc, unsigned int offset)
{
	bus_drive(gpiochip_get_data(gc), offset, false, false);
	return 0;
}

static int bus_direction_output(struct gpio_chip *gc, unsigned int offset, int value)
{
	bus_drive(gpiochip_get_data(gc), offset, true, value);
	return 0;
}

static void bus_set(struct gpio_chip *gc, unsigned int offset, int value)
{
	struct bus_model *b = gpiochip_get_data(gc);

	bus_drive(b, offset, b->is_out[offset], value);
}

static int bus_get(struct gpio_chip *gc, unsigned int offset)
{
	struct bus_model *b = gpiochip_get_data(gc);
	unsigned long flags;
	int level;

	spin_lock_irqsave(&b->lock, flags);
	if (offset == BUS_SCL)
		level = b->scl;
	else if (offset == BUS_SDA)
		level = b->sda;
	else
		level = !b->is_out[offset] || b->drive_high[offset];
	spin_unlock_irqrestore(&b->lock, flags);
	return level;
}

static ssize_t regs_read(struct file *file, char __user *ubuf, size_t len, loff_t *ppos)
{
	struct bus_model *b = file->private_data;
	u8 snap[SLAVE_REGS];
	unsigned long flags;

	spin_lock_irqsave(&b->lock, flags);
	memcpy(snap, b->regs, sizeof(snap));
	spin_unlock_irqrestore(&b->lock, flags);
	return simple_read_from_buffer(ubuf, len, ppos, snap, sizeof(snap));
}

static ssize_t regs_write(struct file *file, const char __user *ubuf, size_t len, loff_t *ppos)
{
	struct bus_model *b = file->private_data;
	u8 snap[SLAVE_REGS];
	loff_t pos = *ppos;
	unsigned long flags;
	ssize_t n;

	n = simple_write_to_buffer(snap, sizeof(snap), ppos, ubuf, len);
	if (n <= 0)
		return n;
	spin_lock_irqsave(&b->lock, flags);
	memcpy(b->regs + pos, snap + pos, n);
	spin_unlock_irqrestore(&b->lock, flags);
	return n;
}

static const struct file_operations regs_fops = {
	.owner = THIS_MODULE,
	.open = simple_open,
	.read = regs_read,
	.write = regs_write,
	.llseek = default_llseek,
};

/* Two transfers of one client that no other user may split. */
static int bus_locked_read(struct bus_model *b, int nr)
{
	struct i2c_adapter *adap = i2c_get_adapter(nr);
	u8 reg = 0x10, value;
	struct i2c_msg msg = { .addr = SLAVE_ADDR, .len = 1, .buf = &reg };
	int ret;

	if (!adap)
		return -ENODEV;
	i2c_lock_bus(adap, I2C_LOCK_SEGMENT);
	ret = __i2c_transfer(adap, &msg, 1);
	if (ret == 1) {
		msleep(300);
		msg.flags = I2C_M_RD;
		msg.buf = &value;
		ret = __i2c_transfer(adap, &msg, 1);
	}
	i2c_unlock_bus(adap, I2C_LOCK_SEGMENT);
	i2c_put_adapter(adap);
	if (ret != 1)
		return ret < 0 ? ret : -EIO;
	b->locked_value = value;
	return 0;
}

static ssize_t locked_read_write(struct file *file, const char __user *ubuf, size_t len,
				 loff_t *ppos)
{
	int nr, ret;

	ret = kstrtoint_from_user(ubuf, len, 10, &nr);
	if (!ret)
		ret = bus_locked_read(file->private_data, nr);
	return ret ? ret : len;
}

static const struct file_operations locked_read_fops = {
	.owner = THIS_MODULE,
	.open = simple_open,
	.write = locked_read_write,
	.llseek = noop_llseek,
};

static void bus_debugfs_init(struct bus_model *b)
{
	b->dir = debugfs_create_dir(KBUILD_MODNAME, NULL);
	debugfs_create_file_size("regs", 0600, b->dir, b, &regs_fops, SLAVE_REGS);
	debugfs_create_bool("present", 0600, b->dir, &b->present);
	debugfs_create_bool("nack_data", 0600, b->dir, &b->nack_data);
	debugfs_create_u32("starts", 0400, b->dir, &b->starts);
	debugfs_create_u32("stops", 0400, b->dir, &b->stops);
	debugfs_create_u32("acked", 0400, b->dir, &b->acked);
	debugfs_create_u32("nacked", 0400, b->dir, &b->nacked);
	debugfs_create_u64("min_bit_ns", 0600, b->dir, &b->min_bit_ns);
	debugfs_create_file("locked_read", 0200, b->dir, b, &locked_read_fops);
	debugfs_create_u8("locked_value", 0400, b->dir, &b->locked_value);
}

static int __init board_i2c_slave_init(void)
{
	struct bus_model *b = &bus;
	int ret;

	spin_lock_init(&b->lock);
	b->scl = true;
	b->sda = true;
	b->present = true;
	b->state = SLAVE_IDLE;

	b->chip.label = "board-i2c-bus";
	b->chip.owner = THIS_MODULE;
	b->chip.base = 0;
	b->chip.ngpio = BUS_NGPIO;
	b->chip.can_sleep = lines_can_sleep;
	b->chip.get_direction = bus_get_direction;
	b->chip.direction_input = bus_direction_input;
	b->chip.direction_output = bus_direction_output;
	b->chip.get = bus_get;
	b->chip.set = bus_set;

	ret = gpiochip_add_data(&b->chip, b);
	if (ret) {
		pr_err("%s: cannot add the gpio chip: %d\n", KBUILD_MODNAME, ret);
		return ret;
	}
	bus_debugfs_init(b);
	return 0;
}

static void __exit board_i2c_slave_exit(void)
{
	debugfs_remove_recursive(bus.dir);
	gpiochip_remove(&bus.chip);
}

module_init(board_i2c_slave_init);
module_exit(board_i2c_slave_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Virtual board test model: GPIO 12/13 bus with an I2C slave at 0x68");
