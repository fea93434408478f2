# MN34229 sensor driver on the bench, hosted by the sensor framework model.
set(MN34229_DIR ${PROJECT_SOURCE_DIR}/drivers/sensor_mn34229)
set(SENSOR_FRAMEWORK_INCLUDE ${PROJECT_SOURCE_DIR}/platform/sensor_framework/include)

target_include_directories(kbench_models PUBLIC ${SENSOR_FRAMEWORK_INCLUDE})

kbench_driver_test(mn34229_test
  MODNAME mn34229drv
  DRIVER_SOURCES
    ${MN34229_DIR}/mn34229_handle.c
    ${MN34229_DIR}/mn34229_ae.c
    # mn34229_power.c itself, plus a window on its table writer
    ${KBENCH_DIR}/tests/mn34229_power_shim.c
  TEST_SOURCES
    ${KBENCH_DIR}/tests/mn34229_load_test.cpp
    ${KBENCH_DIR}/tests/mn34229_power_test.cpp
    ${KBENCH_DIR}/tests/mn34229_ae_test.cpp
  LIBRARIES kbench_models
  DEFINITIONS MN34229_BUILD_ID="test" MN34229_BUILD_TIME="202612081530"
)
target_include_directories(mn34229_test_driver PRIVATE ${SENSOR_FRAMEWORK_INCLUDE} ${MN34229_DIR})
target_include_directories(mn34229_test PRIVATE ${SENSOR_FRAMEWORK_INCLUDE} ${MN34229_DIR})
target_compile_definitions(mn34229_test PRIVATE
  MN34229_TEST_DATA="${KBENCH_DIR}/tests/data")
target_link_libraries(mn34229_test PRIVATE GTest::gmock)
