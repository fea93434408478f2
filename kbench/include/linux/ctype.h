/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: the kernel's character classes, which are Latin-1 (0xa0,
 * no-break space, counts as white space) and independent of any locale.
 */
#ifndef KBENCH_LINUX_CTYPE_H
#define KBENCH_LINUX_CTYPE_H

static inline int kb_ctype_space(unsigned char c)
{
	return c == ' ' || (c >= '\t' && c <= '\r') || c == 0xa0;
}

#define isspace(c) kb_ctype_space((unsigned char)(c))
#define isdigit(c) ((unsigned char)(c) >= '0' && (unsigned char)(c) <= '9')

#endif
