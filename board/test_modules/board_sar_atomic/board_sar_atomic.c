// SPDX-License-Identifier: GPL-2.0
/*
 * Test-only atomic client of the converter driver's exports, for the
 * virtual board (two CPUs). Never shipped; GPL so that lock debugging
 * stays on while it runs.
 *
 * It plays a driver that reads the converter inside its own interrupt-safe
 * lock, which its timer interrupt also takes: while loaded, a thread on
 * CPU 1 calls qv_sar_get() over and over with that lock held, and a timer
 * on CPU 0 takes the lock every millisecond. A conversion that user space
 * runs on CPU 0 meanwhile is interrupted by the timer, which needs the lock
 * from CPU 1: CPU 1 must never wait for CPU 0's conversion.
 *
 *   /sys/module/board_sar_atomic/parameters/calls   qv_sar_get() calls done
 *   /sys/module/board_sar_atomic/parameters/ticks   timer runs on CPU 0
 *   /sys/module/board_sar_atomic/parameters/zeros   calls that returned 0
 * With tick=0 there is no timer; with thread=0 neither thread nor timer.
 *
 *   echo 1 > /sys/module/board_sar_atomic/parameters/hw_init
 *       calls qv_sar_hw_init(), as a driver does before it reads
 */

#include <linux/cpumask.h>
#include <linux/err.h>
#include <linux/hrtimer.h>
#include <linux/kthread.h>
#include <linux/module.h>
#include <linux/moduleparam.h>
#include <linux/sched.h>
#include <linux/smp.h>
#include <linux/spinlock.h>

#include <sar_adc.h>

#define TICK_NS		(1000 * NSEC_PER_USEC)

static DEFINE_SPINLOCK(client_lock);
static struct hrtimer client_timer;
static struct task_struct *client_thread;
static unsigned long calls;
static unsigned long ticks;
static unsigned long zeros;
static bool tick = true;
static bool thread = true;

module_param(calls, ulong, 0444);
MODULE_PARM_DESC(calls, "qv_sar_get() calls finished by the thread on CPU 1");
module_param(ticks, ulong, 0444);
MODULE_PARM_DESC(ticks, "Runs of the timer on CPU 0");
module_param(zeros, ulong, 0444);
module_param(tick, bool, 0444);
module_param(thread, bool, 0444);

static int hw_init_set(const char *val, const struct kernel_param *kp)
{
	qv_sar_hw_init();
	return 0;
}

static const struct kernel_param_ops hw_init_ops = {
	.set = hw_init_set,
};

module_param_cb(hw_init, &hw_init_ops, NULL, 0200);

/* Hard interrupt context, CPU 0. */
static enum hrtimer_restart client_tick(struct hrtimer *timer)
{
	spin_lock(&client_lock);
	WRITE_ONCE(ticks, ticks + 1);
	spin_unlock(&client_lock);
	hrtimer_forward_now(timer, ns_to_ktime(TICK_NS));
	return HRTIMER_RESTART;
}

static void client_start_timer(void *unused)
{
	hrtimer_init(&client_timer, CLOCK_MONOTONIC, HRTIMER_MODE_REL_PINNED);
	client_timer.function = client_tick;
	hrtimer_start(&client_timer, ns_to_ktime(TICK_NS),
		      HRTIMER_MODE_REL_PINNED);
}

static int client_loop(void *unused)
{
	unsigned long flags;

	while (!kthread_should_stop()) {
		spin_lock_irqsave(&client_lock, flags);
		if (!qv_sar_get(0))
			WRITE_ONCE(zeros, zeros + 1);
		spin_unlock_irqrestore(&client_lock, flags);
		WRITE_ONCE(calls, calls + 1);
		cond_resched();
	}
	return 0;
}

static int __init board_sar_atomic_init(void)
{
	if (!thread)
		return 0;
	if (!cpu_online(0) || !cpu_online(1))
		return -ENODEV;
	client_thread = kthread_create(client_loop, NULL, "board_sar_atomic");
	if (IS_ERR(client_thread))
		return PTR_ERR(client_thread);
	kthread_bind(client_thread, 1);
	if (tick)
		smp_call_function_single(0, client_start_timer, NULL, 1);
	wake_up_process(client_thread);
	return 0;
}

static void __exit board_sar_atomic_exit(void)
{
	if (!thread)
		return;
	kthread_stop(client_thread);
	if (tick)
		hrtimer_cancel(&client_timer);
}

module_init(board_sar_atomic_init);
module_exit(board_sar_atomic_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("Virtual board test client of the SAR converter exports, atomic, on CPU 1");
