// SPDX-License-Identifier: GPL-2.0
/*
 * Stand-in sensor framework: the CamOs layer on kernel primitives. Every
 * call is logged; allocations can be made to fail for tests.
 */
#include <linux/delay.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/printk.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/string.h>

#include "cam_os.h"
#include "sfw.h"

#define SFW_PRINTF_LOG_LEN	64

unsigned int sfw_alloc_fail_nth;
static DEFINE_SPINLOCK(sfw_alloc_lock);

void *CamOsMemAlloc(u32 size)
{
	void *ptr = NULL;
	bool fail = false;

	spin_lock(&sfw_alloc_lock);
	if (sfw_alloc_fail_nth)
		fail = --sfw_alloc_fail_nth == 0;
	spin_unlock(&sfw_alloc_lock);
	if (!fail)
		ptr = kmalloc(size, GFP_KERNEL);
	sfw_log("%s size=%u ret=%s", __func__, size, ptr ? "ok" : "null");
	return ptr;
}
EXPORT_SYMBOL(CamOsMemAlloc);

void CamOsMemRelease(void *ptr)
{
	sfw_log("%s null=%d", __func__, !ptr);
	kfree(ptr);
}
EXPORT_SYMBOL(CamOsMemRelease);

int CamOsPrintf(const char *fmt, ...)
{
	char text[SFW_PRINTF_LOG_LEN];
	va_list args;
	size_t len;
	int ret;

	va_start(args, fmt);
	ret = vprintk(fmt, args);
	va_end(args);

	/* the first line of the message, for the call log */
	va_start(args, fmt);
	vsnprintf(text, sizeof(text), fmt, args);
	va_end(args);
	len = strcspn(text, "\n");
	text[len] = '\0';
	sfw_log("%s text=%s", __func__, text);
	return ret;
}
EXPORT_SYMBOL(CamOsPrintf);

void CamOsMsSleep(u32 ms)
{
	sfw_log("%s ms=%u", __func__, ms);
	msleep(ms);
}
EXPORT_SYMBOL(CamOsMsSleep);

void CamOsUsDelay(u32 us)
{
	sfw_log("%s us=%u", __func__, us);
	udelay(us);
}
EXPORT_SYMBOL(CamOsUsDelay);
