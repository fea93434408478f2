# shellcheck shell=bash disable=SC2034,SC2054 # sourced; commas are QEMU syntax
# The emulated machine, shared by the device-tree dump and the boot: the
# dumped tree must describe exactly the machine that boots. Sourced.
#
# One CPU: the drivers must not depend on a second one to make progress
# (the converter model's timer runs on the CPU that waits for it).
BOARD_MACHINE=(
  -M virt,highmem=off
  -cpu cortex-a15
  -smp 1
  -m 512
  -nographic
  -no-reboot
  -nic none
)
