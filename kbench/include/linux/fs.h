/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the parts of files and inodes that character drivers use. */
#ifndef KBENCH_LINUX_FS_H
#define KBENCH_LINUX_FS_H

#include <linux/bug.h>
#include <linux/err.h>
#include <linux/errno.h>
#include <linux/types.h>

struct module;
struct poll_table_struct;

struct inode {
	unsigned int i_rdev;
	void *i_private;
};

struct file {
	unsigned int f_flags;
	unsigned int f_mode;
	loff_t f_pos;
	void *private_data;
};

struct file_operations {
	struct module *owner;
	loff_t (*llseek)(struct file *, loff_t, int);
	ssize_t (*read)(struct file *, char __user *, size_t, loff_t *);
	ssize_t (*write)(struct file *, const char __user *, size_t, loff_t *);
	unsigned int (*poll)(struct file *, struct poll_table_struct *);
	long (*unlocked_ioctl)(struct file *, unsigned int, unsigned long);
	long (*compat_ioctl)(struct file *, unsigned int, unsigned long);
	int (*open)(struct inode *, struct file *);
	int (*release)(struct inode *, struct file *);
};

#define FMODE_READ 0x1
#define FMODE_WRITE 0x2

KB_BEGIN_DECLS
loff_t no_llseek(struct file *file, loff_t offset, int whence);
loff_t noop_llseek(struct file *file, loff_t offset, int whence);
KB_END_DECLS

#endif
