/* SPDX-License-Identifier: GPL-2.0 */
/* Bench stand-in: the legacy integer GPIO interface. */
#ifndef KBENCH_LINUX_GPIO_H
#define KBENCH_LINUX_GPIO_H

#include <linux/gpio/consumer.h>

KB_BEGIN_DECLS
bool gpio_is_valid(int number);
int gpio_request(unsigned int gpio, const char *label);
void gpio_free(unsigned int gpio);
int gpio_direction_input(unsigned int gpio);
int gpio_direction_output(unsigned int gpio, int value);
int gpio_get_value(unsigned int gpio);
void gpio_set_value(unsigned int gpio, int value);
KB_END_DECLS

#endif
