# shellcheck shell=bash disable=SC2034,SC2054 # sourced; commas are QEMU syntax
# The emulated machine, shared by the device-tree dump and the boot: the
# dumped tree must describe exactly the machine that boots. Sourced.
#
# Two CPUs: the converter driver polls with interrupts off, so the converter
# model needs a CPU of its own to finish a conversion meanwhile.
BOARD_MACHINE=(
  -M virt,highmem=off
  -cpu cortex-a15
  -smp 2
  -m 512
  -nographic
  -no-reboot
  -nic none
)
