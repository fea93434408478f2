// SPDX-License-Identifier: GPL-2.0
/* Builds the driver unchanged and exposes its static primitives. */
#include "../../drivers/gpio_i2c/gpio_i2c.c"
#include "gpio_i2c_shim.h"

void shim_i2c_start(void) { i2c_start(); }
void shim_i2c_stop(void) { i2c_stop(); }
void shim_i2c_send_byte(int value) { i2c_send_byte(value); }
int shim_i2c_wait_ack(void) { return i2c_wait_ack(); }
unsigned char shim_i2c_read_byte(void) { return i2c_read_byte(); }
void shim_i2c_send_nack(void) { i2c_send_nack(); }
int shim_gpio_dev_out(int gpio, int level) { return gpio_dev_out(gpio, level); }
int shim_gpio_dev_in(void) { return gpio_dev_in(); }
