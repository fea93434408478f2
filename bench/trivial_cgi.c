// SPDX-License-Identifier: GPL-2.0
/*
 * Baseline for a request without camera traffic: prints the same reply as
 * the gateway does for "APC", and nothing else.
 */
#include <unistd.h>

static const char reply[] = "Status:200\r\nContent-type:Text/plain\r\nContent-length:12\r\n\r\n"
			    "aPC800080000";

int main(void)
{
	return write(STDOUT_FILENO, reply, sizeof(reply) - 1) < 0;
}
