// SPDX-License-Identifier: GPL-2.0
/*
 * Test-only helper of the virtual board's allocation-failure sweep. Never
 * shipped.
 *
 * Linux 4.9's fault injection fails every interval-th allocation that passes
 * its filters, counting in a counter it keeps to itself (later kernels have
 * /proc/self/fail-nth instead). This module shows that counter of failslab
 * and fail_page_alloc in debugfs, so that a test can make exactly the N-th
 * allocation of the task it marks the one checked: interval L, count L - N,
 * times 1. The task filter, the stack-trace filter and the rest stay the
 * kernel's own.
 *
 * A module's load makes most of its allocations in the kernel's loader,
 * before the module's own code runs. With mark_init set, the next module
 * loaded runs its init function with the loading task marked for fault
 * injection (make-it-fail) and only then, so that the count starts at the
 * init's first allocation.
 *
 *   /sys/kernel/debug/board_failnth/failslab_count
 *   /sys/kernel/debug/board_failnth/fail_page_alloc_count
 *   /sys/kernel/debug/board_failnth/mark_init
 *
 * Only for kernels that export kallsyms_lookup_name() (before 5.7).
 */
#include <linux/debugfs.h>
#include <linux/fault-inject.h>
#include <linux/kallsyms.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/sched.h>
#include <linux/version.h>

#define HAVE_COUNTERS	(IS_ENABLED(CONFIG_FAULT_INJECTION_DEBUG_FS) && \
			 LINUX_VERSION_CODE < KERNEL_VERSION(5, 7, 0))

#if HAVE_COUNTERS
static struct dentry *board_failnth_dir;

/* The kernel's failslab and fail_page_alloc records begin with their attr. */
static const char *const board_failnth_attrs[] = {
	"failslab",
	"fail_page_alloc",
};

static int board_failnth_get(void *data, u64 *val)
{
	*val = ((struct fault_attr *)data)->count;
	return 0;
}

static int board_failnth_set(void *data, u64 val)
{
	((struct fault_attr *)data)->count = val;
	return 0;
}

DEFINE_SIMPLE_ATTRIBUTE(board_failnth_fops, board_failnth_get,
			board_failnth_set, "%llu\n");

/* The board loads one module at a time. */
static bool board_failnth_mark_init;
static initcall_t board_failnth_init_of_module;

static int board_failnth_marked_init(void)
{
	int ret;

	current->make_it_fail = 1;
	ret = board_failnth_init_of_module();
	current->make_it_fail = 0;
	return ret;
}

/* A module coming live: its init is called after this, in the same task. */
static int board_failnth_coming(struct notifier_block *nb, unsigned long state,
				void *data)
{
	struct module *mod = data;

	if (state == MODULE_STATE_COMING && board_failnth_mark_init &&
	    mod != THIS_MODULE && mod->init) {
		board_failnth_init_of_module = mod->init;
		mod->init = board_failnth_marked_init;
	}
	return NOTIFY_DONE;
}

static struct notifier_block board_failnth_nb = {
	.notifier_call = board_failnth_coming,
};

static int __init board_failnth_init(void)
{
	struct fault_attr *attr;
	char name[32];
	unsigned int i;

	board_failnth_dir = debugfs_create_dir("board_failnth", NULL);
	if (IS_ERR_OR_NULL(board_failnth_dir))
		return -ENOMEM;
	debugfs_create_bool("mark_init", 0600, board_failnth_dir,
			    &board_failnth_mark_init);
	for (i = 0; i < ARRAY_SIZE(board_failnth_attrs); i++) {
		attr = (struct fault_attr *)
			kallsyms_lookup_name(board_failnth_attrs[i]);
		if (!attr)
			continue;
		snprintf(name, sizeof(name), "%s_count", board_failnth_attrs[i]);
		debugfs_create_file(name, 0600, board_failnth_dir, attr,
				    &board_failnth_fops);
	}
	return register_module_notifier(&board_failnth_nb);
}

static void __exit board_failnth_exit(void)
{
	unregister_module_notifier(&board_failnth_nb);
	debugfs_remove_recursive(board_failnth_dir);
}
#else
static int __init board_failnth_init(void)
{
	return -EOPNOTSUPP;
}

static void __exit board_failnth_exit(void)
{
}
#endif

module_init(board_failnth_init);
module_exit(board_failnth_exit);

MODULE_DESCRIPTION("Board test helper: the fault injection counters");
MODULE_LICENSE("GPL");
