/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: an ioremap()ed cookie points into a bench-owned buffer as
 * large as the mapping, and every readX/writeX through it goes to the device
 * model attached at that bus address and is recorded (kb::mmio). The
 * relaxed and ordered forms differ only in what the record says.
 */
#ifndef KBENCH_LINUX_IO_H
#define KBENCH_LINUX_IO_H

#include <linux/types.h>
#include <linux/ioport.h>

struct device;

KB_BEGIN_DECLS
u32 kb_mmio_read(const volatile void __iomem *addr, unsigned int width, int relaxed);
void kb_mmio_write(volatile void __iomem *addr, u32 value, unsigned int width, int relaxed);
void __iomem *ioremap(phys_addr_t offset, size_t size);
void iounmap(volatile void __iomem *addr);
void __iomem *devm_ioremap(struct device *dev, resource_size_t offset, resource_size_t size);
void __iomem *devm_ioremap_resource(struct device *dev, const struct resource *res);
KB_END_DECLS

#define readb(a) ((u8)kb_mmio_read(a, 8, 0))
#define readw(a) ((u16)kb_mmio_read(a, 16, 0))
#define readl(a) ((u32)kb_mmio_read(a, 32, 0))
#define readb_relaxed(a) ((u8)kb_mmio_read(a, 8, 1))
#define readw_relaxed(a) ((u16)kb_mmio_read(a, 16, 1))
#define readl_relaxed(a) ((u32)kb_mmio_read(a, 32, 1))
#define writeb(v, a) kb_mmio_write(a, (u8)(v), 8, 0)
#define writew(v, a) kb_mmio_write(a, (u16)(v), 16, 0)
#define writel(v, a) kb_mmio_write(a, (u32)(v), 32, 0)
#define writeb_relaxed(v, a) kb_mmio_write(a, (u8)(v), 8, 1)
#define writew_relaxed(v, a) kb_mmio_write(a, (u16)(v), 16, 1)
#define writel_relaxed(v, a) kb_mmio_write(a, (u32)(v), 32, 1)

#endif
