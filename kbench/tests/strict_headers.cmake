# The stand-in headers are no more forgiving than Linux 4.9: each case of
# strict_headers.c builds as written and fails, for the reason named here,
# in its STRICT_BAD form (built for 4.9, as Kbuild would: undeclared
# functions are errors).
set(strict_cases
  "ARRAY_SIZE_OF_POINTER|negative width in bit-field"
  "ARRAY_SIZE_WITHOUT_BUG_H|implicit declaration of function .*BUILD_BUG_ON_ZERO"
  "BUILD_BUG_ON_WITHOUT_BUG_H|implicit declaration of function .*BUILD_BUG_ON"
  "ERR_WITHOUT_ERR_H|implicit declaration of function .*IS_ERR"
  "KSTRTOX_H|linux/kstrtox.h is newer than Linux 4.9"
  "DEVICE_CLASS_H|linux/device/class.h is newer than Linux 4.9"
  "DEVM_PLATFORM_IOREMAP_RESOURCE|implicit declaration of function .*devm_platform_ioremap_resource"
)
set(strict_compile ${CMAKE_C_COMPILER} -fsyntax-only -std=gnu11
  -Werror=implicit-function-declaration -DKBENCH_LINUX_VERSION=0x040900
  -DKBUILD_MODNAME="strict" -I${KBENCH_DIR}/include -I${PROJECT_SOURCE_DIR}/include/uapi)
foreach(entry ${strict_cases})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 case)
  list(GET entry 1 reason)
  string(TOLOWER ${case} name)
  add_test(NAME kbench_strict/${name}
    COMMAND ${strict_compile} -DCASE_${case} ${KBENCH_DIR}/tests/strict_headers.c)
  add_test(NAME kbench_strict/${name}_refused
    COMMAND ${strict_compile} -DCASE_${case} -DSTRICT_BAD ${KBENCH_DIR}/tests/strict_headers.c)
  set_tests_properties(kbench_strict/${name}_refused PROPERTIES
    PASS_REGULAR_EXPRESSION "${reason}")
endforeach()
