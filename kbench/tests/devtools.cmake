# The device tools (tools/) run against the drivers in the bench: tool, driver
# and hardware model together.
if(TARGET regtool_core)
  kbench_driver_test(rjgt102_reg_test
    MODNAME gpio_i2c
    DRIVER_SOURCES ${PROJECT_SOURCE_DIR}/drivers/gpio_i2c/gpio_i2c.c
    TEST_SOURCES ${PROJECT_SOURCE_DIR}/tools/regtool/test/regtool_test.cpp
    LIBRARIES regtool_core kbench_models
  )
  target_include_directories(rjgt102_reg_test PRIVATE ${KBENCH_DIR}/tests)
endif()

if(TARGET adctool_core)
  add_library(sar_adc_tool_test_qvsys OBJECT ${PROJECT_SOURCE_DIR}/platform/qvsys/qvsys.c)
  target_compile_definitions(sar_adc_tool_test_qvsys PRIVATE
    KBUILD_MODNAME=\"qvsys\" KBENCH_LINUX_VERSION=0x060100)
  target_include_directories(sar_adc_tool_test_qvsys PRIVATE ${PROJECT_SOURCE_DIR}/platform/qvsys/include)
  target_link_libraries(sar_adc_tool_test_qvsys PRIVATE kbench_runtime)

  kbench_driver_test(sar_adc_tool_test
    MODNAME sar_adc
    DRIVER_SOURCES ${PROJECT_SOURCE_DIR}/drivers/sar/sar_adc.c
    TEST_SOURCES ${PROJECT_SOURCE_DIR}/tools/adctool/test/adctool_test.cpp
    LIBRARIES adctool_core sar_adc_tool_test_qvsys kbench_models
  )
  target_include_directories(sar_adc_tool_test_driver PRIVATE ${PROJECT_SOURCE_DIR}/platform/qvsys/include)
  target_include_directories(sar_adc_tool_test PRIVATE ${KBENCH_DIR}/tests
    ${PROJECT_SOURCE_DIR}/drivers/sar ${PROJECT_SOURCE_DIR}/platform/qvsys/include)
endif()
