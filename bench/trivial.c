// SPDX-License-Identifier: GPL-2.0
/* The baseline: a C program that does nothing, linked like ptz_cgi. */
int main(void)
{
	return 0;
}
