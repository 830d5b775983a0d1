#!/usr/bin/env bash
# After a run as root has installed the packages, an unprivileged user runs the README's
# main command in a copy of the checkout of their own: both builds, the Wine prefix, the
# display, the emulated 32-bit start and the two decodes, without root anywhere.
#   main-command-unprivileged.sh SOURCE_DIR
# Exits 77 (skipped) when not run as root, since only root can become the other user.
set -uo pipefail
src=$1
if [ "$(id -u)" != 0 ]; then
  echo "runs as root only: it needs to become an unprivileged user"
  exit 77
fi
copy=$(mktemp -d)
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
cleanup() {
  # A wineserver or Xvfb the user left behind would keep files of the copy open.
  pkill -u nobody -f "$copy" 2>/dev/null
  as_nobody env WINEPREFIX="$copy/checkout/build/wineprefix" wineserver -k 2>/dev/null
  rm -rf "$copy"
}
trap cleanup EXIT
mkdir -p "$copy/checkout" "$copy/home"
tar -C "$src" --exclude=./build --exclude=./.git -cf - . | tar -C "$copy/checkout" -xf -
chown -R 65534:65534 "$copy"
chmod 755 "$copy"

started=$(date +%s)
out=$(cd "$copy/checkout" && as_nobody env -u XDG_RUNTIME_DIR HOME="$copy/home" USER=nobody LOGNAME=nobody ./build.sh 2>&1)
status=$?
echo "$out" | tail -n 40
echo "as nobody: ./build.sh ended with $status after $(( $(date +%s) - started )) s"
if [ "$status" -ne 0 ] || grep -q "installing" <<<"$out" ||
   ! grep -q "Both builds delivered identical pictures." <<<"$out"; then
  exit 1
fi
