// SPDX-License-Identifier: GPL-2.0
/* Preloaded into ptz_cgi to make every heap allocation fail, so that the
 * reply record's allocation failure can be observed. */
#include <errno.h>
#include <stddef.h>

void *malloc(size_t size)
{
	(void)size;
	errno = ENOMEM;
	return NULL;
}

void *calloc(size_t count, size_t size)
{
	(void)count;
	(void)size;
	errno = ENOMEM;
	return NULL;
}

void *realloc(void *ptr, size_t size)
{
	(void)ptr;
	(void)size;
	errno = ENOMEM;
	return NULL;
}

void free(void *ptr)
{
	(void)ptr;
}
