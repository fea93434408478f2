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
  # Packages such as lighttpd would start a system service listening on all
  # addresses; we only run our own instances on loopback, so keep services
  # from starting during the install (Debian's policy-rc.d convention).
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' > "$policy" && chmod +x "$policy"
    trap 'rm -f "$policy"' EXIT
  fi
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The browser test's npm packages, as web/test/package-lock.json pins them;
# no browser is downloaded (the test drives Debian's chromium).
web=$here/../web/test
if [ ! "$web/node_modules/.package-lock.json" -nt "$web/package-lock.json" ]; then
  echo "setup: npm ci in web/test"
  npm ci --prefix "$web" --no-audit --no-fund --loglevel=error >/dev/null
fi
