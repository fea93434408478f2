# ARMv7 hard-float Linux with any cross toolchain; Debian's cross compiler
# (g++-arm-linux-gnueabihf) unless told otherwise. An SDK's toolchain is
# named on the command line (-DNAME=...) or in the environment:
#
#   CROSS_COMPILE      compiler prefix, default arm-linux-gnueabihf-
#                      (${CROSS_COMPILE}gcc, ${CROSS_COMPILE}g++)
#   CMAKE_C_COMPILER, CMAKE_CXX_COMPILER (or CC, CXX)
#                      full compiler paths instead of a prefix; clang also
#                      takes CMAKE_C_COMPILER_TARGET and CMAKE_CXX_COMPILER_TARGET
#                      (armv7a-linux-gnueabihf) and a linker for the target
#                      (-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld)
#   CMAKE_SYSROOT (or SYSROOT)   the target's headers and libraries; Debian's
#                      cross compiler needs none
#   ARM_FLAGS          code generation, default
#                      -march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard
#
# Tests run on the build machine under qemu-arm-static (or qemu-arm, or
# whatever CMAKE_CROSSCOMPILING_EMULATOR names), with the sysroot's
# libraries; without an emulator they are not built and ctest reports them
# skipped.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

# arm_setting(NAME DEFAULT): NAME from -D, else from the environment, else
# DEFAULT. CMake reads this file again for each check it compiles: the
# settings go along.
macro(arm_setting name default)
  if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
    if(DEFINED ENV{${name}} AND NOT "$ENV{${name}}" STREQUAL "")
      set(${name} "$ENV{${name}}")
    else()
      set(${name} "${default}")
    endif()
  endif()
  list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ${name})
endmacro()

arm_setting(CROSS_COMPILE arm-linux-gnueabihf-)
arm_setting(ARM_FLAGS "-march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard")
arm_setting(SYSROOT "")
if(NOT CMAKE_SYSROOT AND SYSROOT)
  set(CMAKE_SYSROOT "${SYSROOT}")
endif()

if(NOT CMAKE_C_COMPILER AND NOT DEFINED ENV{CC})
  set(CMAKE_C_COMPILER ${CROSS_COMPILE}gcc)
endif()
if(NOT CMAKE_CXX_COMPILER AND NOT DEFINED ENV{CXX})
  set(CMAKE_CXX_COMPILER ${CROSS_COMPILE}g++)
endif()
# -Wno-psabi: GCC notes an ABI change of GCC 7.1 on every std::vector
# argument; it only matters when linking code from older compilers.
set(CMAKE_C_FLAGS_INIT "${ARM_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${ARM_FLAGS} -Wno-psabi")

# The target's libraries: the sysroot, or where Debian's cross packages put
# them.
get_filename_component(arm_triple "${CROSS_COMPILE}" NAME)
string(REGEX REPLACE "-$" "" arm_triple "${arm_triple}")
if(CMAKE_SYSROOT)
  set(arm_libroot "${CMAKE_SYSROOT}")
elseif(EXISTS /usr/${arm_triple})
  set(arm_libroot /usr/${arm_triple})
  set(CMAKE_FIND_ROOT_PATH ${arm_libroot})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(QEMU_ARM NAMES qemu-arm-static qemu-arm)
  if(QEMU_ARM AND arm_libroot)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_ARM} -L ${arm_libroot})
  elseif(QEMU_ARM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_ARM})
  endif()
endif()
