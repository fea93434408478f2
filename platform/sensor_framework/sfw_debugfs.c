// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in sensor framework: the debugfs interface tests drive it through.
 * README.md beside this file documents every file and its format.
 */
#include <linux/debugfs.h>
#include <linux/fs.h>
#include <linux/kernel.h>
#include <linux/seq_file.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <linux/uaccess.h>

#include "camsensor.h"
#include "sfw.h"

#define SFW_CMD_MAX	96

static struct dentry *sfw_dir;

/* Copies one command line from user space, NUL-terminated. */
static char *sfw_get_line(const char __user *buf, size_t count)
{
	char *line;

	if (!count || count >= SFW_CMD_MAX)
		return ERR_PTR(-EINVAL);
	line = kzalloc(count + 1, GFP_KERNEL);
	if (!line)
		return ERR_PTR(-ENOMEM);
	if (copy_from_user(line, buf, count)) {
		kfree(line);
		return ERR_PTR(-EFAULT);
	}
	return line;
}

static int sfw_log_open(struct inode *inode, struct file *file)
{
	return single_open_size(file, sfw_log_show, NULL, PAGE_SIZE * 64);
}

/* Any write clears the log. */
static ssize_t sfw_log_write(struct file *file, const char __user *buf,
			     size_t count, loff_t *ppos)
{
	sfw_log_clear();
	return count;
}

static const struct file_operations sfw_log_fops = {
	.owner = THIS_MODULE,
	.open = sfw_log_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = sfw_log_write,
};

static int sfw_cmd_show(struct seq_file *m, void *v)
{
	struct sfw_pad *pad = m->private;

	mutex_lock(&pad->lock);
	seq_printf(m, "%s\n", pad->result);
	mutex_unlock(&pad->lock);
	return 0;
}

static int sfw_cmd_open(struct inode *inode, struct file *file)
{
	return single_open(file, sfw_cmd_show, inode->i_private);
}

static ssize_t sfw_cmd_write(struct file *file, const char __user *buf,
			     size_t count, loff_t *ppos)
{
	struct sfw_pad *pad = file_inode(file)->i_private;
	char *line = sfw_get_line(buf, count);
	int ret;

	if (IS_ERR(line))
		return PTR_ERR(line);
	ret = sfw_pad_command(pad, line);
	kfree(line);
	return ret ? ret : count;
}

static const struct file_operations sfw_cmd_fops = {
	.owner = THIS_MODULE,
	.open = sfw_cmd_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = sfw_cmd_write,
};

static int sfw_regs_show(struct seq_file *m, void *v)
{
	struct sfw_pad *pad = m->private;
	unsigned int reg;

	mutex_lock(&pad->lock);
	for_each_set_bit(reg, pad->touched, SFW_REGS)
		seq_printf(m, "0x%04x 0x%02x\n", reg, pad->regs[reg]);
	mutex_unlock(&pad->lock);
	return 0;
}

static int sfw_regs_open(struct inode *inode, struct file *file)
{
	return single_open_size(file, sfw_regs_show, inode->i_private,
				PAGE_SIZE * 16);
}

/* "<reg> <value>" presets a register; "reset" powers the sensor model up afresh. */
static ssize_t sfw_regs_write(struct file *file, const char __user *buf,
			      size_t count, loff_t *ppos)
{
	struct sfw_pad *pad = file_inode(file)->i_private;
	char *line = sfw_get_line(buf, count);
	unsigned int reg, val;
	int ret = 0;

	if (IS_ERR(line))
		return PTR_ERR(line);
	mutex_lock(&pad->lock);
	if (!strcmp(strim(line), "reset"))
		sfw_emul_reset(pad);
	else if (sscanf(line, "%i %i", &reg, &val) == 2 && reg < SFW_REGS &&
		 val <= 0xFF)
		sfw_emul_preset(pad, reg, val);
	else
		ret = -EINVAL;
	mutex_unlock(&pad->lock);
	kfree(line);
	return ret ? ret : count;
}

static const struct file_operations sfw_regs_fops = {
	.owner = THIS_MODULE,
	.open = sfw_regs_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = sfw_regs_write,
};

static void sfw_show_fault(struct seq_file *m, const char *kind,
			   const struct sfw_fault *f)
{
	if (f->reg == SFW_FAULT_ANY)
		seq_printf(m, "%s any %u\n", kind, f->count);
	else
		seq_printf(m, "%s 0x%04x %u\n", kind, f->reg, f->count);
}

static int sfw_faults_show(struct seq_file *m, void *v)
{
	struct sfw_pad *pad = m->private;

	mutex_lock(&pad->lock);
	sfw_show_fault(m, "write", &pad->write_fault);
	sfw_show_fault(m, "read", &pad->read_fault);
	mutex_unlock(&pad->lock);
	return 0;
}

static int sfw_faults_open(struct inode *inode, struct file *file)
{
	return single_open(file, sfw_faults_show, inode->i_private);
}

