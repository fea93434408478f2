// SPDX-License-Identifier: GPL-2.0
/*
 * Test-only client of the converter driver's exports, for the virtual board.
 * Never shipped.
 *
 * It declares a proprietary licence on purpose: it must load, which shows
 * that qv_sar_hw_init() and qv_sar_get() are exported to every module, not
 * only to GPL ones. For the same reason it uses no GPL-only interface: the
 * test talks to it through module parameters.
 *
 *   echo N > /sys/module/board_sar_client/parameters/channel
 *       initialises the converter and converts channel N
 *   cat /sys/module/board_sar_client/parameters/reading
 *       what qv_sar_get(N) returned
 */

#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/moduleparam.h>

#include <sar_adc.h>

static int channel;
static int reading = -1;

static int channel_set(const char *val, const struct kernel_param *kp)
{
	int ret = param_set_int(val, kp);

	if (ret)
		return ret;
	qv_sar_hw_init();
	reading = qv_sar_get(channel);
	return 0;
}

static const struct kernel_param_ops channel_ops = {
	.set = channel_set,
	.get = param_get_int,
};

module_param_cb(channel, &channel_ops, &channel, 0644);
MODULE_PARM_DESC(channel, "Channel to convert on write");
module_param(reading, int, 0444);
MODULE_PARM_DESC(reading, "Result of the last conversion");

MODULE_LICENSE("Proprietary");
MODULE_DESCRIPTION("Virtual board test client of the SAR converter exports");
