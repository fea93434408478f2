#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages/*.txt (one per line,
# '#' starts a comment). Safe to run again: it only calls apt when something
# is missing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

mapfile -t wanted < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here"/packages/*.txt | grep -v '^$' | sort -u)
missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
