// SPDX-License-Identifier: LicenseRef-Proprietary
/*
 * MN34229 MIPI image sensor driver: module load/unload, parameters, and the
 * sensor handle the platform's sensor framework creates for each pad.
 *
 * The driver never touches hardware itself: register access goes through
 * the handle's i2c_ops, power, reset, clock and MIPI receiver through its
 * sif_ops.
 */
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/printk.h>
#include <linux/spinlock.h>
#include <linux/string.h>

#include "cam_os.h"
#include "camsensor.h"
#include "mn34229.h"

#ifndef MN34229_BUILD_ID
#define MN34229_BUILD_ID	"local"
#endif
#ifndef MN34229_BUILD_TIME
#define MN34229_BUILD_TIME	"000000000000"
#endif

/* Build tag: opening marker, build id, tags, build time, closing marker */
#define MN34229_BUILD_TAG \
	"QVS" MN34229_BUILD_ID "[sensor_module][ build." MN34229_BUILD_TIME "]SVQ"

static char *sensor_module_version = MN34229_BUILD_TAG;
module_param(sensor_module_version, charp, 0444);

static char *mclk = "use default parameter";
module_param(mclk, charp, 0660);
MODULE_PARM_DESC(mclk, "Assign MCLK");

static int chmap;
module_param(chmap, int, 0660);
MODULE_PARM_DESC(chmap, "VIF channel mapping");

static int i2c_slave_id;
module_param(i2c_slave_id, int, 0660);
MODULE_PARM_DESC(i2c_slave_id, "sensor i2c slave id");

static int hdr_lane_num = 4;
module_param(hdr_lane_num, int, 0660);
MODULE_PARM_DESC(hdr_lane_num, "sensor output lane number");

static int lane_num = 2;
module_param(lane_num, int, 0660);
MODULE_PARM_DESC(lane_num, "sensor output lane number");

const u32 vts_60fps = MN34229_VTS_BASE;

static struct mn34229_priv *priv_by_pad[CAMSENSOR_MAX_PADS];

/* Exposure, gain and frame length registers, copied into each handle */
static const struct reg_entry mn34229_ae_templates[] = {
	{ MN34229_REG_VTS_H, 0x04 },
	{ MN34229_REG_VTS_L, 0x65 },
	{ MN34229_REG_GAIN_H, 0x00 },
	{ MN34229_REG_GAIN_L, 0x01 },
	{ MN34229_REG_EXPO_B16, 0x00 },
	{ MN34229_REG_EXPO_H, 0x04 },
	{ MN34229_REG_EXPO_L, 0x65 },
};

static const struct res_entry mn34229_res_table[MN34229_RES_COUNT] = {
	[MN34229_RES_30FPS] = {
		.width = 1920, .height = 1080, .max_fps = 30, .min_fps = 3,
		.offset_x = 0, .offset_y = 0,
		.output_width = 1956, .output_height = 1092,
		.desc = "1920x1080@30fps",
	},
	[MN34229_RES_60FPS] = {
		.width = 1920, .height = 1080, .max_fps = 60, .min_fps = 3,
		.offset_x = 0, .offset_y = 0,
		.output_width = 1956, .output_height = 1092,
		.desc = "1920x1080@60fps",
	},
};

int cus_camsensor_release_handle(struct camsensor_handle *handle)
{
	return 0;
}

static void mn34229_install_ops(struct camsensor_ops *ops)
{
	ops->poweron = pCus_poweron;
	ops->poweroff = pCus_poweroff;
	ops->init = pCus_init_mipi4lane_linear;
	ops->release = cus_camsensor_release_handle;
	ops->set_pattern_mode = MN34229_SetPatternMode;
	ops->get_sensor_id = pCus_GetSensorID;
	ops->get_video_res = pCus_GetVideoRes;
	ops->get_cur_video_res = pCus_GetCurVideoRes;
	ops->set_video_res = pCus_SetVideoRes;
	ops->get_orien = pCus_GetOrien;
	ops->set_orien = pCus_SetOrien;
	ops->ae_status_notify = pCus_AEStatusNotify;
	ops->get_ae_usecs = pCus_GetAEUSecs;
	ops->set_ae_usecs = pCus_SetAEUSecs;
	ops->get_ae_gain = pCus_GetAEGain;
	ops->set_ae_gain = pCus_SetAEGain;
	ops->get_ae_min_max_usecs = pCus_GetAEMinMaxUSecs;
	ops->get_ae_min_max_gain = pCus_GetAEMinMaxGain;
	ops->get_fps = pCus_GetFPS;
	ops->set_fps = pCus_SetFPS;
	ops->get_shutter_info = MN34229_GetShutterInfo;
	ops->get_video_res_num = pCus_GetVideoResNum;
	ops->try_ae_gain = pCus_TryAEGain;
}

