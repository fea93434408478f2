# shellcheck shell=bash
# Debian's armhf packages for the host's builds, downloaded and unpacked,
# never installed (installing them would replace the host's own).
#
#   . scripts/lib/armhf.sh
#   armhf_unpack DIR "PACKAGES" WHO
#
# leaves the packages unpacked in DIR/root, the .deb files in DIR/debs and
# the list in DIR/packages; nothing is done when DIR already holds that list.
# WHO names the caller in the one line said when it downloads.
armhf_unpack() {
  local dir=$1 packages=$2 deb
  [ "$(cat "$dir/packages" 2>/dev/null)" != "$packages" ] || return 0
  echo "$3: downloading Debian's armhf packages into $dir" >&2
  rm -rf "$dir"
  mkdir -p "$dir/debs"
  # shellcheck disable=SC2086 # one word per package
  (cd "$dir/debs" && apt-get download -qq $packages 2>/dev/null) ||
    { apt-get update -qq && (cd "$dir/debs" && apt-get download -qq $packages); }
  for deb in "$dir"/debs/*.deb; do dpkg -x "$deb" "$dir/root"; done
  echo "$packages" >"$dir/packages"
}
