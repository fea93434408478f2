// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in sensor framework: one text command per debugfs write runs one
 * operation slot of a pad's handle, e.g. "set_ae_gain 8000". The outcome is
 * kept as "<command> ret=<int>[ key=value...]" for the next read.
 */
#include <linux/errno.h>
#include <linux/kernel.h>
#include <linux/string.h>

#include "camsensor.h"
#include "sfw.h"

struct sfw_cmd {
	const char *name;
	bool has_arg;
	/* Runs the slot; appends outputs to out. -EOPNOTSUPP if it is empty. */
	int (*run)(struct camsensor_handle *h, u32 arg, char *out, size_t len);
};

#define SFW_SLOT(h, slot)	do { if (!(h)->ops.slot) return -EOPNOTSUPP; } while (0)

static int sfw_run_poweron(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, poweron);
	return h->ops.poweron(h, h->pad);
}

static int sfw_run_poweroff(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, poweroff);
	return h->ops.poweroff(h, h->pad);
}

static int sfw_run_init(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, init);
	return h->ops.init(h);
}

static int sfw_run_release(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, release);
	return h->ops.release(h);
}

static int sfw_run_set_pattern_mode(struct camsensor_handle *h, u32 arg, char *out,
				    size_t len)
{
	SFW_SLOT(h, set_pattern_mode);
	return h->ops.set_pattern_mode(h, arg);
}

/* The slot may leave the id alone: all ones then shows it did. */
static int sfw_run_get_sensor_id(struct camsensor_handle *h, u32 arg, char *out,
				 size_t len)
{
	u32 id = U32_MAX;
	int ret;

	SFW_SLOT(h, get_sensor_id);
	ret = h->ops.get_sensor_id(h, &id);
	snprintf(out, len, " id=%u", id);
	return ret;
}

static void sfw_print_res(char *out, size_t len, const struct res_entry *r)
{
	snprintf(out, len, " res=%ux%u fps=%u-%u crop=%u,%u out=%ux%u desc=%.*s",
		 r->width, r->height, r->min_fps, r->max_fps, r->offset_x,
		 r->offset_y, r->output_width, r->output_height,
		 (int)sizeof(r->desc), r->desc);
}

static int sfw_run_get_video_res(struct camsensor_handle *h, u32 arg, char *out,
				 size_t len)
{
	struct res_entry *res = NULL;
	int ret;

	SFW_SLOT(h, get_video_res);
	ret = h->ops.get_video_res(h, arg, &res);
	if (!ret && res)
		sfw_print_res(out, len, res);
	return ret;
}

static int sfw_run_get_cur_video_res(struct camsensor_handle *h, u32 arg, char *out,
				     size_t len)
{
	struct res_entry *res = NULL;
	u32 index = 0;
	size_t n;
	int ret;

	SFW_SLOT(h, get_cur_video_res);
	ret = h->ops.get_cur_video_res(h, &index, &res);
	n = snprintf(out, len, " index=%u", index);
	if (!ret && res && n < len)
		sfw_print_res(out + n, len - n, res);
	return ret;
}

static int sfw_run_set_video_res(struct camsensor_handle *h, u32 arg, char *out,
				 size_t len)
{
	SFW_SLOT(h, set_video_res);
	return h->ops.set_video_res(h, arg);
}

static int sfw_run_get_video_res_num(struct camsensor_handle *h, u32 arg, char *out,
				     size_t len)
{
	u32 count = 0;
	int ret;

	SFW_SLOT(h, get_video_res_num);
	ret = h->ops.get_video_res_num(h, &count);
	snprintf(out, len, " count=%u", count);
	return ret;
}

static int sfw_run_get_orien(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	u32 orient = 0;
	int ret;

	SFW_SLOT(h, get_orien);
	ret = h->ops.get_orien(h, &orient);
	snprintf(out, len, " orient=%u", orient);
	return ret;
}

static int sfw_run_set_orien(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, set_orien);
	return h->ops.set_orien(h, arg);
}

static int sfw_run_notify(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, ae_status_notify);
	return h->ops.ae_status_notify(h, arg);
}

static int sfw_run_get_ae_usecs(struct camsensor_handle *h, u32 arg, char *out,
				size_t len)
{
	u32 us = 0;
	int ret;

	SFW_SLOT(h, get_ae_usecs);
	ret = h->ops.get_ae_usecs(h, &us);
	snprintf(out, len, " us=%u", us);
	return ret;
}

static int sfw_run_set_ae_usecs(struct camsensor_handle *h, u32 arg, char *out,
				size_t len)
{
	SFW_SLOT(h, set_ae_usecs);
	return h->ops.set_ae_usecs(h, arg);
}

static int sfw_run_get_ae_gain(struct camsensor_handle *h, u32 arg, char *out,
			       size_t len)
{
	u32 gain = 0;
	int ret;

	SFW_SLOT(h, get_ae_gain);
	ret = h->ops.get_ae_gain(h, &gain);
	snprintf(out, len, " gain=%u", gain);
	return ret;
}

static int sfw_run_set_ae_gain(struct camsensor_handle *h, u32 arg, char *out,
			       size_t len)
{
	SFW_SLOT(h, set_ae_gain);
	return h->ops.set_ae_gain(h, arg);
}

