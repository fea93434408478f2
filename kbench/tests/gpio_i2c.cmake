# gpio_i2c, built for the kernel we test with and for the board's 4.9.
foreach(version 6.1.0 4.9.0)
  string(REPLACE "." "_" suffix ${version})
  kbench_driver_test(gpio_i2c_test_${suffix}
    MODNAME gpio_i2c
    LINUX_VERSION ${version}
    DRIVER_SOURCES ${KBENCH_DIR}/tests/gpio_i2c_shim.c
    TEST_SOURCES
      ${KBENCH_DIR}/tests/gpio_i2c_test.cpp
      ${KBENCH_DIR}/tests/gpio_i2c_bus_test.cpp
    LIBRARIES kbench_models
  )
endforeach()
