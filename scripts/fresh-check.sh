#!/usr/bin/env bash
# The README's two commands as a newcomer runs them: a minimal Debian 12 (debootstrap minbase
# with only git and ca-certificates added), a clone of the committed tree (HEAD), then
# scripts/sample.sh and the release part of scripts/test.sh inside it. Stops at the first
# failing step and names it. Runs as root (debootstrap, chroot, mounts).
# Usage: scripts/fresh-check.sh
# Kept between runs in /var/cache/tessaline-fresh (FRESH_CACHE; remove it to start afresh): the
# bootstrapped system as a tarball, the packages the commands download, and a compiler cache
# (ccache is the one package added before the commands run: it provides nothing they need).
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "fresh-check.sh: run it as root (debootstrap, chroot)" >&2; exit 2; }
scripts/install-deps.sh fresh
cache=${FRESH_CACHE:-/var/cache/tessaline-fresh}
mirror=${FRESH_MIRROR:-http://deb.debian.org/debian}
base=$cache/bookworm-minbase.tar.gz
mkdir -p "$cache/archives/partial" "$cache/ccache"

root=$(mktemp -d /var/tmp/tessaline-fresh.XXXXXX)
mounts=()
current=""
cleanup() {
  local status=$? i
  [ "$status" -eq 0 ] || [ -z "$current" ] || echo "fresh-check: FAILED at '$current' (exit status $status)" >&2
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
  # Never delete through a mount that is still there.
  if grep -q " $root/" /proc/mounts; then
    echo "fresh-check: $root still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$root"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { # step NAME COMMAND...: one step; the exit trap names it if it fails
  local start=$SECONDS
  current=$1
  shift
  echo "== fresh-check: $current"
  "$@"
  echo "== fresh-check: $current: $((SECONDS - start)) s"
  current=""
}

bootstrap() {
  local tmp=$root/bootstrap
  debootstrap --variant=minbase --include=git,ca-certificates bookworm "$tmp" "$mirror" >"$cache/debootstrap.log"
  rm -rf "$tmp"/var/cache/apt/archives/*.deb
  tar -C "$tmp" -czf "$base.part" . && mv "$base.part" "$base"
  rm -rf --one-file-system "$tmp"
}
attach() { # attach MOUNT-ARGUMENTS... TARGET: a mount that cleanup undoes
  mount "$@"
  mounts+=("${*: -1}")
}
unpack() {
  tar -C "$root" -xzf "$base"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # Installed packages must not start services in the chroot.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
  attach -t proc proc "$root/proc"
  attach --bind /dev "$root/dev"
  attach --bind /dev/pts "$root/dev/pts"
  # Downloads are kept between runs; the installation itself is done afresh each time.
  attach --bind "$cache/archives" "$root/var/cache/apt/archives"
  mkdir -p "$root/var/cache/ccache"
  attach --bind "$cache/ccache" "$root/var/cache/ccache"
  inside sh -c 'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends ccache >/dev/null'
}
clone() {
  git bundle create -q "$root/tmp/head.bundle" HEAD
  inside git -c advice.detachedHead=false clone -q /tmp/head.bundle /root/tessaline
}
inside() { # inside COMMAND...: runs in the chroot as a fresh root login would
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    CCACHE_DIR=/var/cache/ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

if [ -f "$base" ]; then echo "== fresh-check: base system from $base"; else step "debootstrap" bootstrap; fi
step "unpack the base system, add ccache" unpack
step "clone HEAD" clone
step "scripts/sample.sh" inside sh -c 'cd /root/tessaline && scripts/sample.sh'
step "scripts/test.sh release" inside sh -c 'cd /root/tessaline && scripts/test.sh release'
echo "fresh-check: both commands work on a fresh Debian 12"
