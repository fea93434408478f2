# The SAR converter driver with the platform class stand-in, built for each
# kernel version whose interface differences the driver guards: 4.9 (old
# access_ok), 6.1 (the default) and 6.11 (remove returns nothing).
foreach(version 6.1.0 4.9.0 6.11.0)
  string(REPLACE "." "_" tag ${version})
  set(name sar_adc_test)
  if(NOT version STREQUAL "6.1.0")
    set(name sar_adc_test_${tag})
  endif()

  # The stand-in is a module of its own, so it gets its own KBUILD_MODNAME.
  string(REPLACE "." ";" ver ${version})
  list(GET ver 0 a)
  list(GET ver 1 b)
  list(GET ver 2 c)
  math(EXPR code "(${a} << 16) + (${b} << 8) + ${c}")
  add_library(${name}_qvsys OBJECT ${PROJECT_SOURCE_DIR}/platform/qvsys/qvsys.c)
  target_compile_definitions(${name}_qvsys PRIVATE
    KBUILD_MODNAME=\"qvsys\" KBENCH_LINUX_VERSION=${code})
  target_include_directories(${name}_qvsys PRIVATE ${PROJECT_SOURCE_DIR}/platform/qvsys/include)
  target_link_libraries(${name}_qvsys PRIVATE kbench_runtime)

  kbench_driver_test(${name}
    MODNAME sar_adc
    LINUX_VERSION ${version}
    DRIVER_SOURCES ${PROJECT_SOURCE_DIR}/drivers/sar/sar_adc.c
    TEST_SOURCES
      ${KBENCH_DIR}/tests/sar_hw_test.cpp
      ${KBENCH_DIR}/tests/sar_ioctl_test.cpp
      ${KBENCH_DIR}/tests/sar_sysfs_test.cpp
      ${KBENCH_DIR}/tests/sar_probe_test.cpp
      ${KBENCH_DIR}/tests/qvsys_test.cpp
    LIBRARIES ${name}_qvsys kbench_models
  )
  target_include_directories(${name}_driver PRIVATE ${PROJECT_SOURCE_DIR}/platform/qvsys/include)
  target_include_directories(${name} PRIVATE
    ${PROJECT_SOURCE_DIR}/drivers/sar ${PROJECT_SOURCE_DIR}/platform/qvsys/include)
endforeach()
