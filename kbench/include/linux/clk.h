/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: clocks are modelled by kb::clk. Each of_clk_get() hands
 * out a new consumer handle; prepare/enable counts are kept per clock and an
 * unbalanced call, a sleeping call in atomic context or a call on a handle
 * that was put is a bench violation.
 */
#ifndef KBENCH_LINUX_CLK_H
#define KBENCH_LINUX_CLK_H

#include <linux/types.h>

struct clk;
struct device;
struct device_node;

KB_BEGIN_DECLS
struct clk *of_clk_get(struct device_node *np, int index);
void clk_put(struct clk *clk);
int clk_prepare(struct clk *clk);
void clk_unprepare(struct clk *clk);
int clk_enable(struct clk *clk);
void clk_disable(struct clk *clk);
int clk_set_parent(struct clk *clk, struct clk *parent);
struct clk *clk_get_parent(struct clk *clk);
unsigned long clk_get_rate(struct clk *clk);
KB_END_DECLS

static inline int clk_prepare_enable(struct clk *clk)
{
	int ret = clk_prepare(clk);

	if (ret)
		return ret;
	ret = clk_enable(clk);
	if (ret)
		clk_unprepare(clk);
	return ret;
}

static inline void clk_disable_unprepare(struct clk *clk)
{
	clk_disable(clk);
	clk_unprepare(clk);
}

#endif