int cus_camsensor_init_handle_linear(struct camsensor_handle *handle)
{
	struct mn34229_priv *priv;
	unsigned long flags;
	unsigned int i;

	if (!handle)
		return -1;
	priv = handle->private_data;
	if (!priv) {
		CamOsPrintf("[%s] Private data is empty!\n", __func__);
		return -1;
	}

	spin_lock_irqsave(&priv->lock, flags);
	memcpy(priv->vts_regs, &mn34229_ae_templates[0], sizeof(priv->vts_regs));
	memcpy(priv->gain_regs, &mn34229_ae_templates[2], sizeof(priv->gain_regs));
	memcpy(priv->expo_regs, &mn34229_ae_templates[4], sizeof(priv->expo_regs));
	spin_unlock_irqrestore(&priv->lock, flags);

	snprintf(handle->model_name, sizeof(handle->model_name), "%s",
		 SENSOR_MODEL_NAME);

	handle->i2c_cfg.i2c_mode = CAMSENSOR_I2C_MODE_REG;
	handle->i2c_cfg.i2c_fmt = CAMSENSOR_I2C_FMT_A16D8;
	handle->i2c_cfg.i2c_speed = 300000;
	handle->i2c_cfg.i2c_addr = 0x6C;

	handle->cfg_1 = 1;
	handle->cfg_2 = 2;
	handle->cfg_3 = 1;
	handle->cfg_4 = 1;
	handle->reset_level = 1;
	handle->pwdn_level = 1;
	handle->bayer_id = 1;
	handle->cfg_5 = 1;
	handle->cfg_6 = 0;
	handle->if_mode = 1;
	handle->cfg_7 = 3;
	handle->cfg_8 = 4;
	handle->orient = 0;

	handle->res_count = MN34229_RES_COUNT;
	handle->cur_res = MN34229_RES_30FPS;
	for (i = 0; i < MN34229_RES_COUNT; i++)
		handle->res_table[i] = mn34229_res_table[i];

	handle->mipi_lane_count = 4;
	handle->cfg_9 = 1;
	handle->cfg_10 = 0;
	handle->cfg_11 = 0;
	handle->if_aux_flag = 0;
	handle->cfg_12 = 0;
	handle->mclk_id = 5;
	handle->cfg_13 = 1024;

	mn34229_install_ops(&handle->ops);

	printk(KERN_DEFAULT "sensor init bayer id = %d\n", handle->bayer_id);

	spin_lock_irqsave(&priv->lock, flags);
	priv->vts = vts_60fps;
	priv->fps = 60;
	priv->Preview_line_period = MN34229_LINE_NS_60FPS;
	priv->expo_lines = MN34229_EXPO_DEFAULT;
	priv->orient_dirty = 0;
	priv->ae_dirty = 0;
	spin_unlock_irqrestore(&priv->lock, flags);
	return 0;
}

static int __init mn34229_init_driver(void)
{
	struct mn34229_priv *priv;
	int pad, ret;

	/* A framework without the interfaces this driver was written for */
	if (DrvSensorHandleVer(2, 2) == -1 ||
	    DrvSensorIFVer(2, 1) == -1 ||
	    DrvSensorI2CVer(1, 1) == -1)
		return -ENODEV;

	for (pad = 0; pad < CAMSENSOR_MAX_PADS; pad++) {
		if (!(chmap & BIT(pad)))
			continue;

		priv = CamOsMemAlloc(sizeof(*priv));
		if (!priv) {
			pr_err("MN34229: no memory for sensor pad %d, pad skipped\n",
			       pad);
			continue;
		}
		memset(priv, 0, sizeof(*priv));
		spin_lock_init(&priv->lock);

		/*
		 * A pad the framework refuses (another driver owns it) is not
		 * ours: keep no record, so that unload leaves it alone.
		 */
		ret = DrvRegisterSensorDriverEx(pad,
						cus_camsensor_init_handle_linear,
						priv);
		if (ret) {
			pr_err("MN34229: sensor pad %d refused by the framework (%d), pad skipped\n",
			       pad, ret);
			CamOsMemRelease(priv);
			continue;
		}
		DrvRegisterSensorI2CSlaveID(pad,
					    ((u32)i2c_slave_id >> (8 * pad)) & 0xFF);
		pr_info("Connect %s linear to sensor pad %d\n",
			"MN34229_MIPI_init_driver", pad);
		priv_by_pad[pad] = priv;
	}
	if (!(chmap & GENMASK(CAMSENSOR_MAX_PADS - 1, 0)))
		pr_info("MN34229: chmap selects no sensor pad, none registered\n");
	return 0;
}

/*
 * chmap stays writable after load, so it no longer tells which pads were
 * registered: release every pad that holds a record, so the framework never
 * keeps our init function once the module is gone.
 */
static void __exit mn34229_exit_driver(void)
{
	int pad;

	for (pad = 0; pad < CAMSENSOR_MAX_PADS; pad++) {
		if (!priv_by_pad[pad])
			continue;
		DrvSensorRelease(pad);
		CamOsMemRelease(priv_by_pad[pad]);
		priv_by_pad[pad] = NULL;
	}
}

module_init(mn34229_init_driver);
module_exit(mn34229_exit_driver);

MODULE_DESCRIPTION("Sensor_MN34229_MIPI");
MODULE_LICENSE("Proprietary");
MODULE_VERSION(PTZCAM_VERSION);
