/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Stand-in sensor framework: state shared by its parts.
 *
 * Each pad has one emulated sensor (a 64 KiB register file behind i2c_ops)
 * and a recorder behind sif_ops; every framework, CamOs, I2C and sensor
 * interface call lands in one call log.
 */
#ifndef SFW_H
#define SFW_H

#include <linux/bitops.h>
#include <linux/mutex.h>
#include <linux/types.h>

#include "camsensor.h"

#define SFW_REGS		0x10000		/* 16-bit register addresses */
#define SFW_FAULT_ANY		(-1)

/* Fails the next 'count' transfers of one kind, to one register or any. */
struct sfw_fault {
	int reg;
	unsigned int count;
};

/* Levels the sensor interface last drove; -1 before the first call. */
struct sfw_lines {
	int pwdn;
	int reset;
	int mclk;
	int if_setup_2;
	int aux;
};

struct sfw_pad {
	struct mutex lock;		/* serialises everything below */
	u32 index;
	bool registered;
	camsensor_init_fn init_fn;
	void *private_data;
	u8 slave_id;
	bool probed;			/* handle created and init_fn called */
	int probe_result;
	struct camsensor_handle handle;
	struct sfw_lines lines;

	u8 *regs;			/* SFW_REGS bytes */
	unsigned long *touched;		/* registers written or preset */
	u16 sensor_addr;
	struct sfw_fault write_fault;
	struct sfw_fault read_fault;

	char result[128];		/* outcome of the last debugfs command */
};

extern struct sfw_pad sfw_pads[CAMSENSOR_MAX_PADS];
extern const struct camsensor_i2c_ops sfw_i2c_ops;
extern const struct camsensor_sif_ops sfw_sif_ops;

/* Call log */
int sfw_log_init(void);
void sfw_log_exit(void);
__printf(1, 2) void sfw_log(const char *fmt, ...);
void sfw_log_clear(void);
struct seq_file;
int sfw_log_show(struct seq_file *m, void *v);

/* Emulated sensor */
int sfw_emul_init(struct sfw_pad *pad);
void sfw_emul_exit(struct sfw_pad *pad);
void sfw_emul_reset(struct sfw_pad *pad);
void sfw_emul_preset(struct sfw_pad *pad, u16 reg, u8 val);

/* CamOs fault injection: the n-th next allocation fails (0 = none). */
extern unsigned int sfw_alloc_fail_nth;

/* Pads: handle creation and operations */
int sfw_pad_probe(struct sfw_pad *pad);
int sfw_pad_claim(struct sfw_pad *pad, bool claim);
int sfw_pad_command(struct sfw_pad *pad, char *cmd);

/* debugfs */
void sfw_debugfs_init(void);
void sfw_debugfs_exit(void);

#endif /* SFW_H */
