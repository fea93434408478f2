/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: printk records each message with its level in the bench
 * log (kb::log()). Levels use the kernel's SOH prefix encoding.
 */
#ifndef KBENCH_LINUX_PRINTK_H
#define KBENCH_LINUX_PRINTK_H

#include <linux/compiler.h>

#define KERN_SOH "\001"
#define KERN_EMERG KERN_SOH "0"
#define KERN_ALERT KERN_SOH "1"
#define KERN_CRIT KERN_SOH "2"
#define KERN_ERR KERN_SOH "3"
#define KERN_WARNING KERN_SOH "4"
#define KERN_NOTICE KERN_SOH "5"
#define KERN_INFO KERN_SOH "6"
#define KERN_DEBUG KERN_SOH "7"
#define KERN_DEFAULT ""
#define KERN_CONT KERN_SOH "c"

/* The kernel's default: 10 messages per call site in 5 s of bench time. */
struct kb_ratelimit_state {
	unsigned long long begin_ns;
	int printed;
};

KB_BEGIN_DECLS
__printf(1, 2) int printk(const char *fmt, ...);
int kb_ratelimit(struct kb_ratelimit_state *rs);
KB_END_DECLS

#define printk_ratelimited(fmt, ...)					\
({									\
	static struct kb_ratelimit_state _rs;				\
	kb_ratelimit(&_rs) ? printk(fmt, ##__VA_ARGS__) : 0;		\
})

#ifndef pr_fmt
#define pr_fmt(fmt) fmt
#endif

#define pr_emerg(fmt, ...) printk(KERN_EMERG pr_fmt(fmt), ##__VA_ARGS__)
#define pr_alert(fmt, ...) printk(KERN_ALERT pr_fmt(fmt), ##__VA_ARGS__)
#define pr_crit(fmt, ...) printk(KERN_CRIT pr_fmt(fmt), ##__VA_ARGS__)
#define pr_err(fmt, ...) printk(KERN_ERR pr_fmt(fmt), ##__VA_ARGS__)
#define pr_warn(fmt, ...) printk(KERN_WARNING pr_fmt(fmt), ##__VA_ARGS__)
#define pr_notice(fmt, ...) printk(KERN_NOTICE pr_fmt(fmt), ##__VA_ARGS__)
#define pr_info(fmt, ...) printk(KERN_INFO pr_fmt(fmt), ##__VA_ARGS__)
#define pr_debug(fmt, ...) printk(KERN_DEBUG pr_fmt(fmt), ##__VA_ARGS__)
#define pr_err_ratelimited(fmt, ...) \
	printk_ratelimited(KERN_ERR pr_fmt(fmt), ##__VA_ARGS__)
#define pr_warn_ratelimited(fmt, ...) \
	printk_ratelimited(KERN_WARNING pr_fmt(fmt), ##__VA_ARGS__)
#define pr_cont(fmt, ...) printk(KERN_CONT fmt, ##__VA_ARGS__)

#endif