static int sfw_run_try_ae_gain(struct camsensor_handle *h, u32 arg, char *out,
			       size_t len)
{
	SFW_SLOT(h, try_ae_gain);
	snprintf(out, len, " gain=%u", h->ops.try_ae_gain(h, arg));
	return 0;
}

static int sfw_run_get_ae_min_max_usecs(struct camsensor_handle *h, u32 arg,
					char *out, size_t len)
{
	u32 min = 0, max = 0;
	int ret;

	SFW_SLOT(h, get_ae_min_max_usecs);
	ret = h->ops.get_ae_min_max_usecs(h, &min, &max);
	snprintf(out, len, " min=%u max=%u", min, max);
	return ret;
}

static int sfw_run_get_ae_min_max_gain(struct camsensor_handle *h, u32 arg,
				       char *out, size_t len)
{
	u32 min = 0, max = 0;
	int ret;

	SFW_SLOT(h, get_ae_min_max_gain);
	ret = h->ops.get_ae_min_max_gain(h, &min, &max);
	snprintf(out, len, " min=%u max=%u", min, max);
	return ret;
}

static int sfw_run_get_fps(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, get_fps);
	snprintf(out, len, " fps=%u", h->ops.get_fps(h));
	return 0;
}

static int sfw_run_set_fps(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	SFW_SLOT(h, set_fps);
	return h->ops.set_fps(h, arg);
}

static int sfw_run_get_shutter_info(struct camsensor_handle *h, u32 arg, char *out,
				    size_t len)
{
	struct shutter_info info = { .size = sizeof(info) };
	int ret;

	SFW_SLOT(h, get_shutter_info);
	ret = h->ops.get_shutter_info(h, &info);
	snprintf(out, len, " max_ns=%u min_ns=%u step_ns=%u", info.max_shutter_ns,
		 info.min_shutter_ns, info.shutter_step_ns);
	return ret;
}

static const struct sfw_cmd sfw_cmds[] = {
	{ "poweron", false, sfw_run_poweron },
	{ "poweroff", false, sfw_run_poweroff },
	{ "init", false, sfw_run_init },
	{ "release", false, sfw_run_release },
	{ "set_pattern_mode", true, sfw_run_set_pattern_mode },
	{ "get_sensor_id", false, sfw_run_get_sensor_id },
	{ "get_video_res", true, sfw_run_get_video_res },
	{ "get_cur_video_res", false, sfw_run_get_cur_video_res },
	{ "set_video_res", true, sfw_run_set_video_res },
	{ "get_video_res_num", false, sfw_run_get_video_res_num },
	{ "get_orien", false, sfw_run_get_orien },
	{ "set_orien", true, sfw_run_set_orien },
	{ "notify", true, sfw_run_notify },
	{ "get_ae_usecs", false, sfw_run_get_ae_usecs },
	{ "set_ae_usecs", true, sfw_run_set_ae_usecs },
	{ "get_ae_gain", false, sfw_run_get_ae_gain },
	{ "set_ae_gain", true, sfw_run_set_ae_gain },
	{ "try_ae_gain", true, sfw_run_try_ae_gain },
	{ "get_ae_min_max_usecs", false, sfw_run_get_ae_min_max_usecs },
	{ "get_ae_min_max_gain", false, sfw_run_get_ae_min_max_gain },
	{ "get_fps", false, sfw_run_get_fps },
	{ "set_fps", true, sfw_run_set_fps },
	{ "get_shutter_info", false, sfw_run_get_shutter_info },
};

/*
 * Parses and runs one command on the pad, creating its handle first if
 * need be. Returns a negative errno when the command itself is malformed or
 * the pad has no usable handle; the slot's own result goes to pad->result.
 */
int sfw_pad_command(struct sfw_pad *pad, char *line)
{
	const struct sfw_cmd *cmd = NULL;
	char out[sizeof(pad->result)] = "";
	char *name, *arg_text;
	u32 arg = 0;
	unsigned int i;
	int ret;

	line = strim(line);
	name = strsep(&line, " \t");
	arg_text = line ? strim(line) : NULL;

	for (i = 0; i < ARRAY_SIZE(sfw_cmds); i++)
		if (!strcmp(name, sfw_cmds[i].name))
			cmd = &sfw_cmds[i];
	if (!cmd && strcmp(name, "probe"))
		return -EINVAL;
	if (cmd && cmd->has_arg && (!arg_text || kstrtou32(arg_text, 0, &arg)))
		return -EINVAL;
	if (cmd && !cmd->has_arg && arg_text && *arg_text)
		return -EINVAL;

	mutex_lock(&pad->lock);
	ret = sfw_pad_probe(pad);
	if (ret) {
		snprintf(pad->result, sizeof(pad->result), "%s ret=%d", name, ret);
		mutex_unlock(&pad->lock);
		return pad->registered ? -EIO : -ENODEV;
	}
	if (!cmd) {
		snprintf(pad->result, sizeof(pad->result), "probe ret=0");
		mutex_unlock(&pad->lock);
		return 0;
	}
	sfw_log("op pad=%u %s arg=%u", pad->index, name, arg);
	ret = cmd->run(&pad->handle, arg, out, sizeof(out));
	snprintf(pad->result, sizeof(pad->result), "%s ret=%d%s", name, ret, out);
	sfw_log("op_ret pad=%u %s ret=%d%s", pad->index, name, ret, out);
	mutex_unlock(&pad->lock);
	return 0;
}
