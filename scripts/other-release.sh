#!/usr/bin/env bash
# Runs the tests, or another command of this tree, on the other supported Debian release: on
# Debian 12 in a Debian 13 chroot, on Debian 13 in a Debian 12 one. The chroot is made once
# with debootstrap from this machine's own Debian mirror (BRASSELT_DEBIAN_MIRROR overrides
# it) and kept in the user's cache folder; it is checked on each use and made again when it
# is missing or broken. The work tree, uncommitted changes included, is copied in afresh.
#   scripts/other-release.sh [COMMAND...]        default: scripts/test.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"

case $(. /etc/os-release && echo "${ID:-}-${VERSION_CODENAME:-}") in
debian-bookworm) own=bookworm other=trixie name="Debian 13" ;;
debian-trixie) own=trixie other=bookworm name="Debian 12" ;;
*) fail "this runs on Debian 12 (bookworm) or 13 (trixie), to test on the other one." ;;
esac
sudo=
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null ||
    fail "making and entering a chroot needs root: run this as root, or install sudo."
  sudo=sudo
fi
if ! command -v debootstrap >/dev/null; then
  echo "Installing debootstrap, which makes the $name chroot."
  $sudo apt-get update -qq && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends debootstrap >/dev/null ||
    fail "debootstrap could not be installed, and the $name chroot cannot be made without it."
fi

cache=${XDG_CACHE_HOME:-$HOME/.cache}/brasselt
chroot_dir=$cache/debian-$other
mkdir -p "$cache"
# One run at a time uses the chroot.
exec 9>"$chroot_dir.lock"
flock 9

# Whole when debootstrap finished, the stamp was written after it, and a program runs inside.
if ! { [ -f "$chroot_dir/.brasselt-made" ] && $sudo chroot "$chroot_dir" true; } 2>/dev/null; then
  mirror=${BRASSELT_DEBIAN_MIRROR:-$(debian_mirror "$own")}
  [ -n "$mirror" ] || fail "found no Debian mirror in the apt sources to make the $name chroot" \
    "from. Name one: BRASSELT_DEBIAN_MIRROR=http://deb.debian.org/debian $0"
  # A mirror that does not answer would leave debootstrap retrying for many minutes.
  wget -q --timeout=20 --tries=2 -O /dev/null "${mirror%/}/dists/$other/Release" ||
    fail "the Debian mirror $mirror does not answer (no ${mirror%/}/dists/$other/Release)," \
      "so the $name chroot cannot be made. Check the network, or name another mirror:" \
      "BRASSELT_DEBIAN_MIRROR=URL $0"
  echo "Making a $name chroot in $chroot_dir from $mirror (once; a few minutes) ..."
  # Nothing is mounted there outside a run, and --one-file-system keeps it so.
  $sudo rm -rf --one-file-system "$chroot_dir"
  $sudo debootstrap --variant=minbase --include=ca-certificates "$other" "$chroot_dir" \
    "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    fail "debootstrap could not make the $name chroot from $mirror; see $cache/debootstrap.log."
  $sudo touch "$chroot_dir/.brasselt-made"
fi

copy=$chroot_dir/root/brasselt
$sudo rm -rf --one-file-system "$copy"
$sudo mkdir -p "$copy"
(cd "$root" && git ls-files -z -c -o --exclude-standard |
  tar --null --ignore-failed-read -T - -cf -) | $sudo tar -C "$copy" -xf -
$sudo cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"

[ $# -gt 0 ] || set -- scripts/test.sh
echo "On $name ($(cat "$chroot_dir/etc/debian_version")), in $chroot_dir: $*"
# The mounts live in a mount namespace of the run's own and end with it.
$sudo unshare --mount --propagation private sh -c '
  for m in proc sys dev; do mount --rbind "/$m" "$0/$m"; done
  exec chroot "$0" env -i HOME=/root TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    sh -c "cd /root/brasselt && exec \"\$@\"" sh "$@"' "$chroot_dir" "$@" ||
  fail "$* failed on $name (exit status $?)."
echo "$* passed on $(. "$chroot_dir/etc/os-release" && echo "$PRETTY_NAME")."
