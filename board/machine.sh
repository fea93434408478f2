# shellcheck shell=bash disable=SC2034,SC2054 # sourced; commas are QEMU syntax
# The emulated machine, shared by the device-tree dump and the boot: the
# dumped tree must describe exactly the machine that boots. Sourced.
#
# Two CPUs, as the camera's SoC has: a client of the converter on one CPU
# and a conversion interrupted on the other must both make progress (the
# converter model's timer runs on each CPU).
BOARD_MACHINE=(
  -M virt,highmem=off
  -cpu cortex-a15
  -smp 2
  -m 512
  -nographic
  -no-reboot
  -nic none
)
