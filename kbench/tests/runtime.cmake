# The bench's own tests, on a small sample module.
kbench_driver_test(kbench_runtime_test
  MODNAME kbench_sample
  DRIVER_SOURCES ${KBENCH_DIR}/tests/sample_module.c
  TEST_SOURCES ${KBENCH_DIR}/tests/runtime_test.cpp
)
