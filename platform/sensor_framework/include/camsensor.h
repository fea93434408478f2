/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Sensor framework interface: what a sensor driver module sees of the
 * platform's camera sensor framework.
 *
 * The framework serves up to CAMSENSOR_MAX_PADS sensor pads. A driver module
 * registers a handle-initialisation function and a private record per pad;
 * the framework later creates the pad's handle, fills in private_data, i2c_ops
 * and sif_ops, and calls the initialisation function, which fills in the
 * sensor description and the operation slots. From then on the framework
 * drives the sensor only through those slots.
 *
 * Fields marked "framework" belong to the framework; a sensor driver leaves
 * them alone.
 */
#ifndef CAMSENSOR_H
#define CAMSENSOR_H

#include <linux/types.h>

/* The OS layer (CamOs*) comes with the framework interface. */
#include "cam_os.h"

#define CAMSENSOR_MAX_PADS		4
#define CAMSENSOR_MODEL_NAME_LEN	32
#define CAMSENSOR_RES_DESC_LEN		32
#define CAMSENSOR_RES_MAX		8

/* i2c_cfg.i2c_mode: plain register transfers (no burst, no page register). */
#define CAMSENSOR_I2C_MODE_REG		1
/* i2c_cfg.i2c_fmt: 16-bit register address, 8-bit data. */
#define CAMSENSOR_I2C_FMT_A16D8		1

/* Register address that marks a delay of 'data' ms in an init table. */
#define CAMSENSOR_REG_DELAY		0xFFFF

/* One register write of a table. */
struct reg_entry {
	u16 reg;
	u16 data;
};

/* One video mode of the sensor. */
struct res_entry {
	u32 width;
	u32 height;
	u32 max_fps;
	u32 min_fps;
	u32 offset_x;
	u32 offset_y;
	u32 output_width;
	u32 output_height;
	char desc[CAMSENSOR_RES_DESC_LEN];
};

/* Shutter limits; the framework sets 'size', the driver the rest. */
struct shutter_info {
	u32 size;
	u32 max_shutter_ns;
	u32 min_shutter_ns;
	u32 shutter_step_ns;
};

struct camsensor_i2c_cfg {
	u32 i2c_mode;
	u32 i2c_fmt;
	u32 i2c_speed;
	u16 i2c_addr;
};

/* Register access on the sensor's bus. Every call gets the table itself and
 * the handle's i2c_cfg, which tells the framework which pad is meant.
 */
struct camsensor_i2c_ops {
	int (*write_reg)(const struct camsensor_i2c_ops *ops,
			 struct camsensor_i2c_cfg *cfg, u16 reg, u16 data);
	int (*read_reg)(const struct camsensor_i2c_ops *ops,
			struct camsensor_i2c_cfg *cfg, u16 reg, u16 *data);
	int (*write_table)(const struct camsensor_i2c_ops *ops,
			   struct camsensor_i2c_cfg *cfg,
			   const struct reg_entry *entries, int count);
};

/* Sensor interface: power, reset and clock lines and the MIPI receiver. */
struct camsensor_sif_ops {
	int (*set_pwdn)(u32 pad, int level);
	int (*set_reset)(u32 pad, int level);
	int (*set_mclk)(u32 pad, int enable, u32 mclk_id);
	int (*if_setup_1)(u32 pad, u32 if_mode, u32 lanes);
	int (*if_setup_2)(u32 pad, int value);
	int (*if_setup_3)(u32 pad, u16 lanes, int enable);
	int (*if_setup_4)(u32 pad, u32 mode, u32 data_type, u32 flags);
	int (*if_aux)(u32 pad, int channel, int on);
};

struct camsensor_handle;

/* The operation slots a driver fills in; slots it leaves NULL are not
 * offered by its sensor.
 */
