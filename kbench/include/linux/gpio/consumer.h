/* SPDX-License-Identifier: GPL-2.0 */
/*
 * Bench stand-in: descriptor-based GPIO access. Lines live in the bench's
 * GPIO model (kb::gpio), which resolves levels against hardware models.
 */
#ifndef KBENCH_LINUX_GPIO_CONSUMER_H
#define KBENCH_LINUX_GPIO_CONSUMER_H

#include <linux/types.h>

struct gpio_desc;

KB_BEGIN_DECLS
struct gpio_desc *gpio_to_desc(unsigned int gpio);
int desc_to_gpio(const struct gpio_desc *desc);
int gpiod_direction_input(struct gpio_desc *desc);
int gpiod_direction_output(struct gpio_desc *desc, int value);
int gpiod_direction_output_raw(struct gpio_desc *desc, int value);
int gpiod_get_value(const struct gpio_desc *desc);
int gpiod_get_raw_value(const struct gpio_desc *desc);
int gpiod_cansleep(const struct gpio_desc *desc);
void gpiod_set_value(struct gpio_desc *desc, int value);
void gpiod_set_raw_value(struct gpio_desc *desc, int value);
KB_END_DECLS

#endif
