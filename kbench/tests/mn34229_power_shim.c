// SPDX-License-Identifier: GPL-2.0
/*
 * The power/init part of the MN34229 driver, compiled unchanged, with a
 * window on its static table writer so tests can feed it tables of their
 * own (delay markers: the shipped tables have none).
 */
#include "../../drivers/sensor_mn34229/mn34229_power.c"

int mn34229_test_write_table(struct camsensor_handle *handle,
			     const struct reg_entry *table, unsigned int rows);

int mn34229_test_write_table(struct camsensor_handle *handle,
			     const struct reg_entry *table, unsigned int rows)
{
	return mn34229_write_table(handle, table, rows, "mn34229_test", 1);
}
