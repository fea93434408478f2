// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in sensor framework: one text command per debugfs write runs one
 * operation slot of a pad's handle, e.g. "set_ae_gain 8000". The outcome is
 * kept as "<command> ret=<int>[ key=value...]" for the next read.
 */
#include <linux/errno.h>
#include <linux/kernel.h>
#include <linux/stddef.h>
#include <linux/string.h>

#include "camsensor.h"
#include "sfw.h"

struct sfw_cmd {
	const char *name;
	size_t slot;		/* offset of the slot in struct camsensor_ops */
	bool has_arg;
	/* Runs the slot, which is not empty; appends outputs to out. */
	int (*run)(struct camsensor_handle *h, u32 arg, char *out, size_t len);
};

#define SFW_CMD(cmd, slot_name, arg) {					\
	.name = #cmd,							\
	.slot = offsetof(struct camsensor_ops, slot_name),		\
	.has_arg = arg,							\
	.run = sfw_run_##cmd,						\
}

static bool sfw_slot_empty(const struct camsensor_handle *h,
			   const struct sfw_cmd *cmd)
{
	const void *slot = (const char *)&h->ops + cmd->slot;

	return !*(void * const *)slot;
}

static int sfw_run_poweron(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.poweron(h, h->pad);
}

static int sfw_run_poweroff(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.poweroff(h, h->pad);
}

static int sfw_run_init(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.init(h);
}

static int sfw_run_release(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.release(h);
}

static int sfw_run_set_pattern_mode(struct camsensor_handle *h, u32 arg, char *out,
				    size_t len)
{
	return h->ops.set_pattern_mode(h, arg);
}

/* The slot may leave the id alone: all ones then shows it did. */
static int sfw_run_get_sensor_id(struct camsensor_handle *h, u32 arg, char *out,
				 size_t len)
{
	u32 id = U32_MAX;
	int ret;

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

	ret = h->ops.get_cur_video_res(h, &index, &res);
	n = snprintf(out, len, " index=%u", index);
	if (!ret && res && n < len)
		sfw_print_res(out + n, len - n, res);
	return ret;
}

static int sfw_run_set_video_res(struct camsensor_handle *h, u32 arg, char *out,
				 size_t len)
{
	return h->ops.set_video_res(h, arg);
}

static int sfw_run_get_video_res_num(struct camsensor_handle *h, u32 arg, char *out,
				     size_t len)
{
	u32 count = 0;
	int ret;

	ret = h->ops.get_video_res_num(h, &count);
	snprintf(out, len, " count=%u", count);
	return ret;
}

static int sfw_run_get_orien(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	u32 orient = 0;
	int ret;

	ret = h->ops.get_orien(h, &orient);
	snprintf(out, len, " orient=%u", orient);
	return ret;
}

static int sfw_run_set_orien(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.set_orien(h, arg);
}

static int sfw_run_notify(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.ae_status_notify(h, arg);
}

static int sfw_run_get_ae_usecs(struct camsensor_handle *h, u32 arg, char *out,
				size_t len)
{
	u32 us = 0;
	int ret;

	ret = h->ops.get_ae_usecs(h, &us);
	snprintf(out, len, " us=%u", us);
	return ret;
}

static int sfw_run_set_ae_usecs(struct camsensor_handle *h, u32 arg, char *out,
				size_t len)
{
	return h->ops.set_ae_usecs(h, arg);
}

static int sfw_run_get_ae_gain(struct camsensor_handle *h, u32 arg, char *out,
			       size_t len)
{
	u32 gain = 0;
	int ret;

	ret = h->ops.get_ae_gain(h, &gain);
	snprintf(out, len, " gain=%u", gain);
	return ret;
}

static int sfw_run_set_ae_gain(struct camsensor_handle *h, u32 arg, char *out,
			       size_t len)
{
	return h->ops.set_ae_gain(h, arg);
}

