/* SPDX-License-Identifier: GPL-2.0 */
/* Entry points into gpio_i2c's file-local bus primitives, for the tests. */
#ifndef KBENCH_TESTS_GPIO_I2C_SHIM_H
#define KBENCH_TESTS_GPIO_I2C_SHIM_H

#ifdef __cplusplus
extern "C" {
#endif

void shim_i2c_start(void);
void shim_i2c_stop(void);
void shim_i2c_send_byte(int value);
int shim_i2c_wait_ack(void);
unsigned char shim_i2c_read_byte(void);
void shim_i2c_send_nack(void);
int shim_gpio_dev_out(int gpio, int level);
int shim_gpio_dev_in(void);

#ifdef __cplusplus
}
#endif

#endif
