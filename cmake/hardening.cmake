# The hardening Debian gives its own packages, for the binaries that go on
# the camera: position-independent executables (address randomisation),
# full RELRO (-z relro -z now), -fstack-protector-strong,
# -fstack-clash-protection, _FORTIFY_SOURCE=2 and no executable stack.
#
# On by default in cross builds, whatever the toolchain file: an SDK's build
# gets it as ours does. A flag the compiler or linker lacks is left out with
# a warning at configure time; the rest still applies.
#
# ptz_link_static(TARGET) links a program statically, the C library
# included: as a static PIE where the C library has the start files for it
# (rcrt1.o), else as a plain static executable at a fixed address.
include_guard(GLOBAL)
include(CheckCCompilerFlag)
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

option(PTZ_HARDENING "Build with the distribution's hardening flags" ${CMAKE_CROSSCOMPILING})
function(ptz_link_static target)
  if(PTZ_HAS_STATIC_PIE)
    # Last on the command line: the -pie that goes with position-independent
    # code would turn an earlier -static-pie back into a dynamic PIE.
    target_link_libraries(${target} PRIVATE -static-pie)
  else()
    # -static with -pie links neither way.
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE OFF)
    target_link_options(${target} PRIVATE -static)
  endif()
endfunction()
if(NOT PTZ_HARDENING)
  return()
endif()

set(hardening_missing)
# ptz_hardening_compile(FLAG): FLAG for C and C++, when both take it.
function(ptz_hardening_compile flag)
  string(MAKE_C_IDENTIFIER "PTZ_HAS${flag}" var)
  # clang only warns about a flag it ignores on the target (stack-clash
  # protection on ARM); the build, with warnings as errors, would fail.
  set(CMAKE_REQUIRED_FLAGS -Werror)
  check_c_compiler_flag(${flag} ${var}_C)
  check_cxx_compiler_flag(${flag} ${var}_CXX)
  if(${var}_C AND ${var}_CXX)
    add_compile_options(${flag})
  else()
    set(hardening_missing ${hardening_missing} ${flag} PARENT_SCOPE)
  endif()
endfunction()
# ptz_hardening_link(FLAG): FLAG on every executable, when the linker takes it.
function(ptz_hardening_link flag)
  string(MAKE_C_IDENTIFIER "PTZ_HAS${flag}" var)
  check_linker_flag(C ${flag} ${var})
  if(${var})
    add_link_options(${flag})
  else()
    set(hardening_missing ${hardening_missing} ${flag} PARENT_SCOPE)
  endif()
endfunction()

ptz_hardening_compile(-fstack-protector-strong)
ptz_hardening_compile(-fstack-clash-protection)
ptz_hardening_link(LINKER:-z,relro)
ptz_hardening_link(LINKER:-z,now)
ptz_hardening_link(LINKER:-z,noexecstack)
# Fortification needs the optimiser; a debug build would only warn about it.
# The -U first: some compilers define it already, at another level.
add_compile_options(-U_FORTIFY_SOURCE $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)

check_pie_supported(LANGUAGES C CXX)
if(CMAKE_C_LINK_PIE_SUPPORTED AND CMAKE_CXX_LINK_PIE_SUPPORTED)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
else()
  list(APPEND hardening_missing -pie)
endif()

set(CMAKE_REQUIRED_FLAGS -fPIE)
check_linker_flag(C -static-pie PTZ_HAS_STATIC_PIE)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT PTZ_HAS_STATIC_PIE)
  message(STATUS "Hardening: the C library has no static-PIE start files (rcrt1.o): "
    "static programs link at a fixed address")
endif()

if(hardening_missing)
  list(JOIN hardening_missing " " hardening_missing)
  string(REPLACE "LINKER:" "-Wl," hardening_missing "${hardening_missing}")
  message(WARNING "Hardening: the toolchain does not take ${hardening_missing}; "
    "the programs are built without it")
endif()
