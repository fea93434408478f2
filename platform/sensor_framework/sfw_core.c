// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in sensor framework: interface versions, per-pad driver
 * registration, handle creation and the operations a test drives.
 *
 * A pad's handle is created, and the driver's init function called, on the
 * first operation after registration (or the "probe" command), as the real
 * framework does when a pipeline first opens the pad.
 */
#include <linux/errno.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/string.h>

#include "camsensor.h"
#include "sfw.h"

/* Offered interface versions, "major.minor"; a driver may ask for any
 * minor up to the offered one of the same major.
 */
static char handle_ver[8] = "2.2";
module_param_string(handle_ver, handle_ver, sizeof(handle_ver), 0644);
MODULE_PARM_DESC(handle_ver, "offered sensor handle interface version");

static char if_ver[8] = "2.1";
module_param_string(if_ver, if_ver, sizeof(if_ver), 0644);
MODULE_PARM_DESC(if_ver, "offered sensor interface (sif_ops) version");

static char i2c_ver[8] = "1.1";
module_param_string(i2c_ver, i2c_ver, sizeof(i2c_ver), 0644);
MODULE_PARM_DESC(i2c_ver, "offered I2C interface (i2c_ops) version");

#define SFW_HANDLE_VERSION	0x0202

struct sfw_pad sfw_pads[CAMSENSOR_MAX_PADS];

static int sfw_check_version(const char *name, const char *offered,
			     u32 major, u32 minor)
{
	unsigned int have_major, have_minor;
	int ret = -1;

	if (sscanf(offered, "%u.%u", &have_major, &have_minor) == 2 &&
	    major == have_major && minor <= have_minor)
		ret = 0;
	sfw_log("%s major=%u minor=%u ret=%d", name, major, minor, ret);
	return ret;
}

int DrvSensorHandleVer(u32 major, u32 minor)
{
	return sfw_check_version(__func__, handle_ver, major, minor);
}
EXPORT_SYMBOL(DrvSensorHandleVer);

int DrvSensorIFVer(u32 major, u32 minor)
{
	return sfw_check_version(__func__, if_ver, major, minor);
}
EXPORT_SYMBOL(DrvSensorIFVer);

int DrvSensorI2CVer(u32 major, u32 minor)
{
	return sfw_check_version(__func__, i2c_ver, major, minor);
}
EXPORT_SYMBOL(DrvSensorI2CVer);

static struct sfw_pad *sfw_pad_get(u32 pad)
{
	return pad < CAMSENSOR_MAX_PADS ? &sfw_pads[pad] : NULL;
}

int DrvRegisterSensorDriverEx(u32 pad, camsensor_init_fn init,
			      void *private_data)
{
	struct sfw_pad *p = sfw_pad_get(pad);
	int ret = 0;

	if (!p || !init) {
		ret = -EINVAL;
	} else {
		mutex_lock(&p->lock);
		if (p->registered) {
			ret = -EBUSY;
		} else {
			p->registered = true;
			p->init_fn = init;
			p->private_data = private_data;
			p->probed = false;
		}
		mutex_unlock(&p->lock);
	}
	sfw_log("%s pad=%u init=%ps ret=%d", __func__, pad, init, ret);
	return ret;
}
EXPORT_SYMBOL(DrvRegisterSensorDriverEx);

/* Slave id 0 means: use the address the driver puts in its i2c_cfg. */
int DrvRegisterSensorI2CSlaveID(u32 pad, u8 id)
{
	struct sfw_pad *p = sfw_pad_get(pad);
	int ret = 0;

	if (!p) {
		ret = -EINVAL;
	} else {
		mutex_lock(&p->lock);
		p->slave_id = id;
		mutex_unlock(&p->lock);
	}
	sfw_log("%s pad=%u id=0x%02x ret=%d", __func__, pad, id, ret);
	return ret;
}
EXPORT_SYMBOL(DrvRegisterSensorI2CSlaveID);

/* Forgets everything of the driver: no pointer into it survives. */
int DrvSensorRelease(u32 pad)
{
	struct sfw_pad *p = sfw_pad_get(pad);
	int ret = 0;

	if (!p) {
		ret = -EINVAL;
	} else {
		mutex_lock(&p->lock);
		if (!p->registered) {
			ret = -ENOENT;
		} else {
			if (p->probed && p->handle.ops.release)
				p->handle.ops.release(&p->handle);
			memset(&p->handle, 0, sizeof(p->handle));
			p->registered = false;
			p->probed = false;
			p->init_fn = NULL;
			p->private_data = NULL;
			p->slave_id = 0;
		}
		mutex_unlock(&p->lock);
	}
	sfw_log("%s pad=%u ret=%d", __func__, pad, ret);
	return ret;
}
EXPORT_SYMBOL(DrvSensorRelease);

/* Another sensor driver, for tests of a pad some other driver owns. */
static int sfw_other_driver_init(struct camsensor_handle *handle)
{
	snprintf(handle->model_name, sizeof(handle->model_name), "OTHER");
	return 0;
}

/* Registers the other driver on the pad, or releases it if it holds it. */
int sfw_pad_claim(struct sfw_pad *pad, bool claim)
{
	bool ours;

	if (claim)
		return DrvRegisterSensorDriverEx(pad->index,
						 sfw_other_driver_init, NULL);
	mutex_lock(&pad->lock);
	ours = pad->registered && pad->init_fn == sfw_other_driver_init;
	mutex_unlock(&pad->lock);
	return ours ? DrvSensorRelease(pad->index) : -EPERM;
}

/* Called with pad->lock held. */
int sfw_pad_probe(struct sfw_pad *pad)
{
	struct camsensor_handle *h = &pad->handle;

	if (!pad->registered)
		return -ENODEV;
	if (pad->probed)
		return pad->probe_result;

	memset(h, 0, sizeof(*h));
	h->pad = pad->index;
	h->version = SFW_HANDLE_VERSION;
	h->private_data = pad->private_data;
	h->i2c_ops = &sfw_i2c_ops;
	h->sif_ops = &sfw_sif_ops;
	h->framework_data = pad;

	pad->probe_result = pad->init_fn(h);
	pad->probed = true;
	sfw_log("init_handle pad=%u ret=%d", pad->index, pad->probe_result);
	return pad->probe_result;
}

static int __init sfw_init(void)
{
	unsigned int i;
	int ret;

	ret = sfw_log_init();
	if (ret)
		return ret;

	for (i = 0; i < CAMSENSOR_MAX_PADS; i++) {
		mutex_init(&sfw_pads[i].lock);
		sfw_pads[i].index = i;
		ret = sfw_emul_init(&sfw_pads[i]);
		if (ret)
			goto err_emul;
	}
	sfw_debugfs_init();
	return 0;

err_emul:
	while (i--)
		sfw_emul_exit(&sfw_pads[i]);
	sfw_log_exit();
	return ret;
}

static void __exit sfw_exit(void)
{
	unsigned int i;

	sfw_debugfs_exit();
	for (i = 0; i < CAMSENSOR_MAX_PADS; i++)
		sfw_emul_exit(&sfw_pads[i]);
	sfw_log_exit();
}

module_init(sfw_init);
module_exit(sfw_exit);

MODULE_DESCRIPTION("Stand-in camera sensor framework with emulated sensors");
MODULE_LICENSE("GPL");
