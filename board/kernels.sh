# shellcheck shell=bash disable=SC2034 # sourced
# The kernels the board boots, after prepare.sh's env.sh. Sourced.
#
#   board_kernel 6.1|4.9    sets BOARD_KDIR (module tree), BOARD_KIMAGE
#                           (image for QEMU), BOARD_KMOD_STAGE (where the
#                           kmod test stage leaves that kernel's modules)
#                           BOARD_CMDLINE (extra kernel arguments) and
#                           BOARD_KERNEL_KOS (modules of the kernel's own
#                           package that /init loads first)
#
# 6.1 is Debian's armmp kernel. 4.9 is the 4.9.337 debug kernel (lockdep,
# atomic-sleep checks, slab debugging, kmemleak): its page-allocation checks
# are turned on here, the rest is on by default.
board_kernel() {
  case $1 in
    6.1)
      BOARD_KDIR=$KDIR_ARM
      BOARD_KIMAGE=$KIMAGE_ARM
      BOARD_KMOD_STAGE=build/kmod/arm
      BOARD_CMDLINE=
      # IIO and i2c-dev (/dev/i2c-N) are modules of Debian's kernel.
      local kos
      kos="$(dirname "$(dirname "$KIMAGE_ARM")")/lib/modules/$KVER/kernel/drivers"
      BOARD_KERNEL_KOS="$kos/iio/industrialio.ko $kos/i2c/i2c-dev.ko"
      ;;
    4.9)
      if [ -z "${KDIR_49:-}" ] || [ -z "${KIMAGE_49:-}" ]; then
        echo "board: no Linux 4.9 debug kernel (its package is not beside the checkout)" >&2
        return 1
      fi
      BOARD_KDIR=$KDIR_49
      BOARD_KIMAGE=$KIMAGE_49
      BOARD_KMOD_STAGE=build/kmod49
      BOARD_CMDLINE="debug_pagealloc=on"
      BOARD_KERNEL_KOS=
      ;;
    *)
      echo "board: unknown kernel '$1' (6.1 or 4.9)" >&2
      return 2
      ;;
  esac
}
