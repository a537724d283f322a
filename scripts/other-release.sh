#!/usr/bin/env bash
# Runs the tests, or another command of this tree, on the other supported Debian release, in
# a chroot kept for it. docs/DEVELOPING.md says what it needs, what it keeps and what comes back.
#   scripts/other-release.sh [COMMAND...]        default: scripts/test.sh
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "$0")/common.sh"
# Debian installs debootstrap and chroot in sbin, which a user's PATH lacks.
PATH=$PATH:/usr/local/sbin:/usr/sbin:/sbin

case $(. /etc/os-release && echo "${ID:-}-${VERSION_CODENAME:-}") in
debian-bookworm) own=bookworm other=trixie number=13 ;;
debian-trixie) own=trixie other=bookworm number=12 ;;
*) fail "this runs on Debian 12 (bookworm) or 13 (trixie), to test on the other one." ;;
esac
name="Debian $number"
sudo=
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null ||
    fail "making and entering a chroot needs root: run this as root, or install sudo."
  sudo=sudo
fi

# Each run mounts /proc, /sys and /dev into the chroot in a mount namespace of its own, so that
# no mount outlives it. A container that was not started privileged may do neither.
probe=$(mktemp -d)
if ! $sudo unshare --mount --propagation private mount --rbind /dev "$probe" 2>/dev/null ||
  ! $sudo chroot / true 2>/dev/null; then
  rmdir "$probe"
  fail "this machine does not let root make a mount namespace, bind-mount /dev or enter a" \
    "chroot (it lacks CAP_SYS_ADMIN or CAP_SYS_CHROOT), and the $name chroot needs all three." \
    "In a container, start it privileged (docker run --privileged), or use a virtual machine."
fi
rmdir "$probe"

if ! command -v debootstrap >/dev/null; then
  echo "Installing debootstrap, which makes the $name chroot."
  $sudo apt-get update -qq && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends debootstrap >/dev/null ||
    fail "debootstrap could not be installed, and the $name chroot cannot be made without it."
fi

cache=${XDG_CACHE_HOME:-$HOME/.cache}/brasselt
chroot_dir=$cache/debian-$other
# Written once the chroot and every package the tree needs are in, removed before any change.
ready=$chroot_dir/.brasselt-ready
mkdir -p "$cache"
exec 9>"$chroot_dir.lock"
if ! flock -n 9; then
  echo "Waiting for another run that uses the $name chroot ($chroot_dir) to end ..."
  flock 9
fi

# Runs COMMAND in the chroot, in the copy of the tree, with a clean environment but for the
# user's WINEDEBUG.
in_chroot() {  # COMMAND...
  $sudo unshare --mount --propagation private sh -c '
    for m in proc sys dev; do mount --rbind "/$m" "$0/$m"; done
    exec chroot "$0" env -i HOME=/root TERM="${TERM:-dumb}" \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      sh -c "cd /root/brasselt && exec \"\$@\"" sh "$@"' "$chroot_dir" \
    ${WINEDEBUG+env "WINEDEBUG=$WINEDEBUG"} "$@"
}

if ! { $sudo test -f "$ready" && $sudo chroot "$chroot_dir" true; } 2>/dev/null; then
  mirror=${BRASSELT_DEBIAN_MIRROR:-$(debian_mirror "$own")}
  [ -n "$mirror" ] || fail "found no Debian mirror in the apt sources to make the $name chroot" \
    "from. Name one: BRASSELT_DEBIAN_MIRROR=http://deb.debian.org/debian $0"
  # A mirror that does not answer would leave debootstrap retrying for many minutes.
  wget -q --timeout=20 --tries=2 -O /dev/null "${mirror%/}/dists/$other/Release" ||
    fail "the Debian mirror $mirror does not answer (no ${mirror%/}/dists/$other/Release)," \
      "so the $name chroot cannot be made. Check the network, or name another mirror:" \
      "BRASSELT_DEBIAN_MIRROR=URL $0"
  if [ -e "$chroot_dir" ]; then
    echo "The $name chroot in $chroot_dir is broken or half-made: making it again."
    # Mounts that an older version of this script left behind, which rm would not cross.
    mounts=$(findmnt -rn -o TARGET | grep -F "$chroot_dir/" || true)
    [ -z "$mounts" ] || sort -r <<<"$mounts" | xargs $sudo umount -l
    $sudo rm -rf --one-file-system "$chroot_dir"
  fi
  echo "Making a $name chroot in $chroot_dir from $mirror (once; a few minutes) ..."
  # In a namespace of its own, debootstrap's mounts end with it, however it ends.
  $sudo unshare --mount --propagation private debootstrap --variant=minbase \
    --include=ca-certificates "$other" "$chroot_dir" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    fail "debootstrap could not make the $name chroot from $mirror; see $cache/debootstrap.log."
fi

copy=$chroot_dir/root/brasselt
$sudo rm -rf --one-file-system "$copy"
$sudo mkdir -p "$copy"
# Owned by root there, so that git accepts the repository it finds.
(cd "$root" && { git ls-files -z -c -o --exclude-standard && printf '.git\0'; } |
  tar --null --ignore-failed-read -T - -cf -) | $sudo tar -C "$copy" --no-same-owner -xf -
$sudo cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"

# Whatever stops the package install, the next run finds no stamp and starts afresh.
$sudo rm -f "$ready"
in_chroot scripts/setup.sh || fail "the packages could not be installed in the $name chroot."
$sudo touch "$ready"

[ $# -gt 0 ] || set -- scripts/test.sh
echo "On $name ($(cat "$chroot_dir/etc/debian_version")), in $chroot_dir: $*"
status=0
in_chroot "$@" || status=$?

# Back with the user's ownership, whether the command passed or not: a failed test's actual
# images are what the next step needs.
back=$build/debian-$number
rm -rf "$back"
mkdir -p "$back"
! $sudo test -d "$copy/build" || $sudo tar -C "$copy/build" -cf - --exclude=./i686 \
  --exclude='./wineprefix-*' --exclude=./wine-loader . | tar -C "$back" -xf -
[ -z "$($sudo find "$copy/build/i686/golden-actual" -mindepth 1 -print -quit 2>/dev/null)" ] ||
  $sudo tar -C "$copy/build/i686" -cf - golden-actual | tar -C "$back" -xf -
if [ -n "$(ls -A "$back")" ]; then echo "What it made in build/ is in $back."; else rmdir "$back"; fi
[ "$status" -eq 0 ] || fail "$* failed on $name (exit status $status)."
echo "$* passed on $(. "$chroot_dir/etc/os-release" && echo "$PRETTY_NAME")."
