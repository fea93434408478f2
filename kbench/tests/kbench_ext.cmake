# The bench extensions' own rules (register windows, clocks, platform bus,
# classes, kernel string helpers) and the converter model.
add_executable(kbench_ext_test ${KBENCH_DIR}/tests/kbench_ext_test.cpp)
target_link_libraries(kbench_ext_test PRIVATE kbench_models kbench_runtime GTest::gtest_main)
gtest_discover_tests(kbench_ext_test TEST_PREFIX "kbench_ext_test/" DISCOVERY_TIMEOUT 60)