/* "write|read <reg>|any <count>" arms a fault, "clear" disarms both. */
static ssize_t sfw_faults_write(struct file *file, const char __user *buf,
				size_t count, loff_t *ppos)
{
	struct sfw_pad *pad = file_inode(file)->i_private;
	char *line = sfw_get_line(buf, count);
	char kind[8], target[8];
	struct sfw_fault f;
	unsigned int reg;
	int ret = 0;

	if (IS_ERR(line))
		return PTR_ERR(line);
	mutex_lock(&pad->lock);
	if (!strcmp(strim(line), "clear")) {
		pad->write_fault.count = 0;
		pad->read_fault.count = 0;
	} else if (sscanf(line, "%7s %7s %u", kind, target, &f.count) == 3) {
		if (!strcmp(target, "any"))
			f.reg = SFW_FAULT_ANY;
		else if (!kstrtouint(target, 0, &reg) && reg < SFW_REGS)
			f.reg = reg;
		else
			ret = -EINVAL;

		if (ret)
			;
		else if (!strcmp(kind, "write"))
			pad->write_fault = f;
		else if (!strcmp(kind, "read"))
			pad->read_fault = f;
		else
			ret = -EINVAL;
	} else {
		ret = -EINVAL;
	}
	mutex_unlock(&pad->lock);
	kfree(line);
	return ret ? ret : count;
}

static const struct file_operations sfw_faults_fops = {
	.owner = THIS_MODULE,
	.open = sfw_faults_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
	.write = sfw_faults_write,
};

static int sfw_info_show(struct seq_file *m, void *v)
{
	struct sfw_pad *pad = m->private;
	struct camsensor_handle *h = &pad->handle;

	mutex_lock(&pad->lock);
	seq_printf(m, "registered %d\n", pad->registered);
	seq_printf(m, "init %ps\n", pad->registered ? pad->init_fn : NULL);
	seq_printf(m, "slave_id 0x%02x\n", pad->slave_id);
	seq_printf(m, "probed %d\n", pad->probed);
	if (pad->probed) {
		seq_printf(m, "probe_result %d\n", pad->probe_result);
		seq_printf(m, "model_name %.*s\n", (int)sizeof(h->model_name),
			   h->model_name);
		seq_printf(m, "i2c %u %u %u 0x%02x\n", h->i2c_cfg.i2c_mode,
			   h->i2c_cfg.i2c_fmt, h->i2c_cfg.i2c_speed,
			   h->i2c_cfg.i2c_addr);
		seq_printf(m, "levels reset=%u pwdn=%u\n", h->reset_level,
			   h->pwdn_level);
		seq_printf(m, "bayer_id %u\n", h->bayer_id);
		seq_printf(m, "lanes %u if_mode %u if_aux_flag %u mclk_id %u\n",
			   h->mipi_lane_count, h->if_mode, h->if_aux_flag,
			   h->mclk_id);
		seq_printf(m, "orient %u\n", h->orient);
		seq_printf(m, "res %u of %u\n", h->cur_res, h->res_count);
		seq_printf(m, "init_slot %ps\n", h->ops.init);
	}
	seq_printf(m, "lines pwdn=%d reset=%d mclk=%d if_setup_2=%d aux=%d\n",
		   pad->lines.pwdn, pad->lines.reset, pad->lines.mclk,
		   pad->lines.if_setup_2, pad->lines.aux);
	mutex_unlock(&pad->lock);
	return 0;
}

static int sfw_info_open(struct inode *inode, struct file *file)
{
	return single_open(file, sfw_info_show, inode->i_private);
}

static const struct file_operations sfw_info_fops = {
	.owner = THIS_MODULE,
	.open = sfw_info_open,
	.read = seq_read,
	.llseek = seq_lseek,
	.release = single_release,
};

void sfw_debugfs_init(void)
{
	struct dentry *dir;
	char name[8];
	unsigned int i;

	sfw_dir = debugfs_create_dir("sensor_framework", NULL);
	debugfs_create_file("log", 0600, sfw_dir, NULL, &sfw_log_fops);
	debugfs_create_u32("fail_alloc", 0600, sfw_dir, &sfw_alloc_fail_nth);

	for (i = 0; i < CAMSENSOR_MAX_PADS; i++) {
		snprintf(name, sizeof(name), "pad%u", i);
		dir = debugfs_create_dir(name, sfw_dir);
		debugfs_create_file("cmd", 0600, dir, &sfw_pads[i], &sfw_cmd_fops);
		debugfs_create_file("regs", 0600, dir, &sfw_pads[i], &sfw_regs_fops);
		debugfs_create_file("faults", 0600, dir, &sfw_pads[i],
				    &sfw_faults_fops);
		debugfs_create_file("info", 0400, dir, &sfw_pads[i], &sfw_info_fops);
	}
}

void sfw_debugfs_exit(void)
{
	debugfs_remove_recursive(sfw_dir);
}