struct camsensor_ops {
	int (*poweron)(struct camsensor_handle *handle, u32 pad);
	int (*poweroff)(struct camsensor_handle *handle, u32 pad);
	int (*init)(struct camsensor_handle *handle);
	int (*release)(struct camsensor_handle *handle);
	int (*suspend)(struct camsensor_handle *handle);	/* framework */
	int (*resume)(struct camsensor_handle *handle);		/* framework */
	int (*set_pattern_mode)(struct camsensor_handle *handle, u32 mode);
	int (*get_sensor_id)(struct camsensor_handle *handle, u32 *id);
	int (*get_video_res)(struct camsensor_handle *handle, u32 index,
			     struct res_entry **entry);
	int (*get_cur_video_res)(struct camsensor_handle *handle, u32 *index,
				 struct res_entry **entry);
	int (*set_video_res)(struct camsensor_handle *handle, u32 index);
	int (*get_orien)(struct camsensor_handle *handle, u32 *orient);
	int (*set_orien)(struct camsensor_handle *handle, u32 orient);
	int (*get_sensor_temp)(struct camsensor_handle *handle, int *temp);
	int (*ae_status_notify)(struct camsensor_handle *handle, u32 status);
	int (*get_ae_usecs)(struct camsensor_handle *handle, u32 *us);
	int (*set_ae_usecs)(struct camsensor_handle *handle, u32 us);
	int (*get_ae_gain)(struct camsensor_handle *handle, u32 *gain);
	int (*set_ae_gain)(struct camsensor_handle *handle, u32 gain);
	int (*set_ae_gain_delay)(struct camsensor_handle *handle, u32 frames);
	int (*get_ae_min_max_usecs)(struct camsensor_handle *handle,
				    u32 *min, u32 *max);
	int (*get_ae_min_max_gain)(struct camsensor_handle *handle,
				   u32 *min, u32 *max);
	u32 (*get_fps)(struct camsensor_handle *handle);
	int (*set_fps)(struct camsensor_handle *handle, u32 fps);
	int (*get_shutter_info)(struct camsensor_handle *handle,
				struct shutter_info *info);
	int (*get_video_res_num)(struct camsensor_handle *handle, u32 *count);
	u32 (*try_ae_gain)(struct camsensor_handle *handle, u32 gain);
	int (*custom_cmd)(struct camsensor_handle *handle, u32 cmd,
			  void *arg);				/* framework */
};

/* One per pad, created and owned by the framework. */
struct camsensor_handle {
	u32 pad;					/* framework */
	u32 version;					/* framework */
	char model_name[CAMSENSOR_MODEL_NAME_LEN];
	void *private_data;
	u32 sensor_id;					/* framework */
	struct camsensor_i2c_cfg i2c_cfg;
	const struct camsensor_i2c_ops *i2c_ops;
	const struct camsensor_sif_ops *sif_ops;
	u32 cfg_1;
	u32 cfg_2;
	u32 cfg_3;
	u32 cfg_4;
	u32 reset_level;
	u32 pwdn_level;
	u32 bayer_id;
	u32 cfg_5;
	u32 cfg_6;
	u32 if_mode;
	u32 cfg_7;
	u32 cfg_8;
	u32 orient;
	u32 stream_state;				/* framework */
	u32 res_count;
	u32 cur_res;
	struct res_entry res_table[CAMSENSOR_RES_MAX];
	u32 mipi_lane_count;
	u32 cfg_9;
	u32 cfg_10;
	u32 cfg_11;
	u32 if_aux_flag;
	u32 cfg_12;
	u32 mclk_id;
	u32 cfg_13;
	struct camsensor_ops ops;
	u32 frame_count;				/* framework */
	void *framework_data;				/* framework */
};

typedef int (*camsensor_init_fn)(struct camsensor_handle *handle);

/*
 * Version checks: each returns -1 when the framework does not offer the
 * given major.minor of that interface, anything else when it does.
 */
int DrvSensorHandleVer(u32 major, u32 minor);
int DrvSensorIFVer(u32 major, u32 minor);
int DrvSensorI2CVer(u32 major, u32 minor);

/* Registration of one pad's driver, undone by DrvSensorRelease(). */
int DrvRegisterSensorDriverEx(u32 pad, camsensor_init_fn init,
			      void *private_data);
int DrvRegisterSensorI2CSlaveID(u32 pad, u8 id);
int DrvSensorRelease(u32 pad);

#endif /* CAMSENSOR_H */