static int sfw_run_try_ae_gain(struct camsensor_handle *h, u32 arg, char *out,
			       size_t len)
{
	snprintf(out, len, " gain=%u", h->ops.try_ae_gain(h, arg));
	return 0;
}

static int sfw_run_get_ae_min_max_usecs(struct camsensor_handle *h, u32 arg,
					char *out, size_t len)
{
	u32 min = 0, max = 0;
	int ret;

	ret = h->ops.get_ae_min_max_usecs(h, &min, &max);
	snprintf(out, len, " min=%u max=%u", min, max);
	return ret;
}

static int sfw_run_get_ae_min_max_gain(struct camsensor_handle *h, u32 arg,
				       char *out, size_t len)
{
	u32 min = 0, max = 0;
	int ret;

	ret = h->ops.get_ae_min_max_gain(h, &min, &max);
	snprintf(out, len, " min=%u max=%u", min, max);
	return ret;
}

static int sfw_run_get_fps(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	snprintf(out, len, " fps=%u", h->ops.get_fps(h));
	return 0;
}

static int sfw_run_set_fps(struct camsensor_handle *h, u32 arg, char *out, size_t len)
{
	return h->ops.set_fps(h, arg);
}

static int sfw_run_get_shutter_info(struct camsensor_handle *h, u32 arg, char *out,
				    size_t len)
{
	struct shutter_info info = { .size = sizeof(info) };
	int ret;

	ret = h->ops.get_shutter_info(h, &info);
	snprintf(out, len, " max_ns=%u min_ns=%u step_ns=%u", info.max_shutter_ns,
		 info.min_shutter_ns, info.shutter_step_ns);
	return ret;
}

static const struct sfw_cmd sfw_cmds[] = {
	SFW_CMD(poweron, poweron, false),
	SFW_CMD(poweroff, poweroff, false),
	SFW_CMD(init, init, false),
	SFW_CMD(release, release, false),
	SFW_CMD(set_pattern_mode, set_pattern_mode, true),
	SFW_CMD(get_sensor_id, get_sensor_id, false),
	SFW_CMD(get_video_res, get_video_res, true),
	SFW_CMD(get_cur_video_res, get_cur_video_res, false),
	SFW_CMD(set_video_res, set_video_res, true),
	SFW_CMD(get_video_res_num, get_video_res_num, false),
	SFW_CMD(get_orien, get_orien, false),
	SFW_CMD(set_orien, set_orien, true),
	SFW_CMD(notify, ae_status_notify, true),
	SFW_CMD(get_ae_usecs, get_ae_usecs, false),
	SFW_CMD(set_ae_usecs, set_ae_usecs, true),
	SFW_CMD(get_ae_gain, get_ae_gain, false),
	SFW_CMD(set_ae_gain, set_ae_gain, true),
	SFW_CMD(try_ae_gain, try_ae_gain, true),
	SFW_CMD(get_ae_min_max_usecs, get_ae_min_max_usecs, false),
	SFW_CMD(get_ae_min_max_gain, get_ae_min_max_gain, false),
	SFW_CMD(get_fps, get_fps, false),
	SFW_CMD(set_fps, set_fps, true),
	SFW_CMD(get_shutter_info, get_shutter_info, false),
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

	if (!strcmp(name, "claim") || !strcmp(name, "unclaim")) {
		ret = sfw_pad_claim(pad, name[0] == 'c');
		mutex_lock(&pad->lock);
		snprintf(pad->result, sizeof(pad->result), "%s ret=%d", name, ret);
		mutex_unlock(&pad->lock);
		return 0;
	}
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
	if (sfw_slot_empty(&pad->handle, cmd))
		ret = -EOPNOTSUPP;
	else
		ret = cmd->run(&pad->handle, arg, out, sizeof(out));
	snprintf(pad->result, sizeof(pad->result), "%s ret=%d%s", name, ret, out);
	sfw_log("op_ret pad=%u %s ret=%d%s", pad->index, name, ret, out);
	mutex_unlock(&pad->lock);
	return 0;
}
