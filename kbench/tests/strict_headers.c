// SPDX-License-Identifier: GPL-2.0
/*
 * What Linux 4.9 refuses to build, the bench must refuse too. Each case is
 * built twice by strict_headers.cmake: as written, which must build, and
 * with STRICT_BAD, which must fail with the message the case names.
 */
#if defined(CASE_ARRAY_SIZE_OF_POINTER)
#include <linux/bug.h>
#include <linux/kernel.h>
static const int table[4];
#ifdef STRICT_BAD
int strict_case(const int *t) { return ARRAY_SIZE(t); }
#else
int strict_case(void) { return ARRAY_SIZE(table); }
#endif

#elif defined(CASE_ARRAY_SIZE_WITHOUT_BUG_H)
#ifndef STRICT_BAD
#include <linux/bug.h>
#endif
#include <linux/kernel.h>
static const int table[4];
int strict_case(void) { return ARRAY_SIZE(table); }

#elif defined(CASE_BUILD_BUG_ON_WITHOUT_BUG_H)
#ifndef STRICT_BAD
#include <linux/bug.h>
#endif
#include <linux/kernel.h>
void strict_case(void) { BUILD_BUG_ON(sizeof(int) != 4); }

#elif defined(CASE_ERR_WITHOUT_ERR_H)
#ifndef STRICT_BAD
#include <linux/err.h>
#endif
#include <linux/kernel.h>
long strict_case(const void *p) { return IS_ERR(p) ? PTR_ERR(p) : 0; }

#elif defined(CASE_KSTRTOX_H)
#ifdef STRICT_BAD
#include <linux/kstrtox.h>
#else
#include <linux/kernel.h>
#endif
unsigned long strict_case(const char *s) { return simple_strtoul(s, NULL, 10); }

#elif defined(CASE_DEVICE_CLASS_H)
#ifdef STRICT_BAD
#include <linux/device/class.h>
#else
#include <linux/device.h>
#endif
struct class *strict_case;

#elif defined(CASE_DEVM_PLATFORM_IOREMAP_RESOURCE)
#include <linux/io.h>
#include <linux/platform_device.h>
void __iomem *strict_case(struct platform_device *pdev)
{
#ifdef STRICT_BAD
	return devm_platform_ioremap_resource(pdev, 0);
#else
	return devm_ioremap_resource(&pdev->dev, platform_get_resource(pdev, IORESOURCE_MEM, 0));
#endif
}

#else
#error "no case selected"
#endif
