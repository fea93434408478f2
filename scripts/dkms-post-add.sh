#!/bin/sh
# POST_ADD of dkms.conf, run by "dkms add" in the package's source folder:
# records whether this package builds the stand-ins (PTZCAM_STANDINS=yes in
# the environment of "dkms add"), so that every later dkms command,
# AUTOINSTALL's rebuilds for a new kernel among them, builds and removes
# the same modules without being told again.
case "${PTZCAM_STANDINS:-no}" in
yes) echo yes ;;
*) echo no ;;
esac >.ptzcam-standins
