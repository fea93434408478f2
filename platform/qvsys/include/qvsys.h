/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Platform services that the board's kernel offers its drivers.
 */
#ifndef _QVSYS_H
#define _QVSYS_H

struct class;

/*
 * The one system-wide class under which platform drivers create their
 * class devices (/sys/class/<name>/<device>/...). It exists from the
 * providing module's load until its unload and never changes in between.
 */
struct class *qvsys_get_sysfs_class(void);

#endif /* _QVSYS_H */
