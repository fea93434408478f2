/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the provider side that consumers reach into for parents. */
#ifndef KBENCH_LINUX_CLK_PROVIDER_H
#define KBENCH_LINUX_CLK_PROVIDER_H

#include <linux/clk.h>

struct clk_core;
struct clk_init_data;

struct clk_hw {
	struct clk_core *core;
	struct clk *clk;
	const struct clk_init_data *init;
};

KB_BEGIN_DECLS
struct clk_hw *__clk_get_hw(struct clk *clk);
struct clk_hw *clk_hw_get_parent_by_index(const struct clk_hw *hw, unsigned int index);
unsigned int clk_hw_get_num_parents(const struct clk_hw *hw);
const char *clk_hw_get_name(const struct clk_hw *hw);
KB_END_DECLS

#endif
